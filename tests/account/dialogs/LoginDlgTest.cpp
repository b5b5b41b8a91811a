#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>

#include <QApplication>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "tests/support/CannedWebFixture.h"
#include "account/dialogs/AccountAddDlg.h"
#include "account/dialogs/LoginDlg.h"
#include "tests/support/RecordingServices.h"

using namespace std::chrono_literals;
using platform::MessageIcon;

namespace {

const QString kLoginFailed = QStringLiteral("登录失败，请稍后再试！");
const QByteArray kLoginPath = "/tongji/common_login_for_monitor/login.asp?";
const QByteArray kAccountAddPath = "/tongji/account_add_1_1.asp?";

// Acts from inside a modal loop: once `ready` holds, `act` runs once. Past the
// deadline whatever modal dialog is open is cancelled, so a dialog that fails
// to close fails the test instead of hanging it.
class ModalDriver {
public:
    ModalDriver(std::function<bool()> ready, std::function<void()> act)
    {
        timer.callOnTimeout([this, ready = std::move(ready), act = std::move(act)] {
            if (!acted && ready()) {
                acted = true; // before act(): its own event loops tick this timer again
                act();
            } else if (deadline.hasExpired()) {
                timedOut = true;
                if (auto *modal = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
                    modal->reject();
            }
        });
        timer.start(10);
    }

    bool acted = false;
    bool timedOut = false;

private:
    QDeadlineTimer deadline{5000};
    QTimer timer;
};

void Click(platform::DialogWindow &dialog, int id)
{
    QTest::mouseClick(dialog.control<QPushButton>(id), Qt::LeftButton);
}

} // namespace

// The dialog is given its own recording services; anything that reaches the
// process-wide ones instead ends up in `stray` and fails the test.
class LoginDlgTest : public CannedWebFixture {
protected:
    void SetUp() override
    {
        CannedWebFixture::SetUp();
        ServiceBase::Instance().setTimeouts(HttpTimeouts{2000ms, 5000ms});
        dialog.setServices(fakes.services());
        ASSERT_TRUE(dialog.Create());
        dialog.show();
    }
    void TearDown() override
    {
        EXPECT_TRUE(stray.messageBox.shown.empty());
        EXPECT_EQ(stray.clipboard.writes, 0);
        CannedWebFixture::TearDown();
    }

    QLineEdit *box(int id) const { return dialog.control<QLineEdit>(id); }
    void type(const QString &user, const QString &password)
    {
        box(LoginDlg::UserNameEdit)->setText(user);
        box(LoginDlg::PasswordEdit)->setText(password);
    }
    bool closedWithOk() const { return !dialog.isVisible() && dialog.result() == platform::IDOK; }
    bool stillOpen() const { return dialog.isVisible() && dialog.result() == 0; }

