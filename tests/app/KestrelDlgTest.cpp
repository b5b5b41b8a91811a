#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>

#include "service/store/AccountStore.h"
#include "service/search/AdStore.h"
#include "service/web/WebService.h"
#include "tests/support/CannedHttpServer.h"
#include "tests/support/ServiceTestSupport.h"
#include "tests/support/TcpRelay.h"
#include "tests/support/TextFit.h"
#include "account/AccountState.h"
#include "account/DomainService.h"
#include "account/ServiceBase.h"
#include "app/AboutDlg.h"
#include "app/KestrelDlg.h"
#include "net/MsgDispatcher.h"
#include "sites/AdvertisingWebDlg.h"
#include "app/MsgWindow.h"
#include "app/ShowAdsDlg.h"
#include "sites/SiteListDialogs.h"
#include "search/windows/QueryAdsDlg.h"
#include "account/FileStream.h"
#include <QListWidget>
#include "tests/support/AccountFiles.h"
#include "tests/support/RecordingServices.h"
#include "res/Resources.h"

using namespace ServiceTest;

namespace {

// A loopback port nothing listens on: connections to it are refused.
quint16 closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

const QString kUser = QStringLiteral("alice");
const QString kPassword = QStringLiteral("secret1");

// The main window against a reference service on loopback, both on this
// thread; the connection worker runs on its own thread as in the program.
class MainWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(service.start()) << service->errorString().toStdString();
        accountId = seedAccount(service, sampleAccount(kUser, kPassword));
        ASSERT_NE(accountId, 0);
        watch("http://www.a-game.com", "1");
        watch("http://www.b-game.com", "2");
        ASSERT_TRUE(service->ads().addAds({
            makeAd("http://www.a-game.com", QStringLiteral("新开发布站"), QStringLiteral("热血一区"), 0,
                   "19:30"),
            makeAd("http://www.a-game.com", QStringLiteral("新开发布站"), QStringLiteral("热血二区"), 0,
                   "19:30"),
            makeAd("http://www.a-game.com", QStringLiteral("找服网"), QStringLiteral("热血三区"), 1, "20:00"),
            makeAd("http://www.b-game.com", QStringLiteral("找服网"), QStringLiteral("王者归来"), 0, "21:00"),
        }));

        SiteRecord site;
        site.name = QStringLiteral("找服网");
        site.domain = QStringLiteral("zhaofu.com");
        site.urls = QStringList{QStringLiteral("http://www.zhaofu.com"), QStringLiteral("http://zf.net")};
        ASSERT_TRUE(service->ads().replaceSites({site}));

        AccountState::Instance().resetForTests();
        AccountState::Instance().baseDir = service.dir.path() + QLatin1Char('/');
        ServiceBase::Instance().restoreDefaults();
        ServiceBase::Instance().setEndpoint(QStringLiteral("127.0.0.1"), service->webPort());
    }

    void TearDown() override
    {
        for (CMsgWindow *popup : popups())
            delete popup;
        window.reset();
        ServiceBase::Instance().restoreDefaults();
        AccountState::Instance().resetForTests();
    }

    void watch(const char *url, const char *remind)
    {
        MonitoredAddress address;
        address.url = QString::fromUtf8(url);
        address.remindType = QString::fromUtf8(remind);
        address.remark = QStringLiteral("备注");
        address.publishing = QStringLiteral("1");
        ASSERT_TRUE(service->accounts().putAddress(accountId, address));
    }

    CKestrelDlg &open(std::chrono::milliseconds refreshPeriod = std::chrono::minutes(1))
    {
        CKestrelDlg::StartOptions options;
        options.accountRefreshPeriod = refreshPeriod;
        options.login = [this](CKestrelDlg &dlg) {
            ++loginRuns;
            topmostDuringLogin = dlg.windowFlags().testFlag(Qt::WindowStaysOnTopHint);
            AccountState &state = AccountState::Instance();
            state.userName = kUser;
            state.password = kPassword;
            return Login(kUser, kPassword, QStringLiteral("1")).loggedIn();
        };
        options.dataHost = QStringLiteral("127.0.0.1");
        options.dataPort = dataPort ? dataPort : service->dataPort();
        options.writeShortcut = false;
        options.loadFiles = loadFiles;
        if (bannerFactory)
            options.makeBanner = bannerFactory;
        window = std::make_unique<CKestrelDlg>(session, AccountState::Instance(), ServiceBase::Instance(),
                                               options);
        window->setServices(fakes.services());
        window->setClock([this] { return clock; });
        EXPECT_TRUE(window->Create());
        return *window;
    }

    // Runs act on the modal dialog of type Dialog once one is shown.
    template <class Dialog> void whenModal(std::function<void(Dialog &)> act)
    {
        modalWatch.setInterval(10);
        QObject::disconnect(&modalWatch, nullptr, nullptr, nullptr);
        QObject::connect(&modalWatch, &QTimer::timeout, [this, act] {
            if (auto *dialog = qobject_cast<Dialog *>(QApplication::activeModalWidget())) {
                modalWatch.stop();
                act(*dialog);
            }
        });
        modalWatch.start();
    }

    // The addresses the web service reports changed, in the order it changed them.
    void recordChanges()
    {
        QObject::connect(&service->web(), &WebService::addressesChanged,
                         [this](const QString &, const QStringList &urls) { changes += urls; });
    }

    std::map<QString, MonitoredAddress> storedAddresses()
    {
        std::map<QString, MonitoredAddress> out;
        for (const MonitoredAddress &address : service->accounts().addresses(accountId))
            out.emplace(address.url, address);
        return out;
    }

    static std::vector<CMsgWindow *> popups()
    {
        std::vector<CMsgWindow *> out;
        for (QWidget *widget : QApplication::topLevelWidgets())
            if (auto *popup = qobject_cast<CMsgWindow *>(widget))
                out.push_back(popup);
        return out;
    }

    // The colour the list paints beside the text of a row's ad count, away from the
    // current cell's focus frame.
    static QColor paintedRowColour(CLineColorListCtrl &list, int row)
    {
        const QImage image = list.viewport()->grab().toImage();
        const QRect cell = list.visualRect(list.model()->index(row, 4));
        return QColor(image.pixel(cell.right() - 3, cell.center().y()));
    }

    int rowOf(const QString &url)
    {
        for (int row = 0; row < window->domainList().GetItemCount(); ++row)
            if (window->domainList().GetItemText(row, 0) == url)
                return row;
        return -1;
    }

    LocalService service;
    qint64 accountId = 0;
    ConnectSession session;
    platform::RecordingServices fakes;
    std::unique_ptr<CKestrelDlg> window;
    qint32 clock = 1'800'000'000;
    int loginRuns = 0;
    bool topmostDuringLogin = false;
    bool loadFiles = false;
    BannerFactory bannerFactory;
    QTimer modalWatch;
    QStringList changes;
    quint16 dataPort = 0; // 0: the service's own
};

