#include <gtest/gtest.h>

#include <chrono>

#include <QCryptographicHash>
#include <QDateTime>
#include <QLineEdit>
#include <QPushButton>
#include <QStringEncoder>
#include <QTest>

#include "tests/support/CannedWebFixture.h"
#include "account/dialogs/AccountAddDlg.h"
#include "tests/support/RecordingServices.h"

using namespace std::chrono_literals;
using platform::MessageIcon;

namespace {

constexpr qint64 kNow = 1'700'000'000;

const QString kCreated = QStringLiteral("成功！  \n你的账号为:");
const QString kTaken = QStringLiteral("账号已存在或其他未知错误！");
const QString kNoServer = QStringLiteral("连接服务器失败，请稍后再试！");

// The service's key: MD5 over the GBK bytes of the raw texts, worked out here
// without the client's own digest helper.
QString ExpectedKey(const QString &user, const QString &password, qint64 time)
{
    QStringEncoder gbk("GBK");
    const QByteArray bytes = gbk.encode(QStringLiteral("20160524") + user + password + QString::number(time));
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
}

// The query's keys in the order they arrived, with their decoded values.
std::vector<std::pair<QByteArray, QString>> QueryPairs(const QByteArray &target)
{
    std::vector<std::pair<QByteArray, QString>> pairs;
    for (const QByteArray &pair : target.mid(target.indexOf('?') + 1).split('&')) {
        const qsizetype equals = pair.indexOf('=');
        pairs.emplace_back(pair.left(equals), decodeQueryValue(pair.mid(equals + 1)));
    }
    return pairs;
}

} // namespace

class AccountAddDlgTest : public CannedWebFixture {
protected:
    void SetUp() override
    {
        CannedWebFixture::SetUp();
        ServiceBase::Instance().setTimeouts(HttpTimeouts{2000ms, 5000ms});
        dialog.setClock([] { return kNow; });
        ASSERT_TRUE(dialog.Create());
        dialog.show();
    }

    QLineEdit *box(int id) const { return dialog.control<QLineEdit>(id); }

    // Types into the boxes as a user would; a null QQ leaves the hint in place.
    void fill(const QString &user, const QString &password, const QString &repeat,
              const QString &qq = QString())
    {
        box(CAccountAddDlg::UserNameEdit)->setText(user);
        box(CAccountAddDlg::PasswordEdit)->setText(password);
        box(CAccountAddDlg::RepeatEdit)->setText(repeat);
        if (!qq.isNull())
            box(CAccountAddDlg::QqEdit)->setText(qq);
    }
    void clickButton(int id) { QTest::mouseClick(dialog.control<QPushButton>(id), Qt::LeftButton); }

    bool stillOpen() const { return dialog.isVisible() && dialog.result() == 0; }

    platform::RecordingServices fakes;
    platform::ServicesOverride fakesInstalled{fakes.services()};
    CAccountAddDlg dialog;
};

TEST_F(AccountAddDlgTest, OpensWithTheQqHintAndTheBoxLimits)
{
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("创建账号"));
    EXPECT_EQ(box(CAccountAddDlg::QqEdit)->text(), kQqHint);
    EXPECT_EQ(box(CAccountAddDlg::UserNameEdit)->text(), QString());
    EXPECT_EQ(box(CAccountAddDlg::UserNameEdit)->maxLength(), 10);
    EXPECT_EQ(box(CAccountAddDlg::PasswordEdit)->maxLength(), 10);
    EXPECT_EQ(box(CAccountAddDlg::RepeatEdit)->maxLength(), 10);
    EXPECT_EQ(box(CAccountAddDlg::QqEdit)->maxLength(), 20);
    EXPECT_EQ(box(CAccountAddDlg::PasswordEdit)->echoMode(), QLineEdit::Normal) << "passwords are shown";

    // Typing into the QQ box keeps digits only.
    QLineEdit *qq = box(CAccountAddDlg::QqEdit);
    qq->clear();
    QTest::keyClicks(qq, QStringLiteral("12a3-4 5"));
    EXPECT_EQ(qq->text(), QStringLiteral("12345"));
}

