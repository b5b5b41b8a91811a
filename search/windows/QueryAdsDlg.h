#pragma once

#include <vector>

#include <QDate>

#include "records/AdRecords.h"
#include "records/CtrlData.h"
#include "search/windows/SearchWindow.h"

// The ad search: terms joined with '\', optionally narrowed to a date and an
// opening time, within the chosen publishing sites. The right list shows the
// matching ads page by page, the left one how many ads each site has per
// opening time. From a result row the user opens the site or the game's
// address, or searches further for that address: its ads (a nested ad
// search), its redirects or its history.
//
// The main instance lives as long as the main window and is only hidden
// when closed; nested instances are modal and end when closed.
class QueryAdsDlg : public SearchWindow {
    Q_OBJECT
public:
    enum Control {
        CountList = 1018,
        DateBox = 1033,
        TimeBox = 1034,
        SiteStatusButton = 1009,
        SiteListButton = 1011,
        HelpButton = 1012,
        JumpSearchButton = 1035,
        HistorySearchButton = 1036,
    };
    enum class SysCommand { Close, Minimize, Maximize };

    QueryAdsDlg(const SearchContext &context, QWidget *parent = nullptr);

    // Starts listening to answers. The main instance (nested false) also
    // remembers the main window and comes to the front; a nested one is
    // shown by its modal run.
    void Activate(QWidget *mainWnd, bool nested);
    void OnSearchAdsAck(ConnectSession *session, MsgUserSearchAdsAck &msg);
    // Close and minimise hide the main instance and bring the main window
    // back; a nested instance ends.
    void OnSysCommand(SysCommand command);

    void OpenCell(Cell cell);
    void OpenSite(const QString &name);
    void SearchGameAds(int row);
    void SearchGameJump(int row);
    void SearchGameHistory(int row);

    void openHandler(CVirtualListCtrl &list, Cell cell) override;
    void searchAdsHandler(CVirtualListCtrl &list, Cell cell) override;
    void searchJumpHandler(CVirtualListCtrl &list, Cell cell) override;
    void searchHistoryHandler(CVirtualListCtrl &list, Cell cell) override;

    bool isNested() const { return nested; }
    // Today for the date box; tests fix it. Set before the window is created.
    void setToday(const QDate &date) { today = date; }

    std::vector<OneAdData> ads;
    std::vector<OneAdDataCount> adCounts;
    CtrlData<OneAdData> adsAdapter{&ads, OneAdDataColumns};
    CtrlData<OneAdDataCount> countsAdapter{&adCounts, OneAdDataCountColumns};
    CVirtualListCtrl countList;

protected:
    bool OnInitDialog() override;
    void OnCommand(int id) override;
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;

    void setUpLists() override;
    void clearRows() override { ads.clear(); }
    qsizetype rowCount() const override { return qsizetype(ads.size()); }
    ICtrlData *resultData() override { return &adsAdapter; }
    void sendRequest(const QString &key, int index) override;
    QString fullKey(const QString &plain) const override;
    bool subscribesOnCreate() const override { return false; }
    // Escape: as for every search window; the main instance also brings the
    // main window back when no tray icon could, so a window stays reachable.
    void OnCancel() override;

private:
    void showMainWindow();
    template <class Window> void runKeySearch(int row);

    QWidget *mainWnd = nullptr;
    bool nested = false;
    QDate today = QDate::currentDate();
};