TEST_F(MainWindow, StartsWithTheMonitoredAddressesThenFillsCountsFromTheServer)
{
    CKestrelDlg &dlg = open();
    EXPECT_EQ(loginRuns, 1);
    ASSERT_EQ(dlg.domainList().GetItemCount(), 2);
    EXPECT_EQ(dlg.domainList().columnCount(), 6);
    EXPECT_EQ(dlg.domainList().GetItemText(0, 0), QStringLiteral("http://www.a-game.com"));
    EXPECT_EQ(dlg.domainList().GetItemText(0, 2), QStringLiteral("本地提醒"));
    EXPECT_EQ(dlg.itemText(CKestrelDlg::NoticeText), QStringLiteral("公告：今晚维护"));

    // Connected -> login request -> ack 0 -> catalogue request; the login also
    // brings the complete set of ads.
    const AccountState &state = AccountState::Instance();
    ASSERT_TRUE(waitFor([&] { return state.domains.at("http://www.a-game.com").adCount == 3; }));
    EXPECT_EQ(state.domains.at("http://www.b-game.com").adCount, 1);
    EXPECT_EQ(state.domains.at("http://www.a-game.com").updateTime, clock);
    EXPECT_EQ(dlg.domainList().GetItemText(0, 4), QStringLiteral("3"));
    EXPECT_EQ(dlg.domainList().GetItemText(1, 5), formatLocalTime(clock));
    ASSERT_TRUE(waitFor([&] { return !state.sites.empty(); }));
    EXPECT_TRUE(dlg.lastPopupText().isEmpty()) << "the notification after login names no address";

    // Selecting an address lists its sites and opening times.
    dlg.domainList().setCurrentCell(0, 0);
    dlg.OnDomainClicked(0);
    ASSERT_EQ(dlg.siteRows().size(), 2u);
    EXPECT_EQ(dlg.siteList().state().rowCount, 2);
    EXPECT_EQ(dlg.siteRows()[0].strAdvertisingWeb, QStringLiteral("找服网"));
    EXPECT_EQ(dlg.siteRows()[1].strCount, QStringLiteral("2"));
    EXPECT_EQ(dlg.control<QGroupBox>(CKestrelDlg::SelectionGroup)->title(),
              QStringLiteral("当前选择网址 http://www.a-game.com"));

    // Opening a site row opens the catalogue's first address for it.
    dlg.OpenSite({0, 2});
    ASSERT_EQ(fakes.shell.opened.size(), 1u);
    EXPECT_EQ(fakes.shell.opened[0], QUrl(QStringLiteral("http://www.zhaofu.com")));
}

TEST_F(MainWindow, UpdateTimesAndShortRemarksFitTheirColumns)
{
    CKestrelDlg &dlg = open();
    const CLineColorListCtrl &list = dlg.domainList();
    EXPECT_GE(TextFit::cellRoom(list, list.columnWidth(5), QStringLiteral("2026-12-11 08:30:00")), 0);
    EXPECT_GE(TextFit::cellRoom(list, list.columnWidth(1), QStringLiteral("传奇新服")), 0);
}

