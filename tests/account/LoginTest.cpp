#include <gtest/gtest.h>

#include <thread>

#include <QCryptographicHash>

#include "tests/support/CannedWebFixture.h"
#include "account/ServiceBase.h"

namespace {

const QString kZhangSan = QStringLiteral("\u5f20\u4e09"); // GBK D5C5 C8FD

} // namespace

class SignedQuery : public CannedWebFixture {};

TEST_F(SignedQuery, CheckDigestOverTheRawTexts)
{
    ServiceBase service;
    service.setClock([] { return qint64(1'500'000'000); });
    service.setRandom([] { return 12345; });

    // The digest is taken over the GBK bytes of the unencoded texts.
    const QByteArray digested =
        QByteArray("\xD5\xC5\xC8\xFD") + "p&w 1" + "1" + "2016-11-27" + "25000000" + "12345" + "1500000000";
    const QByteArray check = QCryptographicHash::hash(digested, QCryptographicHash::Md5).toHex();

    EXPECT_EQ(service.BuildSignedQuery("1", kZhangSan, "p&w 1"),
              "user=%D5%C5%C8%FD&pass=p%26w%201&type=1&rand=12345&time=1500000000&check=" +
                  QString::fromLatin1(check));
}

TEST_F(SignedQuery, FreshTimeAndRandomForEveryQuery)
{
    ServiceBase service;
    qint64 now = 1'000'000'019;
    int rand = 7;
    service.setClock([&] { return now; });
    service.setRandom([&] { return rand; });

    const QString first = service.BuildSignedQuery("2", "user", "pass");
    ++now; // the next second, even the same minute
    const QString nextSecond = service.BuildSignedQuery("2", "user", "pass");
    rand = 8;
    const QString otherRand = service.BuildSignedQuery("2", "user", "pass");

    EXPECT_NE(first, nextSecond);
    EXPECT_NE(QueryParameter(first.toLatin1(), "check"), QueryParameter(nextSecond.toLatin1(), "check"));
    EXPECT_EQ(QueryParameter(nextSecond.toLatin1(), "time"), QStringLiteral("1000000020"));
    EXPECT_EQ(QueryParameter(otherRand.toLatin1(), "rand"), QStringLiteral("8"));
    EXPECT_NE(QueryParameter(nextSecond.toLatin1(), "check"), QueryParameter(otherRand.toLatin1(), "check"));
}

TEST_F(SignedQuery, SystemRandomStaysInRange)
{
    for (int i = 0; i < 200; ++i) {
        const int rand = QueryParameter(BuildSignedQuery("2", "u", "p").toLatin1(), "rand").toInt();
        ASSERT_GE(rand, 0);
        ASSERT_LE(rand, 32767);
    }
}

TEST(ParseLeadingInt, ReadsLikeStrtol)
{
    EXPECT_EQ(parseLeadingInt("0"), 0);
    EXPECT_EQ(parseLeadingInt("  -12abc"), -12);
    EXPECT_EQ(parseLeadingInt("+7"), 7);
    EXPECT_EQ(parseLeadingInt("abc"), 0);
    EXPECT_EQ(parseLeadingInt(""), 0);
    EXPECT_EQ(parseLeadingInt("- 5"), 0);
    EXPECT_EQ(parseLeadingInt("99999999999"), INT_MAX);
    EXPECT_EQ(parseLeadingInt("-99999999999"), INT_MIN);
}

struct LoginCase {
    const char *name;
    CannedHttpServer::Reply reply;
    bool result;
    int loginCode;
    QString loginMessage;
    QString mailbox;
    QString noticeText;
    QString linkUrl;
    QString pageUrl;
    bool storesCredentials;
    LoginResult::Outcome outcome;
};

class LoginReply : public CannedWebFixture, public ::testing::WithParamInterface<LoginCase> {};

TEST_P(LoginReply, SetsTheAccountFields)
{
    const LoginCase &c = GetParam();
    CannedHttpServer server([&](const QByteArray &) { return c.reply; });
    useServer(server);
    state().loginMessage = "old message";
    state().mailbox = "old mail";
    state().noticeText = "old notice";
    state().linkUrl = "old link";
    state().pageUrl = "old page";

    const LoginResult result = Login("alice", "secret", "1");
    EXPECT_EQ(result.outcome, c.outcome);
    EXPECT_EQ(result.answered(), c.result);
    EXPECT_EQ(result.loggedIn(), c.storesCredentials);
    // The result carries exactly what the account took; a field it lacks is one the account kept.
    EXPECT_EQ(result.code, c.loginCode);
    EXPECT_EQ(result.outcome == LoginResult::Refused ? result.message : QStringLiteral("old message"),
              c.loginMessage);
    EXPECT_EQ(result.loggedIn() ? result.mailbox : QStringLiteral("old mail"), c.mailbox);
    EXPECT_EQ(result.noticeText.value_or("old notice"), c.noticeText);
    EXPECT_EQ(result.linkUrl.value_or("old link"), c.linkUrl);
    EXPECT_EQ(result.pageUrl.value_or("old page"), c.pageUrl);
    EXPECT_EQ(state().loginCode, c.loginCode);
    EXPECT_EQ(state().loginMessage, c.loginMessage);
    EXPECT_EQ(state().mailbox, c.mailbox);
    EXPECT_EQ(state().noticeText, c.noticeText);
    EXPECT_EQ(state().linkUrl, c.linkUrl);
    EXPECT_EQ(state().pageUrl, c.pageUrl);
    EXPECT_EQ(state().userName, c.storesCredentials ? QStringLiteral("alice") : QString());
    EXPECT_EQ(state().password, c.storesCredentials ? QStringLiteral("secret") : QString());

    ASSERT_EQ(server.targets().size(), 1);
    const QByteArray target = server.targets().front();
    EXPECT_TRUE(
        target.startsWith("/tongji/common_login_for_monitor/login.asp?user=alice&pass=secret&type=1&rand="));
}

using R = CannedHttpServer;
INSTANTIATE_TEST_SUITE_P(
    Login, LoginReply,
    ::testing::Values(LoginCase{"CodeAndText", R::ok("3|\xC3\xDC\xC2\xEB\xB4\xED\xCE\xF3"), true, 3,
                                QStringLiteral("\u5bc6\u7801\u9519\u8bef"), "old mail", "old notice",
                                "old link", "old page", false, LoginResult::Refused},
                      LoginCase{"CodeAlone", R::ok("12"), true, 12, "12", "old mail", "old notice",
                                "old link", "old page", false, LoginResult::Refused},
                      LoginCase{"CodeAloneWithSeparator", R::ok("-4|"), true, -4, "-4", "old mail",
                                "old notice", "old link", "old page", false, LoginResult::Refused},
                      LoginCase{"CodeAndTwoTexts", R::ok("5|a|b"), true, 5, "5", "old mail", "old notice",
                                "old link", "old page", false, LoginResult::Refused},
                      LoginCase{"CodeWithBlanksAndTail", R::ok(" 7x|why"), true, 7, "why", "old mail",
                                "old notice", "old link", "old page", false, LoginResult::Refused},
                      LoginCase{"FiveFields", R::ok("0|1|2|3|a@qq.com"), true, 0, "old message", "a@qq.com",
                                "old notice", "old link", "old page", true, LoginResult::LoggedIn},
                      LoginCase{"SixFields", R::ok("0|1|2|3|a@qq.com|notice"), true, 0, "old message",
                                "a@qq.com", "notice", "old link", "old page", true, LoginResult::LoggedIn},
                      LoginCase{"EightFields", R::ok("0|1|2|3|m|n|link|7"), true, 0, "old message", "m", "n",
                                "link", "old page", true, LoginResult::LoggedIn},
                      LoginCase{"ElevenFieldsAndMore", R::ok("0|1|2|3|m|n|link|7|page|9|10|11"), true, 0,
                                "old message", "m", "n", "link", "page", true, LoginResult::LoggedIn},
                      LoginCase{"EmptyMailboxShiftsLeft", R::ok("0|1|2|3||n|link|7|page"), true, 0,
                                "old message", "n", "link", "7", "old page", true, LoginResult::LoggedIn},
                      LoginCase{"SuccessWithFourFields", R::ok("0|1|2|3"), false, 0, "old message",
                                "old mail", "old notice", "old link", "old page", false,
                                LoginResult::Incomplete},
                      LoginCase{"SuccessWithTwoFields", R::ok("0|1"), false, 0, "old message", "old mail",
                                "old notice", "old link", "old page", false, LoginResult::Incomplete},
                      LoginCase{"OneCharacter", R::ok("0"), false, -1, "old message", "old mail",
                                "old notice", "old link", "old page", false, LoginResult::NoReply},
                      LoginCase{"OnlySeparators", R::ok("|||"), false, -1, "old message", "old mail",
                                "old notice", "old link", "old page", false, LoginResult::NoReply},
                      LoginCase{"Empty", R::ok(""), false, -1, "old message", "old mail", "old notice",
                                "old link", "old page", false, LoginResult::NoReply},
                      LoginCase{"NotFound", R::withStatus(404, "0|1|2|3|m|n"), false, -1, "old message",
                                "old mail", "old notice", "old link", "old page", false,
                                LoginResult::NoReply}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(CannedWebFixture, LoginWithoutCredentialsMakesNoRequest)
{
    CannedHttpServer server([](const QByteArray &) { return CannedHttpServer::ok("0|1|2|3|m"); });
    useServer(server);
    EXPECT_EQ(Login("alice", "", "1").outcome, LoginResult::NotSent);
    EXPECT_EQ(Login("", "secret", "1").outcome, LoginResult::NotSent);
    EXPECT_TRUE(server.targets().isEmpty());
    EXPECT_EQ(state().loginCode, -1);
}

TEST_F(CannedWebFixture, LoginWithUnreachableServiceChangesNothing)
{
    quint16 closedPort;
    {
        CannedHttpServer gone([](const QByteArray &) { return CannedHttpServer::ok(""); });
        closedPort = gone.port();
    }
    ServiceBase::Instance().setEndpoint("127.0.0.1", closedPort);
    state().loginMessage = "kept";
    const LoginResult result = Login("alice", "secret", "2");
    EXPECT_EQ(result.outcome, LoginResult::NoReply);
    EXPECT_EQ(result.code, -1);
    EXPECT_EQ(state().loginCode, -1);
    EXPECT_EQ(state().loginMessage, QStringLiteral("kept"));
}

TEST_F(CannedWebFixture, PeriodicLoginRunsOnItsOwnThread)
{
    CannedHttpServer server([](const QByteArray &) { return CannedHttpServer::ok("0|1|2|3|m@qq.com|news"); });
    useServer(server);
    LoginResult result;
    std::thread refresh([&] { result = Login(kZhangSan, "pw", "2"); });
    refresh.join();
    EXPECT_TRUE(result.loggedIn());
    EXPECT_EQ(state().userName, kZhangSan);
    EXPECT_EQ(state().noticeText, QStringLiteral("news"));
    const QByteArray target = server.targets().value(0);
    EXPECT_EQ(QueryParameter(target, "user"), kZhangSan);
    EXPECT_EQ(QueryParameter(target, "type"), QStringLiteral("2"));
}