TEST_F(AccountAddDlgTest, RequestCarriesTheKeyAndEncodedValues)
{
    CannedHttpServer server([](const QByteArray &) { return CannedHttpServer::ok("0"); });
    useServer(server);
    // "&", a space and a Chinese character must survive the trip.
    const QString password = QStringLiteral("p&w 密=1");
    fill("alice7", password, password, "123456789");
    clickButton(platform::IDOK);

    ASSERT_EQ(server.targets().size(), 1);
    const QByteArray target = server.targets().front();
    EXPECT_TRUE(target.startsWith("/tongji/account_add_1_1.asp?time=1700000000&user=alice7&pass="))
        << target.constData();
    const std::vector<std::pair<QByteArray, QString>> expected = {
        {"time", "1700000000"}, {"user", "alice7"},
        {"pass", password},     {"key", ExpectedKey("alice7", password, kNow)},
        {"qq", "123456789"},
    };
    EXPECT_EQ(QueryPairs(target), expected);
    EXPECT_FALSE(target.contains(' '));

    ASSERT_EQ(fakes.messageBox.shown.size(), 1u);
    EXPECT_EQ(fakes.messageBox.shown[0].text, kCreated + "alice7\n密码为:" + password);
}

TEST_F(AccountAddDlgTest, KeyUsesTheCurrentTimeByDefault)
{
    CannedHttpServer server([](const QByteArray &) { return CannedHttpServer::ok("0"); });
    useServer(server);
    CAccountAddDlg fresh; // its own clock, not the fixture's fixed one
    ASSERT_TRUE(fresh.Create());
    fresh.control<QLineEdit>(CAccountAddDlg::UserNameEdit)->setText("bob");
    fresh.control<QLineEdit>(CAccountAddDlg::PasswordEdit)->setText("pw");
    fresh.control<QLineEdit>(CAccountAddDlg::RepeatEdit)->setText("pw");
    fresh.control<QLineEdit>(CAccountAddDlg::QqEdit)->setText("10001");

    const qint64 before = QDateTime::currentSecsSinceEpoch();
    fresh.sendCommand(platform::IDOK);
    const qint64 after = QDateTime::currentSecsSinceEpoch();

    ASSERT_EQ(server.targets().size(), 1);
    const QByteArray target = server.targets().front();
    const qint64 time = QueryParameter(target, "time").toLongLong();
    EXPECT_GE(time, before);
    EXPECT_LE(time, after);
    EXPECT_EQ(QueryParameter(target, "key"), ExpectedKey("bob", "pw", time));
    EXPECT_EQ(fresh.result(), platform::IDOK);
}

struct ReplyCase {
    const char *name;
    CannedHttpServer::Reply reply;
    QString text; // null: the success text
    QString caption;
    MessageIcon icon;
    bool closes;
};

void PrintTo(const ReplyCase &c, std::ostream *os)
{
    *os << c.name;
}

class AccountAddReply : public AccountAddDlgTest, public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(AccountAddReply, ShowsItsOutcome)
{
    const ReplyCase &c = GetParam();
    CannedHttpServer server([&](const QByteArray &) { return c.reply; });
    useServer(server);
    fill("carol", "Pass1", "Pass1", "55555");
    clickButton(platform::IDOK);

    EXPECT_EQ(server.targets().size(), 1);
    ASSERT_EQ(fakes.messageBox.shown.size(), 1u);
    const platform::MessageBoxRequest &shown = fakes.messageBox.shown[0];
    EXPECT_EQ(shown.text, c.text.isNull() ? kCreated + "carol\n密码为:Pass1" : c.text);
    EXPECT_EQ(shown.caption, c.caption);
    EXPECT_EQ(shown.icon, c.icon);
    EXPECT_EQ(shown.buttons, platform::MessageButtons::Ok);
    EXPECT_EQ(shown.parent, &dialog);
    if (c.closes) {
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(dialog.result(), platform::IDOK);
    } else {
        EXPECT_TRUE(stillOpen());
        EXPECT_EQ(box(CAccountAddDlg::UserNameEdit)->text(), QStringLiteral("carol")) << "input kept";
    }
}

using R = CannedHttpServer;
INSTANTIATE_TEST_SUITE_P(
    AccountAdd, AccountAddReply,
    ::testing::Values(
        ReplyCase{"Created", R::ok("0"), QString(), "提示", MessageIcon::Information, true},
        ReplyCase{"OtherCode", R::ok("1"), kTaken, "错误", MessageIcon::Stop, false},
        ReplyCase{"EmptyReply", R::ok(""), kTaken, "错误", MessageIcon::Stop, false},
        ReplyCase{"ZeroWithTail", R::ok("0 "), kTaken, "错误", MessageIcon::Stop, false},
        ReplyCase{"DoubleZero", R::ok("00"), kTaken, "错误", MessageIcon::Stop, false},
        ReplyCase{"ServerError", R::withStatus(500, "0"), kNoServer, "错误", MessageIcon::Stop, false},
        ReplyCase{"NotFound", R::withStatus(404, ""), kNoServer, "错误", MessageIcon::Stop, false}),
    [](const ::testing::TestParamInfo<ReplyCase> &info) { return info.param.name; });

