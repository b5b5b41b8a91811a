#include "search/windows/QueryAdsDlg.h"

#include <QCloseEvent>
#include <QComboBox>

#include "account/AccountState.h"
#include "sites/AdvertisingWebDlg.h"
#include "sites/SiteListDialogs.h"
#include "net/message.pb.h"
#include "platform/ControlHelpers.h"
#include "platform/Tray.h"
#include "res/Resources.h"
#include "search/windows/QueryHisDlg.h"
#include "search/windows/QueryJumpDlg.h"
#include "search/windows/SearchHelpDlg.h"
#include "search/SearchKeys.h"

QueryAdsDlg::QueryAdsDlg(const SearchContext &context, QWidget *parent)
    : SearchWindow(res::AdSearchDialog, context, SearchHistory::ads, SearchPager(1, true), parent)
{
    answerWith(this, &QueryAdsDlg::OnSearchAdsAck);
    bindControl(CountList, countList);
    resultList.setMenuId(res::AdResultListMenu);
}

bool QueryAdsDlg::OnInitDialog()
{
    setWindowIcon(res::appIcon());
    const std::pair<int, QStringList> choiceBoxes[] = {{TimeBox, SearchKeys::timeChoices()},
                                                       {DateBox, SearchKeys::dateChoices(today)}};
    for (const auto &[id, choices] : choiceBoxes) {
        QComboBox *box = control<QComboBox>(id);
        for (const QString &choice : choices)
            platform::AddString(*box, choice);
        // Nothing chosen until the user chooses: the key gets no date or time.
        box->setCurrentIndex(-1);
        box->setEditText(QString());
    }
    return SearchWindow::OnInitDialog();
}

void QueryAdsDlg::setUpLists()
{
    countList.setServices(services());
    resultList.SetColumns({QStringLiteral("发布站网址"), QStringLiteral("游戏网址"),
                           QStringLiteral("服务器名"), QStringLiteral("服务器IP"), QStringLiteral("开机时间"),
                           QStringLiteral("其它信息")},
                          {120, 180, 110, 110, 91, 450});
    countList.SetColumns({QStringLiteral("发布站网址"), QStringLiteral("开机时间"), QStringLiteral("条数")},
                         {120, 91, 37});
    countList.setCommandHandler(this);
}

void QueryAdsDlg::Activate(QWidget *mainWindow, bool asNested)
{
    subscribe();
    if (asNested) {
        nested = true;
        return;
    }
    mainWnd = mainWindow;
    platform::bringToFront(*this);
}

QString QueryAdsDlg::fullKey(const QString &plain) const
{
    return SearchKeys::adSearchKey(plain, itemText(DateBox), itemText(TimeBox));
}

void QueryAdsDlg::sendRequest(const QString &key, int index)
{
    MsgUserSearchAdsReq request;
    request.body.set_key(key.toStdString());
    request.body.set_index(index);
    request.body.set_adweb(account().siteListValue.toStdString());
    send(request);
}

void QueryAdsDlg::OnSearchAdsAck(ConnectSession *, MsgUserSearchAdsAck &msg)
{
    const Proto::UserSearchAdsAck &body = msg.body;
    const bool firstPage = paging().pageIndex() == 1;
    if (firstPage)
        adCounts.clear();
    for (const Proto::OneAdInfoCount &info : body.adslistcount())
        adCounts.push_back(OneAdDataCount::fromProto(info));
    for (const Proto::OneAdInfo &info : body.adslist()) {
        OneAdData row = OneAdData::fromProto(info);
        for (QString *text : {&row.strGameWeb, &row.strAdvertisingWeb, &row.strAdName, &row.strIp,
                              &row.strOpenTime, &row.strOtherInfo})
            *text = SearchKeys::clipCellText(*text);
        ads.push_back(std::move(row));
    }
    answered(body.count(), body.seachtype());
    if (firstPage)
        countList.SetData(&countsAdapter);
}

