#include <gtest/gtest.h>

#include <QDateTime>

#include "service/store/AccountStore.h"
#include "service/guard/LoginThrottle.h"
#include "service/web/ReplayGuard.h"
#include "service/web/SignUpLimit.h"
#include "tests/support/ServiceTestSupport.h"
#include "webproto/WebProtocol.h"
#include "webproto/WebText.h"

using namespace ServiceTest;

namespace {

// A request target: an endpoint of the web protocol and a query.
QByteArray at(const char *path, const QByteArray &query)
{
    return QByteArray(path) + '?' + query;
}

ServiceLimits smallLimits()
{
    ServiceLimits limits = LocalService::testLimits();
    limits.accountFreeFailures = 2;
    limits.accountLockFailures = 5;
    limits.addressFreeFailures = 4;
    limits.addressLockFailures = 8;
    limits.loginFirstDelayMs = 1000;
    limits.loginLockSecs = 600;
    limits.signUpsPerAddress = 3;
    limits.signUpWindowSecs = 3600;
    return limits;
}

TEST(LoginThrottle, DelaysDoubleThenTheNameIsLockedForTheLockTime)
{
    qint64 now = 0;
    LoginThrottle throttle(smallLimits(), [&] { return now; });
    const QString addr = QStringLiteral("10.0.0.1");
    // Two free failures, then waits of 1 s and 2 s, then the lock.
    const struct {
        qint64 waitBeforeMs; // after the previous failure
        bool allowed;
    } steps[] = {{0, true},     {0, true},    {0, false},   {999, false},    {1000, true},
                 {1999, false}, {2000, true}, {4000, true}, {599999, false}, {600000, true}};
    int step = 0;
    for (const auto &s : steps) {
        const qint64 last = now;
        now = last + s.waitBeforeMs;
        EXPECT_EQ(throttle.allows(QStringLiteral("alice"), addr), s.allowed) << "step " << step;
        if (s.allowed)
            throttle.failed(QStringLiteral("alice"), addr);
        else
            now = last; // a refused attempt counts nothing and moves no clock
        ++step;
    }
    // The name in other letters is the same name.
    throttle.failed(QStringLiteral("alice"), addr);
    throttle.failed(QStringLiteral("alice"), addr);
    EXPECT_FALSE(throttle.allows(QStringLiteral("ALICE"), QStringLiteral("10.0.0.2")));
    // A good password clears the name's failures.
    now += 600000;
    ASSERT_TRUE(throttle.allows(QStringLiteral("alice"), addr));
    throttle.succeeded(QStringLiteral("Alice"));
    for (int i = 0; i < 2; ++i) {
        EXPECT_TRUE(throttle.allows(QStringLiteral("alice"), QStringLiteral("10.0.0.3")));
        throttle.failed(QStringLiteral("alice"), QStringLiteral("10.0.0.3"));
    }
}

TEST(LoginThrottle, OneAddressGuessingManyNamesIsHeldBackAlone)
{
    qint64 now = 0;
    LoginThrottle throttle(smallLimits(), [&] { return now; });
    int allowed = 0;
    for (int i = 0; i < 50; ++i) {
        const QString user = QStringLiteral("user%1").arg(i);
        if (throttle.allows(user, QStringLiteral("10.0.0.9"))) {
            ++allowed;
            throttle.failed(user, QStringLiteral("10.0.0.9"));
        }
    }
    EXPECT_EQ(allowed, smallLimits().addressFreeFailures);
    EXPECT_TRUE(throttle.allows(QStringLiteral("user0"), QStringLiteral("10.0.0.10")));
}

TEST(ReplayGuard, AQueryIsAcceptedOnceAndTheRecordHasABound)
{
    ReplayGuard guard(3, 300);
    const qint64 t = 1'700'000'000;
    using R = ReplayGuard::Result;
    EXPECT_EQ(guard.admit(QStringLiteral("alice"), t, QStringLiteral("7"), QStringLiteral("ab"), t),
              R::Fresh);
    EXPECT_EQ(guard.admit(QStringLiteral("alice"), t, QStringLiteral("7"), QStringLiteral("AB"), t + 5),
              R::Replayed);
    EXPECT_EQ(guard.admit(QStringLiteral("alice"), t, QStringLiteral("8"), QStringLiteral("cd"), t),
              R::Fresh);
    EXPECT_EQ(guard.admit(QStringLiteral("bob"), t, QStringLiteral("7"), QStringLiteral("ab"), t), R::Fresh);
    // Full: a new query is refused, not an old one forgotten early.
    EXPECT_EQ(guard.admit(QStringLiteral("carol"), t, QStringLiteral("1"), QStringLiteral("ef"), t), R::Full);
    EXPECT_EQ(guard.admit(QStringLiteral("alice"), t, QStringLiteral("7"), QStringLiteral("ab"), t + 300),
              R::Replayed);
    // Once the time is outside the window (refused by the time check anyway), room returns.
    EXPECT_EQ(
        guard.admit(QStringLiteral("carol"), t + 301, QStringLiteral("1"), QStringLiteral("ef"), t + 301),
        R::Fresh);
}

TEST(SignUpLimit, CountsPerAddressInASlidingWindow)
{
    SignUpLimit limit(3, 3600);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(limit.admit(QStringLiteral("10.0.0.1"), 1000 + i));
    EXPECT_FALSE(limit.admit(QStringLiteral("10.0.0.1"), 2000));
    EXPECT_TRUE(limit.admit(QStringLiteral("10.0.0.2"), 2000));
    EXPECT_FALSE(limit.admit(QStringLiteral("10.0.0.1"), 999 + 3600));
    EXPECT_TRUE(limit.admit(QStringLiteral("10.0.0.1"), 1000 + 3600)); // the first has left the window
}

// The whole service with small limits and a clock of the test's own.
class LoginDefence : public ::testing::Test {
protected:
    void SetUp() override
    {
        service.options.limits = smallLimits();
        ASSERT_TRUE(service.start()) << service->errorString().toStdString();
        service->throttle().setClock([this] { return clockMs; });
        ASSERT_NE(seedAccount(service, sampleAccount(QStringLiteral("alice"), QStringLiteral("secret1"))), 0);
    }
    QString webLogin(const QString &user, const QString &password, const char *from)
    {
        const QByteArray query =
            signedQuery(user, password, QStringLiteral("1"), QDateTime::currentSecsSinceEpoch());
        return rawHttpGet(service->webPort(), at(WebProtocol::Path::Login, query),
                          QHostAddress(QLatin1String(from)))
            .text();
    }

