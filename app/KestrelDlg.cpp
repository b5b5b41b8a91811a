#include "app/KestrelDlg.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QGroupBox>
#include <QHeaderView>
#include <QMenu>
#include <QPointer>
#include <QShortcut>

#include "net/MsgDispatcher.h"
#include "account/DomainEditing.h"
#include "account/DomainService.h"
#include "account/HostTools.h"
#include "account/dialogs/DomainEdit.h"
#include "account/dialogs/LoginDlg.h"
#include "account/SearchHistory.h"
#include "account/ServiceBase.h"
#include "account/SiteLists.h"
#include "app/AboutDlg.h"
#include "account/MainWindowLogic.h"
#include "sites/AdvertisingWebDlg.h"
#include "app/MsgWindow.h"
#include "app/ShowAdsDlg.h"
#include "sites/SiteListDialogs.h"
#include "platform/ControlHelpers.h"
#include "platform/MenuBuilder.h"
#include "platform/Tray.h"
#include "res/Resources.h"

using namespace MainWindowLogic;

namespace {
constexpr int kHighlightSeconds = 60;

bool runDomainEdit(CKestrelDlg &window, DomainEditValues &values)
{
    CDomainEdit dialog(&window);
    dialog.setServices(window.services());
    dialog.values = values;
    dialog.setSiteChooser([&window](QWidget *parent, QString &value) {
        SelectAdvertisingWebDlg sites(window.accountState(), parent);
        sites.setServices(window.services());
        sites.selectionValue = value;
        if (sites.DoModal() != platform::IDOK)
            return false;
        value = sites.selectionValue;
        return true;
    });
    if (dialog.DoModal() != platform::IDOK)
        return false;
    values = dialog.values;
    return true;
}

} // namespace

class CKestrelDlg::WebCallGuard {
public:
    explicit WebCallGuard(CKestrelDlg &window) : window(window) { ++window.webCallDepth; }
    ~WebCallGuard()
    {
        if (--window.webCallDepth == 0)
            window.deliverPending();
    }
    WebCallGuard(const WebCallGuard &) = delete;
    WebCallGuard &operator=(const WebCallGuard &) = delete;

private:
    CKestrelDlg &window;
};

const QColor CKestrelDlg::HighlightText = QColor(255, 255, 255);
const QColor CKestrelDlg::HighlightBack = QColor(218, 46, 22);
const QString CKestrelDlg::TrayTip = QStringLiteral("Vorlant 高阶版v12.4");

CKestrelDlg::CKestrelDlg(ConnectSession &session, AccountState &account, ServiceBase &webService,
                         StartOptions startOptions, QWidget *parent)
    : DialogWindow(res::dialog(res::MainDialog), parent), session(session), account(account),
      options(std::move(startOptions)), siteAdapter(&siteRowsData, OneAdDataCountColumns),
      now([] { return qint32(QDateTime::currentSecsSinceEpoch()); }),
      refresher(account, webService, options.accountRefreshPeriod)
{
    session.configure(ResolveHost(options.dataHost).toStdString(), options.dataPort, this);
    bindControl(DomainList, domainListCtrl);
    bindControl(SiteList, siteListCtrl);
    bannerView = options.makeBanner(this, [this] { return services(); });
    bindControl(Banner, bannerView->widget());
    setWindowIcon(res::appIcon());
    tickTimer.setInterval(1000);
    connect(&tickTimer, &QTimer::timeout, this, &CKestrelDlg::OnTimer);
    connect(&domainListCtrl, &CLineColorListCtrl::rowClicked, this, &CKestrelDlg::OnDomainClicked);
    connect(&domainListCtrl, &CLineColorListCtrl::rowDoubleClicked, this,
            &CKestrelDlg::OnDomainDoubleClicked);
    connect(&domainListCtrl, &CLineColorListCtrl::rowRightClicked, this, &CKestrelDlg::OnDomainRightClicked);
    // The window manager's menu cannot take our About command; F1 stands in for it.
    auto *about = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(about, &QShortcut::activated, this, &CKestrelDlg::OnAbout);
}

CKestrelDlg::~CKestrelDlg()
{
    // The icon reports its clicks to this window.
    services().tray->remove();
    stopThreads();
    if (subscribed) {
        MsgDispatcher::Unsubscribe(this, &CKestrelDlg::OnConnected);
        MsgDispatcher::Unsubscribe(this, &CKestrelDlg::OnLoginAck);
        MsgDispatcher::Unsubscribe(this, &CKestrelDlg::OnAdsChange);
        MsgDispatcher::Unsubscribe(this, &CKestrelDlg::OnSiteCatalogue);
    }
}