void QueryAdsDlg::OnCommand(int id)
{
    switch (id) {
    case SiteStatusButton: {
        AdvertisingWebDlg status(account(), context().send, this);
        status.setServices(services());
        context().runWindow(status);
        return;
    }
    case SiteListButton: {
        AdvertisingWebSettingDlg settings(account(), this);
        settings.setServices(services());
        context().runWindow(settings);
        return;
    }
    case HelpButton: {
        CSearchHelpDlg help(this);
        help.setServices(services());
        context().runWindow(help);
        return;
    }
    case JumpSearchButton:
        runKeySearch<QueryJumpDlg>(-1);
        return;
    case HistorySearchButton:
        runKeySearch<QueryHisDlg>(-1);
        return;
    default:
        SearchWindow::OnCommand(id);
    }
}

template <class Window> void QueryAdsDlg::runKeySearch(int row)
{
    Window window(context(), this);
    window.setServices(services());
    if (row >= 0)
        window.presetKey = ads[size_t(row)].strGameWeb;
    context().runWindow(window);
}

void QueryAdsDlg::OpenCell(Cell cell)
{
    if (cell.row < 0 || cell.row >= int(ads.size()))
        return;
    const OneAdData &row = ads[size_t(cell.row)];
    if (cell.column == 0) {
        OpenSite(row.strAdvertisingWeb);
        return;
    }
    if (!row.strGameWeb.isEmpty())
        platform::shellOpen(services(), row.strGameWeb);
}

void QueryAdsDlg::OpenSite(const QString &name)
{
    const QString address = LookupSiteAddress(account().sites, name);
    if (!address.isEmpty())
        platform::shellOpen(services(), address);
}

void QueryAdsDlg::SearchGameAds(int row)
{
    if (row < 0 || row >= int(ads.size()))
        return;
    unsubscribe();
    {
        QueryAdsDlg child(context(), this);
        child.setServices(services());
        child.presetKey = ads[size_t(row)].strGameWeb;
        child.setToday(today);
        child.resultList.setMenuId(res::CellListMenu);
        child.Activate(this, true);
        context().runWindow(child);
    }
    subscribe();
}

void QueryAdsDlg::SearchGameJump(int row)
{
    if (row >= 0 && row < int(ads.size()))
        runKeySearch<QueryJumpDlg>(row);
}

void QueryAdsDlg::SearchGameHistory(int row)
{
    if (row >= 0 && row < int(ads.size()))
        runKeySearch<QueryHisDlg>(row);
}

void QueryAdsDlg::openHandler(CVirtualListCtrl &list, Cell cell)
{
    if (&list == &countList) {
        if (cell.row >= 0 && cell.row < int(adCounts.size()))
            OpenSite(adCounts[size_t(cell.row)].strAdvertisingWeb);
        return;
    }
    OpenCell(cell);
}

void QueryAdsDlg::searchAdsHandler(CVirtualListCtrl &, Cell cell)
{
    SearchGameAds(cell.row);
}

void QueryAdsDlg::searchJumpHandler(CVirtualListCtrl &, Cell cell)
{
    SearchGameJump(cell.row);
}

void QueryAdsDlg::searchHistoryHandler(CVirtualListCtrl &, Cell cell)
{
    SearchGameHistory(cell.row);
}

void QueryAdsDlg::OnSysCommand(SysCommand command)
{
    if (command == SysCommand::Maximize) {
        showMaximized();
        return;
    }
    if (nested) {
        if (command == SysCommand::Close)
            OnCancel();
        else
            showMinimized();
        return;
    }
    // The main instance stays subscribed and keeps its rows; it only steps
    // aside for the main window.
    showMainWindow();
    hide();
}

void QueryAdsDlg::OnCancel()
{
    SearchWindow::OnCancel();
    const platform::Services s = services();
    if (!nested && !(s.tray->isAdded() && s.tray->isAvailable()))
        showMainWindow();
}

void QueryAdsDlg::showMainWindow()
{
    if (mainWnd)
        platform::bringToFront(*mainWnd);
}

void QueryAdsDlg::closeEvent(QCloseEvent *event)
{
    event->ignore();
    OnSysCommand(SysCommand::Close);
}

void QueryAdsDlg::changeEvent(QEvent *event)
{
    SearchWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || nested || !isMinimized())
        return;
    setWindowState(windowState() & ~Qt::WindowMinimized);
    OnSysCommand(SysCommand::Minimize);
}