    platform::RecordingServices stray;
    platform::ServicesOverride strayInstalled{stray.services()};
    platform::RecordingServices fakes;
    LoginDlg dialog;
};

TEST_F(LoginDlgTest, SuccessfulLoginClosesWithOkAndFillsTheAccount)
{
    CannedHttpServer server(
        [](const QByteArray &) { return CannedHttpServer::ok("0|x|x|x|mail@qq.com|notice|link|x|page"); });
    useServer(server);
    state().userName = "remembered"; // nothing of an earlier run shows in the boxes
    LoginDlg fresh;
    ASSERT_TRUE(fresh.Create());
    EXPECT_TRUE(fresh.itemText(LoginDlg::UserNameEdit).isEmpty());
    EXPECT_TRUE(fresh.itemText(LoginDlg::PasswordEdit).isEmpty());

    type("alice", "secret");
    Click(dialog, platform::IDOK);

    EXPECT_TRUE(closedWithOk());
    EXPECT_TRUE(fakes.messageBox.shown.empty());
    EXPECT_TRUE(dialog.loginResult.loggedIn());
    EXPECT_EQ(dialog.loginResult.mailbox, QStringLiteral("mail@qq.com"));
    EXPECT_EQ(state().loginCode, 0);
    EXPECT_EQ(state().userName, QStringLiteral("alice"));
    EXPECT_EQ(state().password, QStringLiteral("secret"));
    EXPECT_EQ(state().mailbox, QStringLiteral("mail@qq.com"));
    EXPECT_EQ(state().noticeText, QStringLiteral("notice"));
    EXPECT_EQ(state().linkUrl, QStringLiteral("link"));
    EXPECT_EQ(state().pageUrl, QStringLiteral("page"));
    ASSERT_EQ(server.targets().size(), 1);
    const QByteArray target = server.targets().front();
    EXPECT_TRUE(target.startsWith(kLoginPath + "user=alice&pass=secret&type=1&rand=")) << target.constData();
}

TEST_F(LoginDlgTest, RejectionByTheServiceIsLeftToTheCaller)
{
    CannedHttpServer server([](const QByteArray &) {
        return CannedHttpServer::ok("3|\xC3\xDC\xC2\xEB\xB4\xED\xCE\xF3");
    }); // 密码错误
    useServer(server);
    type("alice", "wrong");
    QTest::keyClick(box(LoginDlg::PasswordEdit), Qt::Key_Return); // Enter means 会员登录

    EXPECT_TRUE(closedWithOk());
    EXPECT_TRUE(fakes.messageBox.shown.empty()) << "the caller shows the service's text";
    EXPECT_EQ(dialog.loginResult.outcome, LoginResult::Refused);
    EXPECT_EQ(dialog.loginResult.code, 3);
    EXPECT_EQ(dialog.loginResult.message, QStringLiteral("密码错误"));
    EXPECT_EQ(state().loginCode, 3);
    EXPECT_EQ(state().loginMessage, QStringLiteral("密码错误"));
    EXPECT_EQ(state().userName, QStringLiteral("alice"));
    EXPECT_EQ(state().password, QStringLiteral("wrong"));
    EXPECT_EQ(server.targets().size(), 1);
}

struct FailureCase {
    const char *name;
    std::optional<CannedHttpServer::Reply> reply; // none: nothing listens
};

void PrintTo(const FailureCase &c, std::ostream *os)
{
    *os << c.name;
}

class LoginFailure : public LoginDlgTest, public ::testing::WithParamInterface<FailureCase> {};

// A failed attempt leaves no trace of an earlier one: the caller must neither
// take it for a login nor show the message of a previous rejection.
TEST_P(LoginFailure, ShowsTheFailureAndStillClosesWithOk)
{
    const FailureCase &c = GetParam();
    quint16 port;
    std::optional<CannedHttpServer> server;
    if (c.reply) {
        server.emplace([&](const QByteArray &) { return *c.reply; });
        port = server->port();
    } else {
        CannedHttpServer gone([](const QByteArray &) { return CannedHttpServer::ok(""); });
        port = gone.port();
    }
    ServiceBase::Instance().setEndpoint("127.0.0.1", port);
    state().loginCode = 3;
    state().loginMessage = "密码错误";

    type("alice", "secret");
    Click(dialog, platform::IDOK);

    EXPECT_TRUE(closedWithOk());
    ASSERT_EQ(fakes.messageBox.shown.size(), 1u);
    EXPECT_EQ(fakes.messageBox.shown[0].text, kLoginFailed);
    EXPECT_EQ(fakes.messageBox.shown[0].caption, QStringLiteral("提示"));
    EXPECT_EQ(fakes.messageBox.shown[0].icon, MessageIcon::Exclamation);
    EXPECT_EQ(fakes.messageBox.shown[0].parent, &dialog);
    EXPECT_EQ(state().userName, QStringLiteral("alice"));
    EXPECT_EQ(state().password, QStringLiteral("secret"));
    EXPECT_FALSE(dialog.loginResult.loggedIn());
    EXPECT_TRUE(dialog.loginResult.message.isEmpty());
    EXPECT_NE(state().loginCode, 0);
    EXPECT_TRUE(state().loginMessage.isEmpty());
    if (server) {
        EXPECT_EQ(server->targets().size(), 1);
    }
}

using R = CannedHttpServer;
INSTANTIATE_TEST_SUITE_P(LoginDlg, LoginFailure,
                         ::testing::Values(FailureCase{"NoServer", std::nullopt},
                                           FailureCase{"ServerError", R::withStatus(500, "0|x|x|x|m")},
                                           FailureCase{"EmptyReply", R::ok("")},
                                           FailureCase{"OneCharacter", R::ok("0")},
                                           FailureCase{"OnlySeparators", R::ok("|||")},
                                           FailureCase{"SuccessWithoutMailbox", R::ok("0|x|x|x")}),
                         [](const ::testing::TestParamInfo<FailureCase> &info) { return info.param.name; });

TEST_F(LoginDlgTest, EmptyBoxesMakeNoRequestButEndTheDialog)
{
    CannedHttpServer server([](const QByteArray &) { return CannedHttpServer::ok("0|x|x|x|m"); });
    useServer(server);

    // Run modally, as the main window does.
    type("", "secret");
    dialog.hide();
    ModalDriver driver([&] { return dialog.isVisible() && dialog.isModal(); },
                       [&] { Click(dialog, platform::IDOK); });
    EXPECT_EQ(dialog.DoModal(), platform::IDOK);
    EXPECT_FALSE(driver.timedOut);
    EXPECT_EQ(state().userName, QString());
    EXPECT_EQ(state().password, QStringLiteral("secret"));

    LoginDlg again;
    again.setServices(fakes.services());
    ASSERT_TRUE(again.Create());
    again.control<QLineEdit>(LoginDlg::UserNameEdit)->setText("alice");
    again.sendCommand(platform::IDOK); // empty password
    EXPECT_EQ(again.result(), platform::IDOK);
    EXPECT_EQ(again.loginResult.outcome, LoginResult::NotSent);
    EXPECT_EQ(state().userName, QStringLiteral("alice"));
    EXPECT_EQ(state().password, QString());

    EXPECT_TRUE(server.targets().isEmpty());
    ASSERT_EQ(fakes.messageBox.shown.size(), 2u);
    EXPECT_EQ(fakes.messageBox.shown[0].text, kLoginFailed);
    EXPECT_EQ(fakes.messageBox.shown[1].text, kLoginFailed);
}

TEST_F(LoginDlgTest, ContactSupportCopiesTheNumberAndTellsSo)
{
    for (const bool clipboardFree : {true, false}) {
        SCOPED_TRACE(clipboardFree ? "clipboard free" : "clipboard held elsewhere");
        fakes.messageBox.shown.clear();
        fakes.clipboard.available = clipboardFree;
        fakes.clipboard.content = "before";
        Click(dialog, LoginDlg::SupportButton);

        EXPECT_EQ(fakes.clipboard.content, clipboardFree ? kSupportQq : QStringLiteral("before"));
        ASSERT_EQ(fakes.messageBox.shown.size(), 1u);
        const platform::MessageBoxRequest &shown = fakes.messageBox.shown[0];
        EXPECT_EQ(shown.text, QStringLiteral("客服QQ是:") + kSupportQq +
                                  QStringLiteral("  号码已经自动复制到你的剪贴板"));
        EXPECT_EQ(shown.caption, QStringLiteral("提示"));
        EXPECT_EQ(shown.icon, MessageIcon::None);
        EXPECT_EQ(shown.buttons, platform::MessageButtons::Ok);
        EXPECT_TRUE(stillOpen());
    }
    EXPECT_EQ(fakes.clipboard.writes, 1);
    EXPECT_FALSE(kSupportQq.isEmpty());
    EXPECT_TRUE(
        std::all_of(kSupportQq.begin(), kSupportQq.end(), [](QChar c) { return c >= u'0' && c <= u'9'; }));
}

TEST_F(LoginDlgTest, AccountButtonRunsTheAccountDialogAndStaysOpen)
{
    CannedHttpServer server([](const QByteArray &) { return CannedHttpServer::ok("0"); });
    useServer(server);

    // First opened and cancelled, then used to create an account.
    QString title, qqBox;
    {
        ModalDriver driver([&] { return dialog.findChild<CAccountAddDlg *>() != nullptr; },
                           [&] {
                               auto *add = dialog.findChild<CAccountAddDlg *>();
                               title = add->windowTitle();
                               qqBox = add->itemText(CAccountAddDlg::QqEdit);
                               Click(*add, platform::IDCANCEL);
                           });
        Click(dialog, LoginDlg::NewAccountButton);
        EXPECT_TRUE(driver.acted);
        EXPECT_FALSE(driver.timedOut);
    }
    EXPECT_EQ(title, QStringLiteral("创建账号"));
    EXPECT_EQ(qqBox, kQqHint);
    EXPECT_EQ(dialog.findChild<CAccountAddDlg *>(), nullptr) << "destroyed once closed";
    EXPECT_TRUE(server.targets().isEmpty());
    EXPECT_TRUE(stillOpen());

    {
        ModalDriver driver([&] { return dialog.findChild<CAccountAddDlg *>() != nullptr; },
                           [&] {
                               auto *add = dialog.findChild<CAccountAddDlg *>();
                               add->control<QLineEdit>(CAccountAddDlg::UserNameEdit)->setText("frank");
                               add->control<QLineEdit>(CAccountAddDlg::PasswordEdit)->setText("pw1");
                               add->control<QLineEdit>(CAccountAddDlg::RepeatEdit)->setText("pw1");
                               add->control<QLineEdit>(CAccountAddDlg::QqEdit)->setText("12345");
                               Click(*add, platform::IDOK);
                           });
        Click(dialog, LoginDlg::NewAccountButton);
        EXPECT_TRUE(driver.acted);
        EXPECT_FALSE(driver.timedOut);
    }
    ASSERT_EQ(server.targets().size(), 1);
    EXPECT_TRUE(server.targets().front().startsWith(kAccountAddPath));
    // The account dialog reports through the login dialog's services.
    ASSERT_EQ(fakes.messageBox.shown.size(), 1u);
    EXPECT_EQ(fakes.messageBox.shown[0].caption, QStringLiteral("提示"));
    EXPECT_EQ(fakes.messageBox.shown[0].icon, MessageIcon::Information);
    // The new account is not logged in; the user types it into the login dialog.
    EXPECT_TRUE(stillOpen());
    EXPECT_TRUE(box(LoginDlg::UserNameEdit)->text().isEmpty());
    EXPECT_EQ(state().loginCode, -1);
    EXPECT_TRUE(state().userName.isEmpty());
}