bool CKestrelDlg::OnInitDialog()
{
    domainListCtrl.setShowGrid(true);
    domainListCtrl.setSelectionBehavior(QAbstractItemView::SelectRows);
    domainMenu = platform::buildContextMenu(*res::findMenu(res::DomainListMenu));
    // Topmost while the login runs, so its dialog comes up in front of everything.
    setTopmost(true);

    const bool loggedIn = options.login ? options.login(*this) : runLoginDialogs();
    if (!loggedIn) {
        EndDialog(platform::IDCANCEL);
        return false;
    }

    MsgDispatcher::Subscribe(this, &CKestrelDlg::OnConnected);
    MsgDispatcher::Subscribe(this, &CKestrelDlg::OnLoginAck);
    MsgDispatcher::Subscribe(this, &CKestrelDlg::OnAdsChange);
    MsgDispatcher::Subscribe(this, &CKestrelDlg::OnSiteCatalogue);
    subscribed = true;

    if (options.startThreads)
        startThreads();
    tickTimer.start();

    domainListCtrl.DeleteAllItems();
    domainListCtrl.setColumnCount(0);
    const std::pair<const char *, int> columns[] = {
        {"监控的网址（完整网址）", 180},
        {"备注", 60},
        {"提醒方式", 67},
        {"只今明", 57},
        {"广告数", 48},
        {"更新时间", 126},
    };
    int column = 0;
    for (const auto &[title, width] : columns)
        domainListCtrl.InsertColumn(column++, QString::fromUtf8(title), width);

    siteListCtrl.SetColumns(
        {QStringLiteral("发布站地址"), QStringLiteral("开放时间"), QStringLiteral("广告条数")},
        {150, 120, 100});
    siteListCtrl.setCommandHandler(this);

    reloadDomainList();

    setTopmost(false);
    addTrayIcon();
    RefreshNotice();
    if (options.writeShortcut)
        CreateDesktopShortcut();
    if (options.loadFiles)
        loadStoredFiles();
    createAdSearchWindow();
    return true;
}

bool CKestrelDlg::runLoginDialogs()
{
    for (;;) {
        LoginDlg login(this);
        login.setServices(services());
        if (login.DoModal() != platform::IDOK)
            return false;
        const LoginResult &result = login.loginResult;
        if (result.loggedIn())
            return true;
        if (!result.message.isEmpty())
            platform::showMessageBox(services(), this, result.message, QStringLiteral("提示"),
                                     platform::MessageIcon::Exclamation);
    }
}

void CKestrelDlg::startThreads()
{
    refresher.start();
    worker = std::thread([this] { session.Run(); });
}

void CKestrelDlg::stopThreads()
{
    session.stop();
    if (worker.joinable())
        worker.join();
    refresher.stop();
}

void CKestrelDlg::OnMessage(std::unique_ptr<MsgHeader> msg)
{
    // The message crosses to the GUI thread; it is freed there after dispatch,
    // or with the call itself if the window is gone first. The posted call must
    // be copyable, hence the shared pointer.
    std::shared_ptr<MsgHeader> owned = std::move(msg);
    platform::postToGui(this, [this, owned] {
        pendingMessages.push_back(owned);
        deliverPending();
    });
}

void CKestrelDlg::deliverPending()
{
    while (webCallDepth == 0 && !pendingMessages.empty()) {
        const std::shared_ptr<MsgHeader> msg = std::move(pendingMessages.front());
        pendingMessages.pop_front();
        MsgDispatcher::Dispatch(&session, msg.get());
    }
}

void CKestrelDlg::OnConnected(ConnectSession *target, MsgConnected &)
{
    ++account.connectionsMade;
    const AccountState::LoginFields fields = account.loginFields();
    MsgUserLoginReq login;
    login.body.set_username(fields.userName.toStdString());
    login.body.set_password(fields.password.toStdString());
    target->Send(login);
}

void CKestrelDlg::OnLoginAck(ConnectSession *target, MsgUserLoginAck &msg)
{
    if (msg.body.code() != 0)
        return;
    MsgGetAdvertisingWebInfoReq request;
    target->Send(request);
    emit loginNotices.loggedIn();
    // A service that came back may hold another list than the one shown.
    if (account.connectionsMade > 1)
        reloadDomainList();
}

void CKestrelDlg::OnSiteCatalogue(ConnectSession *, MsgGetAdvertisingWebInfoNtf &msg)
{
    applySiteCatalogue(account, msg.body);
}