TEST_F(MainWindow, AddingAnAddressNotifiesAndShowChangedHighlightsIt)
{
    CKestrelDlg &dlg = open();
    const AccountState &state = AccountState::Instance();
    ASSERT_TRUE(waitFor([&] { return state.domains.at("http://www.a-game.com").adCount == 3; }));
    ASSERT_TRUE(service->ads().addAds(
        {makeAd("http://www.c-game.com", QStringLiteral("新开发布站"), QStringLiteral("神途"), 0, "18:00")}));

    dlg.setDomainEditor([](CKestrelDlg &, DomainEditValues &values) {
        values.url = QStringLiteral("http://www.c-game.com");
        values.remark = QStringLiteral("新服 & 测试");
        values.remindText = QStringLiteral("都提醒");
        return true;
    });
    ++clock;
    dlg.sendCommand(CKestrelDlg::AddButton);
    EXPECT_EQ(dlg.domainList().GetItemCount(), 3);
    ASSERT_TRUE(waitFor([&] {
        const auto found = state.domains.find("http://www.c-game.com");
        return found != state.domains.end() && found->second.adCount == 1;
    }));
    EXPECT_EQ(state.domains.at("http://www.c-game.com").remark, QStringLiteral("新服 & 测试"));
    EXPECT_EQ(state.domains.at("http://www.c-game.com").updateTime, clock);
    EXPECT_EQ(dlg.lastPopupText(), QStringLiteral("更新的网址:\r\nhttp://www.c-game.com"));

    // The change raised one pop-up in the corner of the work area, showing the text.
    const std::vector<CMsgWindow *> shown = popups();
    ASSERT_EQ(shown.size(), 1u);
    CMsgWindow &popup = *shown[0];
    EXPECT_TRUE(popup.isVisible());
    const QRect area = fakes.desktop.area;
    EXPECT_EQ(popup.geometry().bottomRight(), area.bottomRight());
    EXPECT_EQ(popup.itemText(CMsgWindow::BodyItem), dlg.lastPopupText());
    EXPECT_EQ(popup.urlList(), QStringList{QStringLiteral("http://www.c-game.com")});

    // The user has the changed row selected; the view button points it out all the same.
    const int row = rowOf(QStringLiteral("http://www.c-game.com"));
    ASSERT_GE(row, 0);
    dlg.domainList().setCurrentCell(row, 0);
    ASSERT_EQ(dlg.domainList().GetFirstSelected(), row);
    QPointer<CMsgWindow> alive(&popup);
    const QPoint view = popup.itemRect(CMsgWindow::ViewItem).center();
    QTest::mouseClick(&popup, Qt::LeftButton, Qt::NoModifier, view);
    ASSERT_TRUE(waitFor([&] { return dlg.domainList().rowColor(row).has_value(); }));
    EXPECT_FALSE(alive.isNull()) << "the pop-up stays open after the click";
    EXPECT_EQ(paintedRowColour(dlg.domainList(), row).rgb(), CKestrelDlg::HighlightBack.rgb());
    EXPECT_EQ(dlg.domainList().GetSelectionMark(), row) << "the mark stays for the commands";
    // ...also after the next refill.
    dlg.FillDomainList();
    EXPECT_EQ(paintedRowColour(dlg.domainList(), row).rgb(), CKestrelDlg::HighlightBack.rgb());
    EXPECT_EQ(dlg.domainList().GetSelectionMark(), row);

    dlg.OnShowChanged({QStringLiteral("http://www.c-game.com"), QStringLiteral("http://gone.com")});
    ASSERT_TRUE(dlg.domainList().rowColor(row).has_value());
    EXPECT_EQ(dlg.domainList().rowColor(row)->backColor, CKestrelDlg::HighlightBack);
    EXPECT_EQ(dlg.domainList().rowColors().size(), 1u);
    EXPECT_EQ(dlg.highlightDeadline(), clock + 60);

    // The highlight ends with the first tick past the deadline.
    clock += 60;
    dlg.OnTimer();
    EXPECT_EQ(dlg.domainList().rowColors().size(), 1u);
    ++clock;
    dlg.OnTimer();
    EXPECT_TRUE(dlg.domainList().rowColors().empty());
    EXPECT_EQ(dlg.highlightDeadline(), 0);
}

TEST_F(MainWindow, DeleteAsksFirstAndModifySendsOnlyChanges)
{
    CKestrelDlg &dlg = open();
    dlg.domainList().selectRow(1);
    fakes.messageBox.answers = {platform::IDCANCEL};
    dlg.sendCommand(CKestrelDlg::DeleteButton);
    ASSERT_EQ(fakes.messageBox.shown.size(), 1u);
    EXPECT_EQ(fakes.messageBox.shown[0].text, QStringLiteral("确认要删除此域名么？"));
    EXPECT_EQ(dlg.domainList().GetItemCount(), 2);

    fakes.messageBox.answers = {platform::IDOK};
    dlg.sendCommand(res::CmdDelete);
    EXPECT_EQ(dlg.domainList().GetItemCount(), 1);
    EXPECT_EQ(AccountState::Instance().domains.count("http://www.b-game.com"), 0u);

    // Renaming the address deletes the old one and adds the new one.
    dlg.domainList().selectRow(0);
    dlg.setDomainEditor([](CKestrelDlg &, DomainEditValues &values) {
        EXPECT_EQ(values.remindText, QStringLiteral("本地提醒"));
        values.url = QStringLiteral("http://www.a2-game.com");
        return true;
    });
    dlg.sendCommand(CKestrelDlg::ModifyButton);
    ASSERT_EQ(dlg.domainList().GetItemCount(), 1);
    EXPECT_EQ(dlg.domainList().GetItemText(0, 0), QStringLiteral("http://www.a2-game.com"));

    // An edit that leaves no "http" in the address loses nothing.
    dlg.domainList().selectRow(0);
    dlg.setDomainEditor([](CKestrelDlg &, DomainEditValues &values) {
        values.url = QStringLiteral("www.x.com");
        return true;
    });
    dlg.sendCommand(CKestrelDlg::ModifyButton);
    EXPECT_EQ(dlg.domainList().GetItemText(0, 0), QStringLiteral("http://www.a2-game.com"));
}

TEST_F(MainWindow, AddOpensTheAddressDialogWithPresetsAndSendsItsValues)
{
    CKestrelDlg &dlg = open();
    recordChanges();
    DomainEditValues shown;
    whenModal<CDomainEdit>([&](CDomainEdit &edit) {
        shown = edit.values;
        edit.control<QLineEdit>(CDomainEdit::AddressEdit)->setText(QStringLiteral("http://www.c-game.com/"));
        edit.sendCommand(platform::IDOK);
    });
    dlg.sendCommand(CKestrelDlg::AddButton);

    EXPECT_EQ(shown.url, kDomainAddressHint);
    EXPECT_EQ(shown.remark, QStringLiteral("描述"));
    EXPECT_EQ(shown.remindText, QStringLiteral("都提醒"));
    EXPECT_EQ(shown.mailbox, QStringLiteral("7654321@qq.com"));
    EXPECT_EQ(shown.publishing, QStringLiteral("1"));
    EXPECT_EQ(shown.jinminhou, 1);

    EXPECT_EQ(changes, QStringList{QStringLiteral("http://www.c-game.com")});
    const auto stored = storedAddresses();
    ASSERT_EQ(stored.count(QStringLiteral("http://www.c-game.com")), 1u);
    const MonitoredAddress &added = stored.at(QStringLiteral("http://www.c-game.com"));
    EXPECT_EQ(added.remindType, QStringLiteral("3"));
    EXPECT_EQ(added.remark, QStringLiteral("描述"));
    EXPECT_EQ(added.publishing, QStringLiteral("1"));
    EXPECT_EQ(added.jinminhou, 1);
    EXPECT_GE(rowOf(QStringLiteral("http://www.c-game.com")), 0);
}