    LocalService service;
    qint64 clockMs = 0;
};

TEST_F(LoginDefence, DataLoginsAreHeldBackAfterFailuresEvenWithTheRightPassword)
{
    DataClient client(service->dataPort());
    ASSERT_NE(client.next<MsgConnected>(), nullptr);
    const auto attempt = [&](const char *password) {
        MsgUserLoginReq req;
        req.body.set_username("alice");
        req.body.set_password(password);
        client.send(req);
        const auto ack = client.next<MsgUserLoginAck>();
        return ack ? std::pair{ack->body.code(), QString::fromStdString(ack->body.info())}
                   : std::pair{-1, QString()};
    };
    // Guessing on one connection: two free failures, then held back.
    EXPECT_EQ(attempt("guess1").second, QStringLiteral("用户名或密码错误"));
    EXPECT_EQ(attempt("guess2").second, QStringLiteral("用户名或密码错误"));
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(attempt("guess3"), std::pair(1, QStringLiteral("登录失败次数过多，请稍后再试")));
    EXPECT_EQ(attempt("secret1").first, 1);
    clockMs += 1000;
    EXPECT_EQ(attempt("secret1").first, 0);
}

TEST_F(LoginDefence, WebLoginsAreHeldBackPerNameAndPerAddress)
{
    for (int i = 0; i < 2; ++i)
        EXPECT_TRUE(webLogin(QStringLiteral("alice"), QStringLiteral("wrong"), "127.0.0.2")
                        .startsWith(QStringLiteral("1|用户名或密码错误")));
    const QString held = webLogin(QStringLiteral("alice"), QStringLiteral("secret1"), "127.0.0.3");
    EXPECT_TRUE(held.startsWith(QStringLiteral("1|登录失败次数过多"))) << held.toStdString();
    clockMs += 1000;
    EXPECT_TRUE(webLogin(QStringLiteral("alice"), QStringLiteral("secret1"), "127.0.0.3")
                    .startsWith(QStringLiteral("0|")));

    // One address trying many names runs into its own limit; others do not.
    int answered = 0;
    for (int i = 0; i < 12; ++i) {
        const QString reply = webLogin(QStringLiteral("nobody%1").arg(i), QStringLiteral("pw"), "127.0.0.4");
        answered += reply.contains(QStringLiteral("用户名或密码错误")) ? 1 : 0;
    }
    EXPECT_EQ(answered, smallLimits().addressFreeFailures);
    EXPECT_TRUE(webLogin(QStringLiteral("alice"), QStringLiteral("secret1"), "127.0.0.5")
                    .startsWith(QStringLiteral("0|")));
}

TEST_F(LoginDefence, SignedQueriesAreAcceptedOnce)
{
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    const QByteArray login =
        signedQuery(QStringLiteral("alice"), QStringLiteral("secret1"), QStringLiteral("2"), now);
    EXPECT_TRUE(rawHttpGet(service->webPort(), at(WebProtocol::Path::Login, login))
                    .text()
                    .startsWith(QStringLiteral("0|")));
    const QString again = rawHttpGet(service->webPort(), at(WebProtocol::Path::Login, login)).text();
    EXPECT_NE(WebText::SplitText(again, QLatin1Char('|')).value(0), QStringLiteral("0"))
        << again.toStdString();

    // A captured add, sent again after the address was deleted, adds nothing.
    const QByteArray add =
        signedQuery(QStringLiteral("alice"), QStringLiteral("secret1"), QStringLiteral("2"), now) +
        "&monitor_url=http://a.example&monitor_type=1&monitor_remark=r&monitor_publishing=1&jinminhou=0";
    EXPECT_TRUE(rawHttpGet(service->webPort(), at(WebProtocol::Path::AddDomain, add))
                    .text()
                    .startsWith(QStringLiteral("0|")));
    const QByteArray del =
        signedQuery(QStringLiteral("alice"), QStringLiteral("secret1"), QStringLiteral("2"), now) +
        "&monitor_url=http://a.example";
    EXPECT_TRUE(rawHttpGet(service->webPort(), at(WebProtocol::Path::DelDomain, del))
                    .text()
                    .startsWith(QStringLiteral("0|")));
    EXPECT_FALSE(rawHttpGet(service->webPort(), at(WebProtocol::Path::AddDomain, add))
                     .text()
                     .startsWith(QStringLiteral("0|")));
    const QByteArray list =
        signedQuery(QStringLiteral("alice"), QStringLiteral("secret1"), QStringLiteral("2"), now);
    EXPECT_FALSE(rawHttpGet(service->webPort(), at(WebProtocol::Path::GetUserDomainInfo, list))
                     .text()
                     .contains(QStringLiteral("a.example")));
}

TEST_F(LoginDefence, SignUpsArePacedPerAddress)
{
    const auto signUp = [&](const QString &user, const char *from) {
        const QByteArray query =
            WebProtocol::accountAddQuery(user, QStringLiteral("pw1"), QStringLiteral("12345"),
                                         QDateTime::currentSecsSinceEpoch())
                .toLatin1();
        const QByteArray target = QByteArray(WebProtocol::Path::AccountAdd) + '?' + query;
        return rawHttpGet(service->webPort(), target, QHostAddress(QLatin1String(from))).text();
    };
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(signUp(QStringLiteral("new%1").arg(i), "127.0.0.6"), QStringLiteral("0"));
    const QString refused = signUp(QStringLiteral("new9"), "127.0.0.6");
    EXPECT_NE(refused, QStringLiteral("0"));
    EXPECT_FALSE(service->accounts().account(QStringLiteral("new9")).has_value());
    EXPECT_EQ(signUp(QStringLiteral("new9"), "127.0.0.7"), QStringLiteral("0"));
}

} // namespace