void CKestrelDlg::OnAdsChange(ConnectSession *, MsgUserAdsChangeNtf &msg)
{
    const CompleteList complete = heldCompleteList ? CompleteList::Compared : CompleteList::First;
    heldCompleteList = true;
    const QStringList changed = applyAdsChange(account, msg.body, now(), complete);
    if (msg.body.ext().empty())
        ++completeLists;
    FillDomainList();
    if (!changed.isEmpty())
        showChangePopup(changed);
}

void CKestrelDlg::showChangePopup(const QStringList &changed)
{
    popupText = popupTextFor(account, changed);
    // The pop-up frees itself; it only reaches back to this window while it lives.
    auto *popup = new CMsgWindow;
    const QImage skin = res::popupSkin();
    if (!skin.isNull())
        popup->SetSkin(skin);
    if (!popup->CreatePopup(this)) {
        delete popup;
        return;
    }
    const QPointer<CKestrelDlg> self(this);
    popup->setShowChangedHandler([self](const QStringList &urls) {
        if (self)
            self->OnShowChanged(urls);
    });
    popup->setWorkAreaSource(
        [self] { return self ? self->services().desktop->workAreaOf(self) : platform::workArea(); });
    popup->SetMessage(popupText.isEmpty() ? QStringLiteral("更新的网址:") : popupText, changed);
    if (popupText.isEmpty())
        return; // not shown; it still counts down and goes away by itself
    popup->placeAtCorner(services().desktop->workAreaOf(this));
    popup->show();
    popup->raise();
    popup->update();
}

void CKestrelDlg::OnShowChanged(const QStringList &urls)
{
    showNormal();
    raise();
    activateWindow();
    // A selected row shows the selection colours only; the pointed-out rows must show theirs.
    domainListCtrl.clearSelection();
    domainListCtrl.ClearRowColors();
    for (const QString &url : urls) {
        const auto found = account.domains.find(url);
        if (found == account.domains.end() || found->second.row < 0)
            continue;
        domainListCtrl.SetRowColor(unsigned(found->second.row), HighlightText, HighlightBack);
    }
    domainListCtrl.setFocus();
    domainListCtrl.viewport()->update();
    highlightUntil = now() + kHighlightSeconds;
}

void CKestrelDlg::FillDomainList()
{
    const int mark = domainListCtrl.GetSelectionMark();
    domainListCtrl.DeleteAllItems();
    int row = 0;
    for (auto &[url, record] : account.domains) {
        const QStringList texts = domainRowTexts(record);
        domainListCtrl.InsertItem(row, texts[0]);
        for (int column = 1; column < texts.size(); ++column)
            domainListCtrl.SetItemText(row, column, texts[column]);
        record.row = row++;
    }
    // Keep the marked row marked across a refill, as long as it still exists. While
    // changed rows are pointed out it stays unselected: a selected row would show the
    // selection colours instead of the highlight.
    if (mark >= 0 && mark < domainListCtrl.GetItemCount()) {
        if (highlightUntil != 0)
            domainListCtrl.selectionModel()->setCurrentIndex(domainListCtrl.model()->index(mark, 0),
                                                             QItemSelectionModel::NoUpdate);
        else
            domainListCtrl.setCurrentCell(mark, 0);
    }
    FillSiteList();
    domainListCtrl.viewport()->update();
}

void CKestrelDlg::FillSiteList()
{
    siteRowsData.clear();
    const int mark = domainListCtrl.GetSelectionMark();
    if (mark >= 0) {
        const QString url = domainListCtrl.GetItemText(mark, 0);
        setItemText(SelectionGroup, QStringLiteral("当前选择网址 ") + url);
        siteRowsData = siteRowsOf(account, url);
    }
    siteListCtrl.SetData(&siteAdapter);
}

void CKestrelDlg::OnDomainClicked(int row)
{
    if (row >= 0)
        FillSiteList();
}

void CKestrelDlg::OnDomainDoubleClicked(int)
{
    const int mark = domainListCtrl.GetSelectionMark();
    if (mark >= 0)
        runAdDetailWindow(domainListCtrl.GetItemText(mark, 0));
}

void CKestrelDlg::runAdDetailWindow(const QString &url)
{
    if (adDetailRunner) {
        adDetailRunner(*this, url);
        return;
    }
    ShowAdsDlg dialog(account, url, this);
    dialog.setServices(services());
    dialog.DoModal();
}

void CKestrelDlg::OnDomainRightClicked(int row, const QPoint &globalPos)
{
    if (row < 0 || !domainMenu)
        return;
    const int command = services().menus->track(*domainMenu, globalPos, platform::MenuAlign::TopLeft);
    if (command != 0)
        OnCommand(command);
}

