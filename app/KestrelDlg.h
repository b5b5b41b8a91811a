#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include <QStringList>
#include <QSystemTrayIcon>
#include <QTimer>

#include "net/ConnectSession.h"
#include "account/AccountRefresher.h"
#include "account/AccountState.h"
#include "account/DomainEditing.h"
#include "account/dialogs/DomainEdit.h"
#include "app/Banner.h"
#include "records/CtrlData.h"
#include "lists/LineColorListCtrl.h"
#include "lists/VirtualListCtrl.h"
#include "platform/DialogWindow.h"
#include "search/windows/QueryAdsDlg.h"

class QMenu;
class ServiceBase;

// The main window: logs the user in, registers for server messages, runs the
// connection, shows the monitored addresses with their ad counts and the
// publishing sites of the selected one, and carries the commands on them.
class CKestrelDlg : public platform::DialogWindow, public IConnectSessionHandler, public IListCommandHandler {
    Q_OBJECT
public:
    enum Control {
        DomainList = 1001,
        SiteList = 1002,
        AddButton = 1003,
        ModifyButton = 1004,
        DeleteButton = 1005,
        AdSearchButton = 1006,
        SiteStatusButton = 1007,
        NoticeText = 1015,
        LinkButton = 1016,
        Banner = 1017,
        SelectionGroup = 1019,
    };

    // What start-up does besides building the window; tests switch parts off.
    struct StartOptions {
        // Runs the login until it succeeds; false ends the program. Default: the login dialog.
        std::function<bool(CKestrelDlg &)> login;
        // The data server; its host is normalised to dotted IPv4 text.
        QString dataHost = QStringLiteral(KESTREL_SERVICE_HOST);
        quint16 dataPort = ConnectSession::kDefaultPort;
        bool startThreads = true;
        // How often the account fields are fetched again.
        std::chrono::milliseconds accountRefreshPeriod{60'000};
        bool writeShortcut = true;
        bool loadFiles = true;
        // The banner of control 1017. Default: the rich-text banner.
        BannerFactory makeBanner = makeTextBanner;
    };

    // Runs the monitored-address dialog on the values; false when the user
    // cancelled it. Unset: CDomainEdit, modal.
    using DomainEditor = std::function<bool(CKestrelDlg &, DomainEditValues &)>;
    // Shows the ads of one monitored address. Unset: ShowAdsDlg, modal.
    using AdDetailRunner = std::function<void(CKestrelDlg &, const QString &url)>;
    // Shows the publishing-site catalogue. Unset: AdvertisingWebDlg, modal.
    using SiteStatusRunner = std::function<void(CKestrelDlg &)>;
    // Shows the About box. Unset: CAboutDlg, modal.
    using AboutRunner = std::function<void(CKestrelDlg &)>;

    // Tip of the notification-area icon.
    static const QString TrayTip;

    // The window works on the account and logs it in again through the web
    // service; both must outlive it (the refresh may be mid-request at exit).
    CKestrelDlg(ConnectSession &session, AccountState &account, ServiceBase &webService, StartOptions options,
                QWidget *parent = nullptr);
    ~CKestrelDlg() override;

    // Worker thread: hands the message to the GUI thread.
    void OnMessage(std::unique_ptr<MsgHeader> msg) override;

    // Server messages, GUI thread.
    void OnConnected(ConnectSession *session, MsgConnected &msg);
    void OnLoginAck(ConnectSession *session, MsgUserLoginAck &msg);
    void OnAdsChange(ConnectSession *session, MsgUserAdsChangeNtf &msg);
    void OnSiteCatalogue(ConnectSession *session, MsgGetAdvertisingWebInfoNtf &msg);
    void OnShowChanged(const QStringList &urls);

    // Lists and commands.
    void FillDomainList();
    void FillSiteList();
    void OnDomainClicked(int row);
    void OnDomainDoubleClicked(int row);
    void OnDomainRightClicked(int row, const QPoint &globalPos);
    void OnCopyAddress();
    void OnAdd();
    void OnModify();
    void OnDelete();
    void OnAdSearch();
    void OnSiteStatus();
    void OnOpenLink();
    void OpenSite(Cell cell);
    void openHandler(CVirtualListCtrl &list, Cell cell) override;