TEST_F(AccountAddDlgTest, NoServerStaysOpen)
{
    quint16 closedPort;
    {
        CannedHttpServer gone([](const QByteArray &) { return CannedHttpServer::ok("0"); });
        closedPort = gone.port();
    }
    ServiceBase::Instance().setEndpoint("127.0.0.1", closedPort);
    fill("carol", "Pass1", "Pass1", "55555");
    clickButton(platform::IDOK);

    ASSERT_EQ(fakes.messageBox.shown.size(), 1u);
    EXPECT_EQ(fakes.messageBox.shown[0].text, kNoServer);
    EXPECT_EQ(fakes.messageBox.shown[0].caption, QStringLiteral("错误"));
    EXPECT_EQ(fakes.messageBox.shown[0].icon, MessageIcon::Stop);
    EXPECT_TRUE(stillOpen());

    // The user may try again once the service answers.
    CannedHttpServer server([](const QByteArray &) { return CannedHttpServer::ok("0"); });
    useServer(server);
    clickButton(platform::IDOK);
    EXPECT_EQ(server.targets().size(), 1);
    EXPECT_EQ(dialog.result(), platform::IDOK);
}

struct RefusedCase {
    const char *name;
    QString user, password, repeat, qq; // null QQ: the hint left in place
    QString message;
};

void PrintTo(const RefusedCase &c, std::ostream *os)
{
    *os << c.name;
}

class AccountAddRefused : public AccountAddDlgTest, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(AccountAddRefused, ShowsTheCheckAndMakesNoRequest)
{
    const RefusedCase &c = GetParam();
    CannedHttpServer server([](const QByteArray &) { return CannedHttpServer::ok("0"); });
    useServer(server);
    fill(c.user, c.password, c.repeat, c.qq);
    clickButton(platform::IDOK);

    ASSERT_EQ(fakes.messageBox.shown.size(), 1u);
    EXPECT_EQ(fakes.messageBox.shown[0].text, c.message);
    EXPECT_EQ(fakes.messageBox.shown[0].caption, QStringLiteral("错误"));
    EXPECT_EQ(fakes.messageBox.shown[0].icon, MessageIcon::Stop);
    EXPECT_TRUE(server.targets().isEmpty());
    EXPECT_TRUE(stillOpen());
}

INSTANTIATE_TEST_SUITE_P(
    AccountAdd, AccountAddRefused,
    ::testing::Values(
        RefusedCase{"NothingTyped", "", "", "", QString(), "输入有误，请确认！"},
        RefusedCase{"UntouchedQqHint", "dave", "pw1", "pw1", QString(), "QQ输入不正确请确认！"},
        RefusedCase{"FourDigitQq", "dave", "pw1", "pw1", "1234", "QQ号码必须为全数字！"},
        RefusedCase{"MismatchBeforeBadUserName", "da_ve", "pw1", "pw2", "12345",
                    "两次输入密码不一致，请重新输入！"},
        RefusedCase{"ChineseUserName", "大卫", "pw1", "pw1", "12345", "账号必须以英文字母和数字组成！"},
        RefusedCase{"UserNameEqualsPassword", "dave1", "dave1", "dave1", "12345", "账号密码不能一样！"}),
    [](const ::testing::TestParamInfo<RefusedCase> &info) { return info.param.name; });

TEST_F(AccountAddDlgTest, EnterInABoxActsLikeOk)
{
    CannedHttpServer server([](const QByteArray &) { return CannedHttpServer::ok("0"); });
    useServer(server);
    fill("erin", "pw1", "pw1", "12345");
    QTest::keyClick(box(CAccountAddDlg::QqEdit), Qt::Key_Return);

    EXPECT_EQ(server.targets().size(), 1);
    EXPECT_EQ(dialog.result(), platform::IDOK);
}

TEST_F(AccountAddDlgTest, CancelMakesNoRequest)
{
    CannedHttpServer server([](const QByteArray &) { return CannedHttpServer::ok("0"); });
    useServer(server);
    fill("erin", "pw1", "pw1", "12345");
    clickButton(platform::IDCANCEL);

    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), platform::IDCANCEL);
    EXPECT_TRUE(server.targets().isEmpty());
    EXPECT_TRUE(fakes.messageBox.shown.empty());
}