void CKestrelDlg::OnCommand(int id)
{
    switch (id) {
    case AddButton:
        OnAdd();
        break;
    case ModifyButton:
    case res::CmdModify:
        OnModify();
        break;
    case DeleteButton:
    case res::CmdDelete:
        OnDelete();
        break;
    case AdSearchButton:
        OnAdSearch();
        break;
    case SiteStatusButton:
        OnSiteStatus();
        break;
    case LinkButton:
        OnOpenLink();
        break;
    case res::CmdCopy:
        OnCopyAddress();
        break;
    default:
        DialogWindow::OnCommand(id);
    }
}

void CKestrelDlg::OnCopyAddress()
{
    const int row = domainListCtrl.GetFirstSelected();
    if (row >= 0)
        platform::setClipboardText(services(), domainListCtrl.GetItemText(row, 0));
}

void CKestrelDlg::OnAdd()
{
    DomainEditValues values;
    values.url = kDomainAddressHint;
    values.remark = QStringLiteral("描述");
    values.remindText = QStringLiteral("都提醒");
    values.mailbox = account.loginFields().mailbox;
    editAndSend(nullptr, values);
}

void CKestrelDlg::OnModify()
{
    const int row = domainListCtrl.GetFirstSelected();
    if (row < 0)
        return;
    const auto found = account.domains.find(domainListCtrl.GetItemText(row, 0));
    if (found == account.domains.end())
        return;
    const DomainRecord before = found->second;
    DomainEditValues values;
    values.url = before.url;
    values.remark = before.remark;
    values.remindText = remindTypeText(before.remindType);
    values.mailbox = account.loginFields().mailbox;
    values.publishing = before.publishing;
    values.jinminhou = before.jinminhou;
    editAndSend(&before, values);
}

bool CKestrelDlg::editDomain(DomainEditValues &values)
{
    return domainEditor ? domainEditor(*this, values) : runDomainEdit(*this, values);
}

void CKestrelDlg::editAndSend(const DomainRecord *before, DomainEditValues values)
{
    while (editDomain(values)) {
        if (applyEditedDomain(before, values))
            return;
    }
}

bool CKestrelDlg::applyEditedDomain(const DomainRecord *before, const DomainEditValues &values)
{
    // An address without "http" is not one the service can watch; the old one stays.
    if (!values.url.contains(QStringLiteral("http")))
        return true;
    DomainRecord after;
    after.url = values.url;
    after.remark = values.remark;
    after.publishing = values.publishing;
    after.jinminhou = values.jinminhou;
    after.remindType = remindTypeCode(values.remindText);
    WebCallGuard guard(*this);
    const std::optional<DomainReply> reply = sendDomainEdit(before, after);
    if (!reply)
        return true; // nothing changed
    if (!reply->ok()) {
        showRefusal(*reply);
        return false;
    }
    reloadDomainList();
    return true;
}

void CKestrelDlg::showRefusal(const DomainReply &reply)
{
    QString text = reply.message.trimmed();
    if (!reply.answered)
        text = QStringLiteral("无法连接服务器，请检查网络后重试。");
    else if (text.isEmpty())
        text = QStringLiteral("服务器未能保存，请稍后再试。");
    platform::showMessageBox(services(), this, text, QStringLiteral("提示"),
                             platform::MessageIcon::Exclamation);
}

void CKestrelDlg::reloadDomainList()
{
    WebCallGuard guard(*this);
    RefreshDomains(); // keeps the list on a failure
    FillDomainList();
}

void CKestrelDlg::OnDelete()
{
    const int row = domainListCtrl.GetFirstSelected();
    if (row < 0)
        return;
    const int answer = platform::showMessageBox(services(), this, QStringLiteral("确认要删除此域名么？"),
                                                QStringLiteral("提示"), platform::MessageIcon::Exclamation,
                                                platform::MessageButtons::OkCancel);
    if (answer != platform::IDOK)
        return;
    WebCallGuard guard(*this);
    const DomainReply reply = requestDelDomain(domainListCtrl.GetItemText(row, 0));
    if (!reply.ok())
        showRefusal(reply);
    reloadDomainList();
}

void CKestrelDlg::OnAdSearch()
{
    showAdSearchWindow();
}

void CKestrelDlg::OnSiteStatus()
{
    runSiteStatusWindow();
}

void CKestrelDlg::OnOpenLink()
{
    platform::shellOpen(services(), account.loginFields().linkUrl);
}