    // The notification-area icon: a left click brings the window back, a right
    // click offers the exit command.
    void OnTrayNotify(QSystemTrayIcon::ActivationReason reason, const QPoint &globalPos);
    // Removes the tray icon and ends the process at once with exit code -1.
    void OnExit();
    void OnAbout();
    // Shows the window normally, in front of the others.
    void bringToFront();

    // Timer 1 and what it refreshes.
    void OnTimer();
    void RefreshNotice();

    void setDomainEditor(DomainEditor editor) { domainEditor = std::move(editor); }
    void setAdDetailRunner(AdDetailRunner runner) { adDetailRunner = std::move(runner); }
    void setSiteStatusRunner(SiteStatusRunner runner) { siteStatusRunner = std::move(runner); }
    void setAboutRunner(AboutRunner runner) { aboutRunner = std::move(runner); }
    void setClock(std::function<qint32()> clock) { now = std::move(clock); }

    AccountState &accountState() { return account; }
    CLineColorListCtrl &domainList() { return domainListCtrl; }
    CVirtualListCtrl &siteList() { return siteListCtrl; }
    const std::vector<OneAdDataCount> &siteRows() const { return siteRowsData; }
    qint32 highlightDeadline() const { return highlightUntil; }
    int heartbeatCounter() const { return heartbeats; }
    // The pop-up text of the last ad change, empty when it showed none.
    const QString &lastPopupText() const { return popupText; }
    // Complete lists of ads taken in (one after each login on the data connection).
    int completeListsTaken() const { return completeLists; }
    QTimer &timer() { return tickTimer; }
    IBanner &banner() { return *bannerView; }
    // The ad search window, created hidden at start-up; null before.
    QueryAdsDlg *adSearch() { return adSearchWindow.get(); }
    // What the search windows opened from here work with.
    SearchContext searchContext();

    // Highlight colours of a changed address.
    static const QColor HighlightText;
    static const QColor HighlightBack;

protected:
    bool OnInitDialog() override;
    void OnCommand(int id) override;
    void closeEvent(QCloseEvent *event) override;

private:
    bool runLoginDialogs();
    void startThreads();
    void stopThreads();
    bool editDomain(DomainEditValues &values);
    // Runs the address dialog until what it holds is sent and taken, or the
    // user cancels: a refusal or a failed request is told and the dialog
    // comes back with what the user typed.
    void editAndSend(const DomainRecord *before, DomainEditValues values);
    // False when the service refused the change or could not be reached (told to the user).
    bool applyEditedDomain(const DomainRecord *before, const DomainEditValues &values);
    // Tells the user why a change of the address list did not go through.
    void showRefusal(const DomainReply &reply);
    // The address list from the web service, shown anew (kept on a failure).
    void reloadDomainList();
    void showChangePopup(const QStringList &changed);
    void runAdDetailWindow(const QString &url);
    void runSiteStatusWindow();
    void createAdSearchWindow();
    void showAdSearchWindow();
    void navigateBanner(const QString &url);
    void addTrayIcon();
    void setTopmost(bool on);
    void loadStoredFiles();

    ConnectSession &session;
    AccountState &account;
    StartOptions options;
    CLineColorListCtrl domainListCtrl;
    CVirtualListCtrl siteListCtrl;
    std::unique_ptr<IBanner> bannerView;
    // Declared before the search window, which listens to it.
    LoginNotices loginNotices;
    std::unique_ptr<QueryAdsDlg> adSearchWindow;
    std::vector<OneAdDataCount> siteRowsData;
    CtrlData<OneAdDataCount> siteAdapter;
    std::unique_ptr<QMenu> domainMenu;
    QTimer tickTimer;
    int heartbeats = 0;
    qint32 highlightUntil = 0;
    QString popupText;
    DomainEditor domainEditor;
    AdDetailRunner adDetailRunner;
    SiteStatusRunner siteStatusRunner;
    AboutRunner aboutRunner;
    std::function<qint32()> now;
    bool subscribed = false;
    // The first complete list of ads after the login has arrived; later ones
    // come after reconnects and are compared with what is held.
    bool heldCompleteList = false;
    int completeLists = 0;

    // Server messages wait here while this window is inside a blocking web
    // request: the request's local event loop must not run a handler in the
    // middle of a command that is still changing the same state.
    class WebCallGuard;
    void deliverPending();
    std::deque<std::shared_ptr<MsgHeader>> pendingMessages;
    int webCallDepth = 0;

    std::thread worker;
    AccountRefresher refresher;
};