TEST_F(MainWindow, CancellingTheAddressDialogSendsNothing)
{
    CKestrelDlg &dlg = open();
    recordChanges();
    const auto before = storedAddresses();

    // A valid address already taken from the box by a focus change, then Escape.
    bool taken = false;
    whenModal<CDomainEdit>([&](CDomainEdit &edit) {
        QLineEdit *address = edit.control<QLineEdit>(CDomainEdit::AddressEdit);
        address->setText(QStringLiteral("http://www.cancel.com"));
        // Sent directly: whether the window holds the focus varies between platforms.
        QFocusEvent focusOut(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(address, &focusOut);
        taken = edit.values.url == QStringLiteral("http://www.cancel.com");
        QTest::keyClick(&edit, Qt::Key_Escape);
    });
    dlg.sendCommand(CKestrelDlg::AddButton);
    EXPECT_TRUE(taken) << "the box did not lose the focus before Escape";

    // Modify through the seam: a cancel with a changed address.
    dlg.domainList().selectRow(0);
    dlg.setDomainEditor([](CKestrelDlg &, DomainEditValues &values) {
        values.url = QStringLiteral("http://www.changed.com");
        return false;
    });
    dlg.sendCommand(CKestrelDlg::ModifyButton);

    EXPECT_TRUE(changes.isEmpty()) << changes.join(u' ').toStdString();
    EXPECT_EQ(storedAddresses().size(), before.size());
    EXPECT_EQ(dlg.domainList().GetItemCount(), 2);
}

TEST_F(MainWindow, ModifiedAddressIsAddedBeforeTheOldOneIsDeleted)
{
    CKestrelDlg &dlg = open();
    recordChanges();
    dlg.domainList().selectRow(rowOf(QStringLiteral("http://www.b-game.com")));
    DomainEditValues shown;
    dlg.setDomainEditor([&](CKestrelDlg &, DomainEditValues &values) {
        shown = values;
        values.url = QStringLiteral("http://www.b2-game.com");
        values.jinminhou = 1;
        return true;
    });
    dlg.sendCommand(CKestrelDlg::ModifyButton);

    EXPECT_EQ(shown.url, QStringLiteral("http://www.b-game.com"));
    EXPECT_EQ(shown.remark, QStringLiteral("备注"));
    EXPECT_EQ(shown.remindText, QStringLiteral("QQ提醒"));
    EXPECT_EQ(shown.mailbox, QStringLiteral("7654321@qq.com"));
    EXPECT_EQ(shown.jinminhou, 0);
    EXPECT_EQ(changes, (QStringList{QStringLiteral("http://www.b2-game.com"),
                                    QStringLiteral("http://www.b-game.com")}));
    const auto stored = storedAddresses();
    EXPECT_EQ(stored.count(QStringLiteral("http://www.b-game.com")), 0u);
    ASSERT_EQ(stored.count(QStringLiteral("http://www.b2-game.com")), 1u);
    EXPECT_EQ(stored.at(QStringLiteral("http://www.b2-game.com")).remindType, QStringLiteral("2"));
    EXPECT_EQ(stored.at(QStringLiteral("http://www.b2-game.com")).jinminhou, 1);

    // Unchanged values send nothing.
    changes.clear();
    dlg.domainList().selectRow(rowOf(QStringLiteral("http://www.b2-game.com")));
    dlg.setDomainEditor([](CKestrelDlg &, DomainEditValues &) { return true; });
    dlg.sendCommand(CKestrelDlg::ModifyButton);
    EXPECT_TRUE(changes.isEmpty());
}

TEST_F(MainWindow, RefusedAddKeepsTheOldAddress)
{
    CKestrelDlg &dlg = open();
    recordChanges();
    dlg.domainList().selectRow(rowOf(QStringLiteral("http://www.b-game.com")));
    // The password changed on the service: the window's requests are refused.
    std::optional<AccountRecord> record = service->accounts().account(kUser);
    ASSERT_TRUE(record);
    record->password = QStringLiteral("changed9");
    ASSERT_NE(service->accounts().save(*record), 0);

    int asked = 0;
    dlg.setDomainEditor([&asked](CKestrelDlg &, DomainEditValues &values) {
        values.url = QStringLiteral("http://www.b2-game.com");
        return ++asked == 1; // the refusal brings the dialog back: cancelled then
    });
    dlg.sendCommand(CKestrelDlg::ModifyButton);
    EXPECT_EQ(asked, 2);
    EXPECT_TRUE(changes.isEmpty());
    const auto stored = storedAddresses();
    EXPECT_EQ(stored.count(QStringLiteral("http://www.b-game.com")), 1u);
    EXPECT_EQ(stored.count(QStringLiteral("http://www.b2-game.com")), 0u);
}

// The requests of a changed address as they leave the window, against a
// server that refuses or accepts the add.
TEST_F(MainWindow, DeleteOfTheOldAddressFollowsOnlyASuccessfulAdd)
{
    CKestrelDlg &dlg = open();
    int asked = 0;
    dlg.setDomainEditor([&asked](CKestrelDlg &, DomainEditValues &values) {
        values.url = QStringLiteral("http://www.b2-game.com");
        return ++asked == 1; // a refusal brings the dialog back: cancelled then
    });
    struct Case {
        const char *name;
        QByteArray addReply;
        QList<QByteArray> paths;
    };
    const QByteArray add = WebProtocol::Path::AddDomain;
    const QByteArray del = WebProtocol::Path::DelDomain;
    const QByteArray list = WebProtocol::Path::GetUserDomainInfo;
    const Case cases[] = {
        // A refusal changes nothing on the service: told, and nothing more is asked.
        {"Refused", "9|\xB1\xA3\xB4\xE6\xCA\xA7\xB0\xDC", {add}},
        {"Saved", "0|\xB1\xA3\xB4\xE6\xB3\xC9\xB9\xA6", {add, del, list}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        asked = 0;
        DomainRecord old;
        old.url = QStringLiteral("http://www.b-game.com");
        old.remindType = QStringLiteral("2");
        AccountState::Instance().domains = {{old.url, old}};
        dlg.FillDomainList();
        dlg.domainList().selectRow(0);
        const QByteArray addReply = c.addReply;
        CannedHttpServer server([add, addReply](const QByteArray &target) {
            return CannedHttpServer::ok(target.startsWith(add) ? addReply : QByteArray("0"));
        });
        ServiceBase::Instance().setEndpoint(QStringLiteral("127.0.0.1"), server.port());
        dlg.sendCommand(CKestrelDlg::ModifyButton);
        QList<QByteArray> paths;
        for (const QByteArray &target : server.targets())
            paths.append(target.left(target.indexOf('?')));
        EXPECT_EQ(paths, c.paths);
    }
}

// What the user typed survives a refusal and an outage: the dialog comes back
// with it after the reason was shown.
TEST_F(MainWindow, AnAddThatDoesNotGoThroughIsToldAndTheDialogComesBackWithWhatWasTyped)
{
    CKestrelDlg &dlg = open();
    struct Case {
        const char *name;
        std::function<void()> breakService;
        QString told;
    };
    std::unique_ptr<CannedHttpServer> refusing;
    const Case cases[] = {
        {"Refused",
         [&] {
             refusing = std::make_unique<CannedHttpServer>([](const QByteArray &target) {
                 const bool add = target.startsWith(WebProtocol::Path::AddDomain);
                 // "3|备注太长" in GBK; the list is the one the window holds.
                 return CannedHttpServer::ok(add ? QByteArray("3|\xB1\xB8\xD7\xA2\xCC\xAB\xB3\xA4")
                                                 : QByteArray("1;http://www.a-game.com;1"));
             });
             ServiceBase::Instance().setEndpoint(QStringLiteral("127.0.0.1"), refusing->port());
         },
         QStringLiteral("备注太长")},
        {"Unreachable",
         [&] {
             refusing.reset();
             ServiceBase::Instance().setEndpoint(QStringLiteral("127.0.0.1"), closedPort());
         },
         QStringLiteral("无法连接服务器，请检查网络后重试。")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        c.breakService();
        fakes.messageBox.shown.clear();
        std::vector<DomainEditValues> seen;
        dlg.setDomainEditor([&seen](CKestrelDlg &, DomainEditValues &values) {
            seen.push_back(values);
            if (seen.size() > 1)
                return false; // the user gives up on the second showing
            values.url = QStringLiteral("http://www.typed.com");
            values.remark = QStringLiteral("打了很久的备注");
            return true;
        });
        dlg.sendCommand(CKestrelDlg::AddButton);
        ASSERT_EQ(fakes.messageBox.shown.size(), 1u);
        EXPECT_EQ(fakes.messageBox.shown[0].text, c.told);
        ASSERT_EQ(seen.size(), 2u);
        EXPECT_EQ(seen[1].url, QStringLiteral("http://www.typed.com"));
        EXPECT_EQ(seen[1].remark, QStringLiteral("打了很久的备注"));
        EXPECT_EQ(dlg.domainList().GetItemCount(), 2) << "the list shown stays";
    }
}

// The data connection goes down; meanwhile an address's ads change and an
// address is added on the service. Back online, the window shows the new list
// and tells the changed address, and only that one.
TEST_F(MainWindow, WhatChangedDuringAnOutageIsToldAfterTheReconnect)
{
    TcpRelay relay(service->dataPort());
    ASSERT_NE(relay.port(), 0);
    dataPort = relay.port();
    CKestrelDlg &dlg = open();
    const AccountState &state = AccountState::Instance();
    ASSERT_TRUE(waitFor([&] { return dlg.completeListsTaken() == 1; }));
    EXPECT_TRUE(dlg.lastPopupText().isEmpty());
    const qint32 firstStamp = state.domains.at("http://www.b-game.com").updateTime;

    // An outage in which nothing changes tells nothing.
    relay.cut();
    ASSERT_TRUE(relay.restore());
    ASSERT_TRUE(waitFor([&] { return dlg.completeListsTaken() == 2; }));
    EXPECT_TRUE(dlg.lastPopupText().isEmpty());
    EXPECT_TRUE(popups().empty());

    relay.cut();
    ASSERT_TRUE(service->ads().addAds({makeAd("http://www.a-game.com", QStringLiteral("新开发布站"),
                                              QStringLiteral("热血四区"), 0, "22:00")}));
    watch("http://www.c-game.com", "4");
    clock += 100;
    ASSERT_TRUE(relay.restore());
    ASSERT_TRUE(waitFor([&] { return dlg.completeListsTaken() == 3; }));

    EXPECT_EQ(dlg.lastPopupText(), QStringLiteral("更新的网址:\r\nhttp://www.a-game.com"));
    EXPECT_EQ(popups().size(), 1u);
    EXPECT_EQ(state.domains.at("http://www.a-game.com").adCount, 4);
    EXPECT_EQ(state.domains.at("http://www.a-game.com").updateTime, clock);
    EXPECT_EQ(state.domains.at("http://www.b-game.com").updateTime, firstStamp) << "unchanged";
    EXPECT_GE(rowOf(QStringLiteral("http://www.c-game.com")), 0) << "the list was asked for again";
}

TEST_F(MainWindow, DoubleClickShowsTheAdsOfTheMarkedAddress)
{
    CKestrelDlg &dlg = open();
    const AccountState &state = AccountState::Instance();
    ASSERT_TRUE(waitFor([&] { return state.domains.at("http://www.a-game.com").adCount == 3; }));

    std::vector<QString> asked;
    dlg.setAdDetailRunner([&](CKestrelDlg &, const QString &url) { asked.push_back(url); });
    dlg.domainList().setCurrentCell(1, 0);
    dlg.OnDomainDoubleClicked(1);
    EXPECT_EQ(asked, std::vector<QString>{QStringLiteral("http://www.b-game.com")});

    // Unset, the ad window itself runs.
    dlg.setAdDetailRunner(nullptr);
    dlg.domainList().setCurrentCell(0, 0);
    QString keyUrl;
    int rows = -1;
    whenModal<ShowAdsDlg>([&](ShowAdsDlg &ads) {
        keyUrl = ads.keyUrl;
        rows = ads.list.state().rowCount;
        ads.close();
    });
    dlg.OnDomainDoubleClicked(0);
    EXPECT_EQ(keyUrl, QStringLiteral("http://www.a-game.com"));
    EXPECT_EQ(rows, 3);
}

TEST_F(MainWindow, SiteStatusButtonShowsTheCatalogueAndTheServersFreshOne)
{
    CKestrelDlg &dlg = open();
    AccountState &state = AccountState::Instance();
    ASSERT_TRUE(waitFor([&] { return !state.sites.empty(); }));
    auto *button = dlg.control<QPushButton>(CKestrelDlg::SiteStatusButton);
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text(), QStringLiteral("点 击 查 看"));

    int runs = 0;
    dlg.setSiteStatusRunner([&](CKestrelDlg &) { ++runs; });
    button->click();
    EXPECT_EQ(runs, 1);

    // Unset, the window itself runs. The account's catalogue is emptied first,
    // so a row can only come from the server answering the window's request.
    dlg.setSiteStatusRunner(nullptr);
    state.sites.clear();
    bool answered = false;
    QStringList cells;
    whenModal<AdvertisingWebDlg>([&](AdvertisingWebDlg &status) {
        answered = waitFor([&] { return status.list.state().rowCount == 1; });
        for (int column = 0; column < 4; ++column)
            cells.append(status.adapter.GetText(0, column));
        status.close();
    });
    button->click();
    EXPECT_TRUE(answered);
    ASSERT_EQ(cells.size(), 4);
    EXPECT_EQ(cells[0], QStringLiteral("找服网"));
    EXPECT_EQ(cells[1], QStringLiteral("http://www.zhaofu.com;http://zf.net"));
    EXPECT_FALSE(MsgDispatcher::hasHandler(kMsgGetAdvertisingWebInfoAck)) << "closed, no longer subscribed";
}

TEST_F(MainWindow, AddressDialogChoosesItsSitesThroughTheSiteDialog)
{
    CKestrelDlg &dlg = open();
    AccountState &state = AccountState::Instance();
    ASSERT_TRUE(waitFor([&] { return !state.sites.empty(); }));
    AdvertisingWebData other;
    other.strWebMain = QStringLiteral("新开发布站");
    state.sites.push_back(other);

    QTimer siteWatch;
    siteWatch.setInterval(10);
    QStringList offered;
    QObject::connect(&siteWatch, &QTimer::timeout, [&] {
        auto *sites = qobject_cast<SelectAdvertisingWebDlg *>(QApplication::activeModalWidget());
        if (!sites)
            return;
        siteWatch.stop();
        offered = sites->leftItems();
        sites->OnRemoveAll();
        const QList<QListWidgetItem *> found =
            sites->leftList()->findItems(QStringLiteral("找服网"), Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1);
        found[0]->setSelected(true);
        sites->OnAdd();
        sites->sendCommand(platform::IDOK);
    });
    whenModal<CDomainEdit>([&](CDomainEdit &edit) {
        edit.control<QLineEdit>(CDomainEdit::AddressEdit)->setText(QStringLiteral("http://www.c-game.com"));
        siteWatch.start();
        edit.sendCommand(CDomainEdit::SitesButton);
        edit.sendCommand(platform::IDOK);
    });
    dlg.sendCommand(CKestrelDlg::AddButton);

    EXPECT_EQ(offered.size(), 2);
    const auto stored = storedAddresses();
    ASSERT_EQ(stored.count(QStringLiteral("http://www.c-game.com")), 1u);
    EXPECT_EQ(stored.at(QStringLiteral("http://www.c-game.com")).publishing, QStringLiteral("找服网"));
}

TEST_F(MainWindow, StartLoadsTheSiteListConfigurations)
{
    {
        FileStream file(AccountState::Instance().baseDir + QStringLiteral("weblist.txt"),
                        FileStream::modeCreate | FileStream::modeWrite);
        ASSERT_TRUE(file.isOpen());
        file.WriteLine(QStringLiteral("1"));
        file.WriteLine(QStringLiteral("全部=1"));
        file.WriteLine(QStringLiteral("常用=找服网"));
    }
    loadFiles = true;
    open();
    const AccountState &state = AccountState::Instance();
    ASSERT_EQ(state.siteLists.size(), 2u);
    EXPECT_EQ(state.siteListIndex, 1);
    EXPECT_EQ(state.siteListValue, QStringLiteral("找服网"));
}

TEST_F(MainWindow, StartLoadsTheSearchHistories)
{
    const QString baseDir = AccountState::Instance().baseDir;
    {
        QFile file(baseDir + QStringLiteral("search_jump_his.txt"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(TestSupport::kUtf16Mark + TestSupport::utf16le(QStringLiteral("b\r\na\r\nb\r\n")));
    }
    loadFiles = true;
    open();
    const AccountState &state = AccountState::Instance();
    EXPECT_EQ(state.searchJumpHis, (std::set<QString>{QStringLiteral("a"), QStringLiteral("b")}));
    EXPECT_TRUE(state.searchHis.empty());
    EXPECT_TRUE(state.searchHisHis.empty());
    for (const char *missing : {"search_his.txt", "search_his_his.txt"}) {
        const QFileInfo created(baseDir + QLatin1String(missing));
        EXPECT_TRUE(created.exists()) << missing;
        EXPECT_EQ(created.size(), 0) << missing;
    }
}

TEST_F(MainWindow, AdSearchButtonSwapsToTheSearchWindowWhichSearchesThroughTheConnection)
{
    {
        QFile file(AccountState::Instance().baseDir + QStringLiteral("search_his.txt"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(TestSupport::kUtf16Mark + TestSupport::utf16le(QStringLiteral("热血\r\n")));
    }
    loadFiles = true;
    CKestrelDlg &dlg = open();
    dlg.show();
    QueryAdsDlg *search = dlg.adSearch();
    ASSERT_NE(search, nullptr);
    EXPECT_TRUE(search->isCreated());
    EXPECT_FALSE(search->isVisible());
    EXPECT_EQ(search->keyBox()->itemText(0), QStringLiteral("热血"));
    EXPECT_EQ(search->keyBox()->currentText(), QString());

    auto *button = dlg.control<QPushButton>(CKestrelDlg::AdSearchButton);
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text(), QStringLiteral("点 击 进 入"));
    button->click();
    EXPECT_TRUE(search->isVisible());
    EXPECT_FALSE(dlg.isVisible());

    // The request goes out through the main window's connection and the
    // answer comes back through its queue.
    ASSERT_TRUE(waitFor([&] { return AccountState::Instance().connectionsMade > 0; }));
    search->keyBox()->setEditText(QStringLiteral("热血"));
    search->StartSearch();
    ASSERT_TRUE(waitFor([&] { return search->ads.size() == 3; }));
    EXPECT_EQ(search->statusText(), QStringLiteral("已请求：3条/共：3条"));
    EXPECT_EQ(search->countList.state().rowCount, 2);

    search->close();
    EXPECT_FALSE(search->isVisible());
    EXPECT_TRUE(dlg.isVisible());
}

TEST_F(MainWindow, ContextMenuCopyAndLinks)
{
    CKestrelDlg &dlg = open();
    dlg.domainList().selectRow(1);
    fakes.menus.choice = res::CmdCopy;
    dlg.OnDomainRightClicked(1, QPoint(10, 10));
    ASSERT_EQ(fakes.menus.shown.size(), 1u);
    EXPECT_EQ(fakes.menus.shown[0].commands,
              (std::vector<int>{res::CmdCopy, res::CmdDelete, res::CmdModify}));
    EXPECT_EQ(fakes.clipboard.content, QStringLiteral("http://www.b-game.com"));
    dlg.OnDomainRightClicked(-1, QPoint(10, 10));
    EXPECT_EQ(fakes.menus.shown.size(), 1u) << "no menu below the rows";

    dlg.sendCommand(CKestrelDlg::LinkButton);
    ASSERT_EQ(fakes.shell.opened.size(), 1u);
    EXPECT_EQ(fakes.shell.opened[0].host(), QStringLiteral("127.0.0.1"));
}

TEST_F(MainWindow, HeartbeatGoesOutOnTheThirtyFirstTick)
{
    CKestrelDlg &dlg = open();
    const AccountState &state = AccountState::Instance();
    ASSERT_TRUE(waitFor([&] { return state.domains.at("http://www.a-game.com").adCount == 3; }));
    for (int tick = 0; tick < 30; ++tick)
        dlg.OnTimer();
    const int before = session.sendWritePosition();
    dlg.OnTimer();
    EXPECT_EQ(dlg.heartbeatCounter(), 0);
    EXPECT_TRUE(session.sendWritePosition() == 12 || session.sendWritePosition() == before + 12);
}

TEST_F(MainWindow, AccountRefreshBringsANewNoticeToTheWindow)
{
    CKestrelDlg &dlg = open(std::chrono::milliseconds(100));
    EXPECT_EQ(dlg.itemText(CKestrelDlg::NoticeText), QStringLiteral("公告：今晚维护"));
    std::optional<AccountRecord> account = service->accounts().account(kUser);
    ASSERT_TRUE(account);
    account->notice = QStringLiteral("新公告：明日开新区");
    ASSERT_NE(service->accounts().save(*account), 0);
    // The refresh thread logs in again; the next tick shows what it stored.
    ASSERT_TRUE(waitFor([&] {
        dlg.OnTimer();
        return dlg.itemText(CKestrelDlg::NoticeText) == QStringLiteral("新公告：明日开新区");
    }));
    EXPECT_TRUE(dlg.windowTitle().contains(QStringLiteral("账号:alice 接受提醒QQ邮箱:7654321@qq.com")));
}

// Counts what the window asks of its banner.
class RecordingBanner final : public IBanner {
public:
    explicit RecordingBanner(QStringList &log) : log(log) {}
    QWidget &widget() override { return area; }
    bool navigate(const QString &address) override
    {
        log.append(address);
        return true;
    }

private:
    QWidget area;
    QStringList &log;
};

TEST_F(MainWindow, BannerNavigatesOnlyWhenThePageAddressChanges)
{
    QStringList navigations;
    bannerFactory = [&navigations](QWidget *, std::function<platform::Services()>) {
        return std::make_unique<RecordingBanner>(navigations);
    };
    CKestrelDlg &dlg = open();
    const QString page = service.webUrl(QStringLiteral("/banner.html")).toString();
    ASSERT_EQ(navigations, QStringList{page});
    dlg.RefreshNotice();
    dlg.OnTimer();
    EXPECT_EQ(navigations, QStringList{page});

    const QString other = service.webUrl(QStringLiteral("/index.html")).toString();
    {
        std::lock_guard guard(AccountState::Instance().lock);
        AccountState::Instance().pageUrl = other;
    }
    dlg.RefreshNotice();
    dlg.RefreshNotice();
    EXPECT_EQ(navigations, (QStringList{page, other}));
}

TEST_F(MainWindow, BannerShowsTheServicePageOnlyOnceTheWindowIsShown)
{
    CKestrelDlg &dlg = open();
    auto *banner = dynamic_cast<TextBanner *>(&dlg.banner());
    ASSERT_NE(banner, nullptr);
    EXPECT_EQ(dlg.item(CKestrelDlg::Banner), &banner->widget());
    EXPECT_EQ(banner->address(), service.webUrl(QStringLiteral("/banner.html")));
    EXPECT_EQ(banner->fetchCount(), 0);

    const QUrl image = service.webUrl(QStringLiteral("/banner.png"));
    dlg.show();
    ASSERT_TRUE(waitFor([&] { return banner->hasImage(image); }));
    EXPECT_TRUE(banner->toPlainText().contains(QStringLiteral("发布站广告监控")))
        << banner->toPlainText().toStdString();
    EXPECT_EQ(banner->fetchCount(), 2);

    // Its link goes to the user's browser through the window's services.
    QTextCursor found = banner->document()->find(QStringLiteral("了解详情"));
    ASSERT_FALSE(found.isNull());
    QTextCursor middle(banner->document());
    middle.setPosition(found.selectionStart() + 1);
    QTest::mouseClick(banner->viewport(), Qt::LeftButton, {}, banner->cursorRect(middle).center());
    ASSERT_EQ(fakes.shell.opened.size(), 1u);
    EXPECT_EQ(fakes.shell.opened.front(), service.webUrl(QStringLiteral("/")));
}

TEST_F(MainWindow, TopmostWhileTheLoginRunsAndNotOnceStarted)
{
    CKestrelDlg &dlg = open();
    EXPECT_TRUE(topmostDuringLogin);
    EXPECT_FALSE(dlg.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
}

TEST_F(MainWindow, ClosingHidesAndALeftClickOnTheTrayIconBringsTheWindowBack)
{
    CKestrelDlg &dlg = open();
    ASSERT_TRUE(fakes.tray.added);
    EXPECT_EQ(fakes.tray.tip, QStringLiteral("Vorlant 高阶版v12.4"));
    EXPECT_FALSE(fakes.tray.icon.isNull());

    QSignalSpy finished(&dlg, &QDialog::finished);
    dlg.show();
    EXPECT_FALSE(dlg.close()) << "the close is refused";
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(finished.count(), 0) << "the program goes on";
    EXPECT_TRUE(dlg.timer().isActive());

    // Clicks other than the left one neither show the window nor a menu.
    for (const auto reason :
         {QSystemTrayIcon::DoubleClick, QSystemTrayIcon::MiddleClick, QSystemTrayIcon::Unknown}) {
        ASSERT_TRUE(fakes.tray.activate(reason));
        EXPECT_FALSE(dlg.isVisible()) << reason;
    }
    EXPECT_TRUE(fakes.menus.shown.empty());

    dlg.showMinimized();
    dlg.hide();
    ASSERT_TRUE(fakes.tray.activate(QSystemTrayIcon::Trigger));
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_FALSE(dlg.isMinimized()) << "shown normally";
    EXPECT_FALSE(dlg.windowFlags().testFlag(Qt::WindowStaysOnTopHint)) << "in front, but not topmost";
    EXPECT_TRUE(fakes.menus.shown.empty());
    EXPECT_EQ(finished.count(), 0);
}

TEST_F(MainWindow, TrayMenuOffersOnlyExitWhichRemovesTheIconAndEndsWithMinusOne)
{
    open();
    fakes.menus.choice = 0;
    ASSERT_TRUE(fakes.tray.activate(QSystemTrayIcon::Context, QPoint(1200, 970)));
    ASSERT_EQ(fakes.menus.shown.size(), 1u);
    EXPECT_EQ(fakes.menus.shown[0].commands, (std::vector<int>{res::CmdExit}));
    EXPECT_EQ(fakes.menus.shown[0].texts, QStringList{QStringLiteral("退出Vorlant-高阶版")});
    EXPECT_EQ(fakes.menus.shown[0].pos, QPoint(1200, 970));
    EXPECT_EQ(fakes.menus.shown[0].align, platform::MenuAlign::TopRight);
    EXPECT_TRUE(fakes.processExit.codes.empty()) << "a dismissed menu ends nothing";
    EXPECT_TRUE(fakes.tray.added);

    fakes.menus.choice = res::CmdExit;
    ASSERT_TRUE(fakes.tray.activate(QSystemTrayIcon::Context));
    EXPECT_FALSE(fakes.tray.added);
    EXPECT_EQ(fakes.processExit.codes, std::vector<int>{-1});
}

TEST_F(MainWindow, WithoutANotificationAreaClosingEndsTheProgram)
{
    fakes.tray.available = false;
    CKestrelDlg &dlg = open();
    QSignalSpy finished(&dlg, &QDialog::finished);
    dlg.show();
    dlg.close();
    ASSERT_EQ(finished.count(), 1);
    EXPECT_EQ(finished[0][0].toInt(), int(platform::IDCANCEL));
    EXPECT_TRUE(fakes.processExit.codes.empty()) << "an ordinary end, not the tray's";
}

TEST_F(MainWindow, F1ShowsTheAboutBox)
{
    CKestrelDlg &dlg = open();
    int abouts = 0;
    dlg.setAboutRunner([&](CKestrelDlg &) { ++abouts; });
    dlg.show();
    dlg.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
    QTest::keyClick(&dlg.domainList(), Qt::Key_F1);
    EXPECT_EQ(abouts, 1);
}

TEST(AboutBox, ShowsTheIconNameAndVersionAndClosesWithOk)
{
    QApplication::setWindowIcon(res::appIcon());
    CAboutDlg about;
    ASSERT_TRUE(about.Create());
    EXPECT_EQ(about.windowTitle(), QStringLiteral("关于 Kestrel"));
    bool version = false;
    bool icon = false;
    for (const QLabel *label : about.findChildren<QLabel *>()) {
        version = version || label->text() == QStringLiteral("Kestrel 1.0 版");
        icon = icon || !label->pixmap().isNull();
    }
    EXPECT_TRUE(version);
    EXPECT_TRUE(icon);
    auto *ok = about.control<QPushButton>(platform::IDOK);
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->text(), QStringLiteral("确定"));
    QSignalSpy finished(&about, &QDialog::finished);
    about.show();
    ok->click();
    ASSERT_EQ(finished.count(), 1);
    EXPECT_EQ(finished[0][0].toInt(), int(platform::IDOK));
}

TEST(MainWindowStart, CancelledLoginEndsBeforeAnyThreadOrTimer)
{
    ConnectSession session;
    CKestrelDlg::StartOptions options;
    options.login = [](CKestrelDlg &) { return false; };
    options.dataHost = QStringLiteral("127.0.0.1");
    options.writeShortcut = false;
    options.loadFiles = false;
    CKestrelDlg dlg(session, AccountState::Instance(), ServiceBase::Instance(), options);
    EXPECT_FALSE(dlg.Create());
    EXPECT_FALSE(dlg.timer().isActive());
    EXPECT_EQ(session.sendWritePosition(), 0);
}

} // namespace