void CKestrelDlg::OpenSite(Cell cell)
{
    if (cell.row < 0 || cell.row >= siteAdapter.GetCount())
        return;
    const QString address = LookupSiteAddress(account.sites, siteAdapter.GetText(cell.row, 0));
    if (!address.isEmpty())
        platform::shellOpen(services(), address);
}

void CKestrelDlg::openHandler(CVirtualListCtrl &, Cell cell)
{
    OpenSite(cell);
}

void CKestrelDlg::OnTimer()
{
    const AccountState::LoginFields fields = account.loginFields();
    setWindowTitle(mainWindowTitle(fields.userName, fields.mailbox));
    if (heartbeatDue(heartbeats)) {
        MsgAllHeartBeatNtf beat;
        session.Send(beat);
    }
    RefreshNotice();
    if (highlightUntil != 0 && now() > highlightUntil) {
        highlightUntil = 0;
        domainListCtrl.ClearRowColors();
        domainListCtrl.viewport()->update();
    }
}

void CKestrelDlg::RefreshNotice()
{
    const AccountState::LoginFields fields = account.loginFields();
    if (itemText(NoticeText) != fields.noticeText)
        setItemText(NoticeText, fields.noticeText);
    // shownPageUrl is this thread's own: the refresh never writes it.
    if (fields.pageUrl != account.shownPageUrl) {
        navigateBanner(fields.pageUrl);
        account.shownPageUrl = fields.pageUrl;
    }
}

void CKestrelDlg::closeEvent(QCloseEvent *event)
{
    // The title bar's close and Alt+F4 only hide the window; the tray icon brings it
    // back. Without a notification area there would be no way back: then closing
    // ends the program as it does for any other window.
    event->ignore();
    const platform::Services s = services();
    if (s.tray->isAdded() && s.tray->isAvailable()) {
        hide();
        return;
    }
    OnCommand(platform::IDCANCEL);
}

void CKestrelDlg::setTopmost(bool on)
{
    platform::setTopmost(*this, on);
}

void CKestrelDlg::bringToFront()
{
    platform::bringToFront(*this);
}

void CKestrelDlg::OnTrayNotify(QSystemTrayIcon::ActivationReason reason, const QPoint &globalPos)
{
    if (reason == QSystemTrayIcon::Trigger) {
        bringToFront();
        return;
    }
    if (reason != QSystemTrayIcon::Context)
        return;
    const platform::MenuTemplate *tpl = res::findMenu(res::TrayMenu);
    const std::unique_ptr<QMenu> menu = tpl ? platform::buildContextMenu(*tpl) : nullptr;
    if (!menu)
        return;
    if (services().menus->track(*menu, globalPos, platform::MenuAlign::TopRight) == res::CmdExit)
        OnExit();
}

void CKestrelDlg::OnExit()
{
    // No thread is stopped and no window destroyed first: the refresh thread may be
    // blocked in a web request. Every file is closed after each write already.
    const platform::Services s = services();
    s.tray->remove();
    s.processExit->exitNow(-1);
}

void CKestrelDlg::OnAbout()
{
    if (aboutRunner) {
        aboutRunner(*this);
        return;
    }
    CAboutDlg about(this);
    about.setServices(services());
    about.DoModal();
}

SearchContext CKestrelDlg::searchContext()
{
    SearchContext context;
    context.account = &account;
    context.send = [this](MsgHeader &request) { session.Send(request); };
    context.logins = &loginNotices;
    return context;
}

void CKestrelDlg::createAdSearchWindow()
{
    // No parent: the search window has its own taskbar button and stays up
    // while this window is hidden.
    adSearchWindow = std::make_unique<QueryAdsDlg>(searchContext());
    adSearchWindow->setServices(services());
    adSearchWindow->Create();
}

void CKestrelDlg::showAdSearchWindow()
{
    if (!adSearchWindow)
        return;
    adSearchWindow->Activate(this, false);
    hide();
}

void CKestrelDlg::runSiteStatusWindow()
{
    if (siteStatusRunner) {
        siteStatusRunner(*this);
        return;
    }
    AdvertisingWebDlg dialog(
        account, [this](MsgHeader &request) { session.Send(request); }, this);
    dialog.setServices(services());
    dialog.DoModal();
}

void CKestrelDlg::navigateBanner(const QString &url)
{
    bannerView->navigate(url);
}

void CKestrelDlg::addTrayIcon()
{
    services().tray->add(
        res::appIcon(), TrayTip,
        [this](QSystemTrayIcon::ActivationReason reason, const QPoint &pos) { OnTrayNotify(reason, pos); });
}

void CKestrelDlg::loadStoredFiles()
{
    loadSearchHistories(account);
    LoadSiteLists(account);
}
