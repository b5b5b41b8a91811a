#include <gtest/gtest.h>

#include <QDateTime>
#include <QImage>
#include <QElapsedTimer>
#include <QTcpSocket>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "service/store/AccountStore.h"
#include "service/web/HttpServer.h"
#include "service/search/SearchPool.h"
#include "tests/support/NonReadingPeer.h"
#include "tests/support/ServiceTestSupport.h"
#include "webproto/WebProtocol.h"
#include "webproto/WebText.h"

using namespace ServiceTest;

namespace {

const QString kLogin = QStringLiteral("/tongji/common_login_for_monitor/login.asp?");
const QString kDomains = QStringLiteral("/tongji/common_login_for_monitor/get_user_domain_info.asp?");
const QString kAdd = QStringLiteral("/tongji/common_login_for_monitor/add_domain.asp?");
const QString kDel = QStringLiteral("/tongji/common_login_for_monitor/del_domain.asp?");

qint64 now()
{
    return QDateTime::currentSecsSinceEpoch();
}

QStringList fields(const QString &reply)
{
    return WebText::SplitText(reply, QLatin1Char('|'));
}

class WebServiceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(service.start()) << service->errorString().toStdString();
        AccountRecord a = sampleAccount(QStringLiteral("alice"), QStringLiteral("secret1"));
        a.qq = QStringLiteral("123456");
        a.mailbox = QStringLiteral("123456@qq.com");
        a.notice = QStringLiteral("今晚维护");
        a.linkUrl = QStringLiteral("http://link.example/"); // an outside address is passed on as it stands
        ASSERT_NE(seedAccount(service, a), 0);
    }

    HttpResult get(const QString &endpoint, const QByteArray &query)
    {
        return httpGet(service.webUrl(endpoint + QString::fromLatin1(query)));
    }
    HttpResult signedGet(const QString &endpoint, const QByteArray &extra = {})
    {
        return get(endpoint, signedQuery(QStringLiteral("alice"), QStringLiteral("secret1"),
                                         QStringLiteral("2"), now()) +
                                 extra);
    }
    QList<QStringList> domainRecords()
    {
        const HttpResult r = signedGet(kDomains);
        EXPECT_EQ(r.status, 200);
        QList<QStringList> records;
        for (const QString &record : WebText::SplitText(r.text(), QLatin1Char('|')))
            records.append(WebText::SplitText(record, QLatin1Char(';')));
        return records;
    }

    LocalService service;
};

TEST_F(WebServiceTest, GoodLoginCarriesAccountFieldsAtTheirPlaces)
{
    const HttpResult r = get(
        kLogin, signedQuery(QStringLiteral("alice"), QStringLiteral("secret1"), QStringLiteral("1"), now()));
    ASSERT_EQ(r.status, 200);
    const QStringList f = fields(r.text());
    ASSERT_GE(f.size(), 9) << r.text().toStdString();
    EXPECT_EQ(f[0], QStringLiteral("0"));
    EXPECT_EQ(f[4], QStringLiteral("123456@qq.com"));
    EXPECT_EQ(f[5], QStringLiteral("今晚维护"));
    EXPECT_EQ(f[6], QStringLiteral("http://link.example/"));
    // The banner page is the service's own, on the address the client used.
    EXPECT_EQ(f[8], QStringLiteral("http://127.0.0.1:%1/banner.html").arg(service->webPort()));
    const HttpResult banner = httpGet(QUrl(f[8]));
    EXPECT_EQ(banner.status, 200);
    EXPECT_TRUE(banner.text().contains(QStringLiteral("Vorlant")));
}

struct LoginCase {
    const char *name;
    QString user;
    QString password;
    qint64 timeOffset;
    bool tamper;
};

class LoginRefusal : public WebServiceTest, public ::testing::WithParamInterface<LoginCase> {};

TEST_P(LoginRefusal, GivesNonZeroCodeAndOneMessage)
{
    const LoginCase &c = GetParam();
    QByteArray query = signedQuery(c.user, c.password, QStringLiteral("1"), now() + c.timeOffset);
    if (c.tamper)
        query.replace("&rand=", "&rand=1"); // another number than the digest was made with
    const HttpResult r = get(kLogin, query);
    ASSERT_EQ(r.status, 200);
    const QStringList f = fields(r.text());
    ASSERT_EQ(f.size(), 2) << r.text().toStdString();
    EXPECT_NE(f[0].toInt(), 0);
    EXPECT_FALSE(f[1].trimmed().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LoginRefusal,
    ::testing::Values(LoginCase{"BadDigest", QStringLiteral("alice"), QStringLiteral("secret1"), 0, true},
                      LoginCase{"StaleTime", QStringLiteral("alice"), QStringLiteral("secret1"), -301, false},
                      LoginCase{"FutureTime", QStringLiteral("alice"), QStringLiteral("secret1"), 400, false},
                      LoginCase{"UnknownUser", QStringLiteral("bob"), QStringLiteral("secret1"), 0, false},
                      LoginCase{"WrongPassword", QStringLiteral("alice"), QStringLiteral("secret2"), 0,
                                false}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(WebServiceTest, TimeWithinFiveMinutesIsAccepted)
{
    for (const qint64 offset : {-290, 290}) {
        const HttpResult r = get(kLogin, signedQuery(QStringLiteral("alice"), QStringLiteral("secret1"),
                                                     QStringLiteral("2"), now() + offset));
        EXPECT_EQ(fields(r.text()).value(0), QStringLiteral("0")) << offset;
    }
}

TEST_F(WebServiceTest, GbkValuesWorkPercentEncodedAndRaw)
{
    AccountRecord a;
    a.user = QStringLiteral("张三");
    a.password = QStringLiteral("密码a1");
    a.qq = QStringLiteral("55555");
    a.mailbox = QStringLiteral("张三@qq.com");
    ASSERT_NE(service->accounts().save(a), 0);

    const HttpResult encoded = get(kLogin, signedQuery(a.user, a.password, QStringLiteral("1"), now()));
    EXPECT_EQ(fields(encoded.text()).value(4), a.mailbox) << encoded.text().toStdString();

    const QByteArray target = "/tongji/common_login_for_monitor/login.asp?" +
                              signedQuery(a.user, a.password, QStringLiteral("1"), now(), true);
    ASSERT_TRUE(target.contains(WebText::toAnsi(a.user))); // really unencoded GBK on the wire
    const HttpResult raw = rawHttpGet(service->webPort(), target);
    EXPECT_EQ(raw.status, 200);
    EXPECT_EQ(fields(raw.text()).value(4), a.mailbox) << raw.text().toStdString();
}

TEST_F(WebServiceTest, RemarkWithAmpersandAndChineseIsKeptIntact)
{
    const QString remark = QStringLiteral("备注&说明 a=b+c%20");
    const HttpResult add =
        signedGet(kAdd, "&monitor_url=" + encodeValue(QStringLiteral("http://www.game.example")) +
                            "&monitor_type=1&monitor_remark=" + encodeValue(remark) +
                            "&monitor_publishing=" + encodeValue(QStringLiteral("站A~站B")) + "&jinminhou=1");
    ASSERT_EQ(fields(add.text()).value(0), QStringLiteral("0")) << add.text().toStdString();
    const QList<QStringList> records = domainRecords();
    ASSERT_EQ(records.size(), 1);
    ASSERT_EQ(records[0].size(), 6);
    EXPECT_EQ(records[0][1], QStringLiteral("http://www.game.example"));
    EXPECT_EQ(records[0][2], QStringLiteral("1"));
    EXPECT_EQ(records[0][3], remark);
    EXPECT_EQ(records[0][4], QStringLiteral("站A~站B"));
    EXPECT_EQ(records[0][5], QStringLiteral("1"));
}

TEST_F(WebServiceTest, EmptyAndSeparatorValuesNeverShiftFields)
{
    signedGet(
        kAdd,
        "&monitor_url=http%3A%2F%2Fa.example&monitor_type=2&monitor_remark=&monitor_publishing=&jinminhou=0");
    signedGet(kAdd, "&monitor_url=http%3A%2F%2Fb.example&monitor_type=3&monitor_remark=x%7Cy%3Bz"
                    "&monitor_publishing=1&jinminhou=1");
    const QList<QStringList> records = domainRecords();
    ASSERT_EQ(records.size(), 2);
    for (const QStringList &r : records)
        EXPECT_EQ(r.size(), 6) << r.join(QLatin1Char(';')).toStdString();
    EXPECT_EQ(records[0][2], QStringLiteral("2"));
    EXPECT_EQ(records[0][4], QStringLiteral("1")); // no selection means every site
    EXPECT_EQ(records[1][2], QStringLiteral("3"));
    EXPECT_EQ(records[1][5], QStringLiteral("1"));
    EXPECT_TRUE(records[1][3].startsWith(QLatin1Char('x')));
}

TEST_F(WebServiceTest, AddReplacesByAddressAndDeleteRemoves)
{
    const QByteArray url = "&monitor_url=" + encodeValue(QStringLiteral("http://www.game.example"));
    signedGet(kAdd, url + "&monitor_type=1&monitor_remark=one&monitor_publishing=1&jinminhou=0");
    signedGet(kAdd, url + "&monitor_type=4&monitor_remark=two&monitor_publishing=1&jinminhou=1");
    QList<QStringList> records = domainRecords();
    ASSERT_EQ(records.size(), 1);
    EXPECT_EQ(records[0][2], QStringLiteral("4"));
    EXPECT_EQ(records[0][3], QStringLiteral("two"));

    EXPECT_EQ(fields(signedGet(kDel, url).text()).value(0), QStringLiteral("0"));
    EXPECT_TRUE(domainRecords().isEmpty());
    EXPECT_NE(fields(signedGet(kDel, url).text()).value(0), QStringLiteral("0"));
}

TEST_F(WebServiceTest, DomainRequestsNeedAValidSignature)
{
    signedGet(kAdd, "&monitor_url=http%3A%2F%2Fa.example&monitor_type=1&monitor_remark=r&monitor_publishing="
                    "1&jinminhou=0");
    const QByteArray wrong =
        signedQuery(QStringLiteral("alice"), QStringLiteral("nope"), QStringLiteral("2"), now());
    const QByteArray stale =
        signedQuery(QStringLiteral("alice"), QStringLiteral("secret1"), QStringLiteral("2"), now() - 3600);
    for (const QByteArray &query : {wrong, stale}) {
        const HttpResult list = get(kDomains, query);
        EXPECT_FALSE(list.text().contains(QStringLiteral("a.example"))) << list.text().toStdString();
        EXPECT_NE(fields(list.text()).value(0).toInt(), 0);
        get(kDel, query + "&monitor_url=http%3A%2F%2Fa.example");
    }
    EXPECT_EQ(domainRecords().size(), 1);
}

struct AccountCase {
    const char *name;
    QString user;
    QString password;
    QString qq;
    qint64 timeOffset;
    bool goodKey;
    bool created;
};

class AccountCreation : public WebServiceTest, public ::testing::WithParamInterface<AccountCase> {};

TEST_P(AccountCreation, FollowsTheRules)
{
    const AccountCase &c = GetParam();
    const QString t = QString::number(now() + c.timeOffset);
    QString key = WebText::Md5Hex(QStringLiteral("20160524") + c.user + c.password + t);
    if (!c.goodKey)
        key = WebText::Md5Hex(QStringLiteral("x") + key);
    const QByteArray query = t.toLatin1() + "&user=" + encodeValue(c.user) +
                             "&pass=" + encodeValue(c.password) + "&key=" + key.toLatin1() +
                             "&qq=" + encodeValue(c.qq);
    const HttpResult r = get(QStringLiteral("/tongji/account_add_1_1.asp?time="), query);
    ASSERT_EQ(r.status, 200);
    EXPECT_EQ(r.text() == QStringLiteral("0"), c.created) << r.text().toStdString();
    AccountStore &accounts = service->accounts();
    if (c.user == QStringLiteral("alice")) // the existing account is untouched
        EXPECT_TRUE(accounts.verify(c.user, QStringLiteral("secret1")).has_value());
    else
        EXPECT_EQ(accounts.verify(c.user, c.password).has_value(), c.created);
    if (c.created) {
        const QStringList login =
            fields(get(kLogin, signedQuery(c.user, c.password, QStringLiteral("1"), now())).text());
        EXPECT_EQ(login.value(0), QStringLiteral("0"));
        EXPECT_EQ(login.value(4), c.qq + QStringLiteral("@qq.com"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AccountCreation,
    ::testing::Values(AccountCase{"Valid", QStringLiteral("Bob2024"), QStringLiteral("pw_1!"),
                                  QStringLiteral("12345"), 0, true, true},
                      AccountCase{"TenCharacters", QStringLiteral("abcdefghij"), QStringLiteral("0123456789"),
                                  QStringLiteral("987654321"), 0, true, true},
                      AccountCase{"CaseOnlyDifference", QStringLiteral("Carol"), QStringLiteral("carol"),
                                  QStringLiteral("55555"), 0, true, true},
                      AccountCase{"ExistsInOtherCase", QStringLiteral("Alice"), QStringLiteral("other1"),
                                  QStringLiteral("55555"), 0, true, false},
                      AccountCase{"Exists", QStringLiteral("alice"), QStringLiteral("other1"),
                                  QStringLiteral("12345"), 0, true, false},
                      AccountCase{"Underscore", QStringLiteral("bob_1"), QStringLiteral("pw1"),
                                  QStringLiteral("12345"), 0, true, false},
                      AccountCase{"Chinese", QStringLiteral("张三"), QStringLiteral("pw1"),
                                  QStringLiteral("12345"), 0, true, false},
                      AccountCase{"NameTooLong", QStringLiteral("abcdefghijk"), QStringLiteral("pw1"),
                                  QStringLiteral("12345"), 0, true, false},
                      AccountCase{"PasswordTooLong", QStringLiteral("dave"), QStringLiteral("01234567890"),
                                  QStringLiteral("12345"), 0, true, false},
                      AccountCase{"PasswordIsName", QStringLiteral("erin"), QStringLiteral("erin"),
                                  QStringLiteral("12345"), 0, true, false},
                      AccountCase{"EmptyPassword", QStringLiteral("frank"), QString(),
                                  QStringLiteral("12345"), 0, true, false},
                      AccountCase{"QqFourDigits", QStringLiteral("gina"), QStringLiteral("pw1"),
                                  QStringLiteral("1234"), 0, true, false},
                      AccountCase{"QqNotDigits", QStringLiteral("hank"), QStringLiteral("pw1"),
                                  QStringLiteral("12a45"), 0, true, false},
                      AccountCase{"BadKey", QStringLiteral("ivan"), QStringLiteral("pw1"),
                                  QStringLiteral("12345"), 0, false, false},
                      AccountCase{"StaleTime", QStringLiteral("judy"), QStringLiteral("pw1"),
                                  QStringLiteral("12345"), -900, true, false}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(WebServiceTest, UnknownPathIsNotFound)
{
    EXPECT_EQ(httpGet(service.webUrl(QStringLiteral("/nothing.asp"))).status, 404);
}

TEST_F(WebServiceTest, OneConnectionServesRequestsInTurn)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, service->webPort());
    ASSERT_TRUE(waitFor([&] { return socket.state() == QAbstractSocket::ConnectedState; }));
    // Two requests in one write, the second split from its end; then a close.
    socket.write("GET /nothing HTTP/1.1\r\nHost: x\r\n\r\nGET /banner.html HTTP/1.1\r\nHo");
    socket.write("st: x\r\nConnection: close\r\n\r\n");
    QByteArray all;
    ASSERT_TRUE(waitFor([&] {
        all += socket.readAll();
        return socket.state() == QAbstractSocket::UnconnectedState;
    }));
    all += socket.readAll();
    EXPECT_TRUE(all.startsWith("HTTP/1.1 404 ")) << all.left(40).toStdString();
    EXPECT_EQ(all.count("HTTP/1.1 200 OK"), 1);
}

TEST_F(WebServiceTest, OversizedHeaderIsRefusedWithoutHarm)
{
    const HttpResult r = rawHttpGet(service->webPort(), "/banner.html?" + QByteArray(40000, 'a'));
    EXPECT_EQ(r.status, 431);
    EXPECT_EQ(httpGet(service.webUrl(QStringLiteral("/banner.html"))).status, 200);
}

// Reads the whole reply of one request written as it stands.
QByteArray rawExchange(quint16 port, const QByteArray &request)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!waitFor([&] { return socket.state() == QAbstractSocket::ConnectedState; }))
        return {};
    socket.write(request);
    QByteArray all;
    waitFor([&] {
        all += socket.readAll();
        return socket.state() == QAbstractSocket::UnconnectedState;
    });
    return all + socket.readAll();
}

TEST_F(WebServiceTest, BannerIsATablePageWithItsImageAndALink)
{
    const HttpResult page = httpGet(service.webUrl(QStringLiteral("/banner.html")));
    ASSERT_EQ(page.status, 200);
    const QString html = page.text();
    EXPECT_TRUE(html.contains(QStringLiteral("<table"))) << html.toStdString();
    EXPECT_TRUE(html.contains(QStringLiteral("<img src=\"banner.png\"")));
    EXPECT_TRUE(html.contains(QStringLiteral("<a href=\"http://127.0.0.1:%1/\"").arg(service->webPort())));
    EXPECT_TRUE(html.contains(QStringLiteral("发布站广告监控")));

    const HttpResult image = httpGet(service.webUrl(QStringLiteral("/banner.png")));
    ASSERT_EQ(image.status, 200);
    QImage decoded;
    ASSERT_TRUE(decoded.loadFromData(image.body, "PNG"));
    EXPECT_EQ(decoded.size(), QSize(40, 40));
    // Gold on blue: the picture is not one flat colour.
    EXPECT_NE(decoded.pixel(0, 0), decoded.pixel(20, 30));

    const QByteArray headers =
        rawExchange(service->webPort(), "GET /banner.png HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    EXPECT_TRUE(headers.contains("Content-Type: image/png")) << headers.left(200).toStdString();
}

TEST_F(WebServiceTest, HostHeaderNeverShapesPagesOrLinks)
{
    const QByteArray evilHost = "Host: x\"><script>y</script>\r\n";
    for (const QByteArray &target : {QByteArray("/"), QByteArray("/banner.html")}) {
        const QByteArray reply = rawExchange(service->webPort(), "GET " + target + " HTTP/1.1\r\n" +
                                                                     evilHost + "Connection: close\r\n\r\n");
        ASSERT_TRUE(reply.startsWith("HTTP/1.1 200 ")) << reply.left(60).toStdString();
        EXPECT_FALSE(reply.contains("script")) << target.toStdString();
        EXPECT_TRUE(
            reply.contains(QStringLiteral("http://127.0.0.1:%1/").arg(service->webPort()).toLatin1()));
    }
    const QByteArray login =
        rawExchange(service->webPort(), "GET " + kLogin.toLatin1() +
                                            signedQuery(QStringLiteral("alice"), QStringLiteral("secret1"),
                                                        QStringLiteral("1"), now()) +
                                            " HTTP/1.1\r\n" + evilHost + "Connection: close\r\n\r\n");
    ASSERT_TRUE(login.startsWith("HTTP/1.1 200 ")) << login.left(60).toStdString();
    EXPECT_FALSE(login.contains("script"));
    EXPECT_TRUE(
        login.contains(QStringLiteral("http://127.0.0.1:%1/banner.html").arg(service->webPort()).toLatin1()));
}

TEST(WebServicePublicUrl, ConfiguredAddressIsUsedAndEscaped)
{
    LocalService service;
    service.options.publicUrl = QStringLiteral("http://ads.example:8080/k&v");
    ASSERT_TRUE(service.start());
    ASSERT_NE(seedAccount(service, sampleAccount(QStringLiteral("alice"), QStringLiteral("secret1"))), 0);
    const HttpResult page = httpGet(service.webUrl(QStringLiteral("/")));
    ASSERT_EQ(page.status, 200);
    EXPECT_TRUE(page.text().contains(QStringLiteral("href=\"http://ads.example:8080/k&amp;v/banner.html\"")))
        << page.text().toStdString();
    const HttpResult login = httpGet(service.webUrl(
        kLogin + QString::fromLatin1(signedQuery(QStringLiteral("alice"), QStringLiteral("secret1"),
                                                 QStringLiteral("1"), now()))));
    const QStringList f = fields(login.text());
    ASSERT_GE(f.size(), 9) << login.text().toStdString();
    EXPECT_EQ(f[6], QStringLiteral("http://ads.example:8080/k&v/"));
    EXPECT_EQ(f[8], QStringLiteral("http://ads.example:8080/k&v/banner.html"));
}

TEST_F(WebServiceTest, MalformedRequestsAreAnsweredAtOnce)
{
    struct Case {
        const char *name;
        QByteArray request;
        QByteArray status;
    };
    const Case cases[] = {
        {"two lengths", "GET / HTTP/1.1\r\nContent-Length: 3\r\nContent-Length: 30\r\n\r\nabc", "400"},
        {"unknown version", "GET / HTTP/9.9\r\nHost: x\r\n\r\n", "505"},
        // Would wait for a CR LF CR LF that never comes, until the idle timeout.
        {"bare line feeds", "GET / HTTP/1.1\nHost: x\n\n", "400"},
    };
    for (const Case &c : cases) {
        const QByteArray reply = rawExchange(service->webPort(), c.request);
        EXPECT_TRUE(reply.startsWith("HTTP/1.1 " + c.status + ' '))
            << c.name << ": " << reply.left(40).toStdString();
    }
}

// Small limits, so that output backs up and deadlines pass quickly.
class WebServiceLimitsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        service.options.limits.outputPauseBytes = 8 * 1024;
        service.options.limits.webOutputCapBytes = 64 * 1024;
        service.options.limits.framesPerTurn = 4;
        service.options.limits.requestDeadlineMs = 400;
        service.options.limits.webIdleTimeoutMs = 1000;
        ASSERT_TRUE(service.start());
    }
    LocalService service;
};

TEST_F(WebServiceLimitsTest, RequestDrippingInPastItsDeadlineIsCutOff)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, service->webPort());
    ASSERT_TRUE(waitFor([&] { return socket.state() == QAbstractSocket::ConnectedState; }));
    const QByteArray request = "GET /banner.html?" + QByteArray(2000, 'a') + " HTTP/1.1\r\n\r\n";
    QByteArray reply;
    qsizetype sent = 0;
    QElapsedTimer sinceByte;
    sinceByte.start();
    const bool cut = waitFor(
        [&] {
            if (sinceByte.elapsed() > 20 && sent < request.size()) {
                socket.write(request.mid(sent++, 1));
                sinceByte.restart();
            }
            reply += socket.readAll();
            return socket.state() == QAbstractSocket::UnconnectedState;
        },
        20000);
    EXPECT_TRUE(cut);
    EXPECT_LT(sent, request.size());
    EXPECT_TRUE(reply.startsWith("HTTP/1.1 408 ")) << reply.left(40).toStdString();
}

const QByteArray kPaddedRequest =
    "GET /banner.png HTTP/1.1\r\nHost: x\r\nX-Pad: " + QByteArray(1000, 'p') + "\r\n\r\n";

// The size of the reply to kPaddedRequest.
qsizetype paddedReplySize(quint16 port)
{
    return rawExchange(port, QByteArray(kPaddedRequest).replace("Host: x", "Host: x\r\nConnection: close"))
        .size();
}

// What the server made of requests from a client that never reads: the most
// reply bytes it held at once, and whether it let the connection go.
struct Backlog {
    qint64 mostPending = 0;
    bool letGo = false;
};

Backlog sendWithoutReading(LocalService &service, NonReadingPeer &client, const QByteArray &requests)
{
    Backlog backlog;
    backlog.letGo = waitFor(
        [&] {
            client.sendMore(requests);
            backlog.mostPending = std::max(backlog.mostPending, service->http().pendingOutput());
            return service->http().connectionCount() == 0;
        },
        20000);
    return backlog;
}

TEST_F(WebServiceLimitsTest, ClientThatNeverReadsIsPausedAndLetGo)
{
    const ServiceLimits &limits = service->options().limits;
    const qsizetype replySize = paddedReplySize(service->webPort());
    ASSERT_GT(replySize, 0);
    NonReadingPeer client;
    ASSERT_TRUE(client.open(
        service->webPort(), [&] { return service->http().connectionCount(); }, true));

    // Far more requests than the buffers on the way can hold.
    const QByteArray requests = kPaddedRequest.repeated(4000);
    const Backlog backlog = sendWithoutReading(service, client, requests);

    // The replies backed up in the server, not in the kernel...
    EXPECT_GT(backlog.mostPending, limits.outputPauseBytes);
    // ...never past the cap and the reply that crossed it...
    EXPECT_LE(backlog.mostPending, limits.webOutputCapBytes + replySize);
    // ...and the server stopped reading requests meanwhile.
    EXPECT_LT(client.sent, requests.size());
    // A client that takes nothing does not hold its connection for ever.
    EXPECT_TRUE(backlog.letGo) << service->http().pendingOutput() << " bytes still waiting";
}

TEST(WebServiceOutput, CloseWaitingOnAClientThatNeverReadsIsCutShort)
{
    LocalService service;
    // Room under the pause for more replies than the kernel buffers hold.
    service.options.limits.outputPauseBytes = 64 * 1024;
    service.options.limits.webOutputCapBytes = 256 * 1024;
    service.options.limits.webIdleTimeoutMs = 1000;
    ASSERT_TRUE(service.start());
    const qsizetype replySize = paddedReplySize(service->webPort());
    ASSERT_GT(replySize, 0);
    NonReadingPeer client;
    ASSERT_TRUE(client.open(
        service->webPort(), [&] { return service->http().connectionCount(); }, false));

    // Replies that the kernel cannot take but that stay under the pause, the
    // last of them closing the connection.
    const qsizetype count = service->options().limits.outputPauseBytes / replySize;
    const QByteArray requests = kPaddedRequest.repeated(count - 1) +
                                QByteArray(kPaddedRequest).replace("Host: x", "Host: x\r\nConnection: close");
    const Backlog backlog = sendWithoutReading(service, client, requests);
    EXPECT_EQ(client.sent, requests.size());
    // The close did wait on replies that were not taken...
    EXPECT_GT(backlog.mostPending, 0);
    // ...but not for ever.
    EXPECT_TRUE(backlog.letGo) << service->http().pendingOutput() << " bytes still waiting";
}

// --- Large answers and the limits at the point of entry ------------------

QString remarkOf(int i)
{
    const QString number = QString::number(i);
    return number + QString(WebProtocol::kMaxRemarkChars - number.size(), QChar(0x957F));
}

// An account whose list of addresses is many times the web output cap, as an
// account of a hundred addresses with long remarks is under the default cap.
class WebServiceLargeAnswerTest : public ::testing::Test {
protected:
    static constexpr int kAddresses = 300;

    void start(int stallMs, int idleMs)
    {
        ServiceLimits &limits = service.options.limits;
        limits.outputPauseBytes = 8 * 1024;
        limits.webOutputCapBytes = 64 * 1024;
        limits.outputStallMs = stallMs;
        limits.webIdleTimeoutMs = idleMs;
        ASSERT_TRUE(service.start()) << service->errorString().toStdString();
        const qint64 id =
            seedAccount(service, sampleAccount(QStringLiteral("alice"), QStringLiteral("secret1")));
        ASSERT_NE(id, 0);
        QList<MonitoredAddress> list;
        for (int i = 0; i < kAddresses; ++i)
            list.append({QStringLiteral("http://www.game%1.example").arg(i), QStringLiteral("1"), remarkOf(i),
                         QStringLiteral("1"), 0});
        ASSERT_TRUE(service->accounts().replaceAddresses(id, list));
    }
    static QByteArray listTarget()
    {
        return kDomains.toLatin1() +
               signedQuery(QStringLiteral("alice"), QStringLiteral("secret1"), QStringLiteral("2"), now());
    }

    LocalService service;
};

TEST_F(WebServiceLargeAnswerTest, ReadingClientGetsAListFarLargerThanTheCap)
{
    ASSERT_NO_FATAL_FAILURE(start(ServiceLimits().outputStallMs, 60 * 1000));
    LogCapture log;
    const HttpResult r = httpGet(service.webUrl(QString::fromLatin1(listTarget())));
    ASSERT_EQ(r.status, 200) << log.lines().join(QLatin1Char('\n')).toStdString();
    EXPECT_GT(r.body.size(), 4 * service->options().limits.webOutputCapBytes);
    const QStringList records = WebText::SplitText(r.text(), QLatin1Char('|'));
    ASSERT_EQ(records.size(), kAddresses);
    for (int i = 0; i < kAddresses; ++i) {
        const QStringList f = WebText::SplitText(records[i], QLatin1Char(';'));
        ASSERT_EQ(f.size(), 6) << i;
        EXPECT_EQ(f[1], QStringLiteral("http://www.game%1.example").arg(i));
        EXPECT_EQ(f[3], remarkOf(i));
    }
    EXPECT_TRUE(log.matching(QStringLiteral("dropped")).isEmpty());
}

TEST_F(WebServiceLargeAnswerTest, PeerThatStopsTakingALargeAnswerIsDropped)
{
    // The idle timeout is far away: only the stall can let the peer go.
    ASSERT_NO_FATAL_FAILURE(start(300, 10 * 60 * 1000));
    LogCapture log;
    NonReadingPeer peer;
    ASSERT_TRUE(peer.open(
        service->webPort(), [&] { return service->http().connectionCount(); }, false));
    const QByteArray request = "GET " + listTarget() + " HTTP/1.1\r\nHost: x\r\n\r\n";
    peer.sendMore(request);
    ASSERT_EQ(peer.sent, request.size());
    EXPECT_TRUE(waitFor([&] { return service->http().connectionCount() == 0; }, 20000))
        << service->http().pendingOutput() << " bytes still waiting";
    EXPECT_EQ(log.matching(QStringLiteral("none taken within 300 ms")).size(), 1)
        << log.lines().join(QLatin1Char('\n')).toStdString();
}

HttpResult addAddress(LocalService &service, const QString &url, const QString &remark)
{
    return httpGet(service.webUrl(
        kAdd + QString::fromLatin1(signedQuery(QStringLiteral("alice"), QStringLiteral("secret1"),
                                               QStringLiteral("2"), now()) +
                                   "&monitor_url=" + encodeValue(url) + "&monitor_type=1&monitor_remark=" +
                                   encodeValue(remark) + "&monitor_publishing=1&jinminhou=0")));
}

HttpResult deleteAddress(LocalService &service, const QString &url)
{
    return httpGet(service.webUrl(
        kDel + QString::fromLatin1(signedQuery(QStringLiteral("alice"), QStringLiteral("secret1"),
                                               QStringLiteral("2"), now()) +
                                   "&monitor_url=" + encodeValue(url))));
}

// url -> remark of each listed address.
QMap<QString, QString> listedAddresses(LocalService &service)
{
    const HttpResult r = httpGet(service.webUrl(
        kDomains + QString::fromLatin1(signedQuery(QStringLiteral("alice"), QStringLiteral("secret1"),
                                                   QStringLiteral("2"), now()))));
    EXPECT_EQ(r.status, 200);
    QMap<QString, QString> listed;
    for (const QString &record : WebText::SplitText(r.text(), QLatin1Char('|'))) {
        const QStringList f = WebText::SplitText(record, QLatin1Char(';'));
        if (f.size() == 6)
            listed.insert(f[1], f[3]);
    }
    return listed;
}

TEST_F(WebServiceTest, OverlongAddressOrRemarkIsRefusedWithItsReason)
{
    const QString prefix = QStringLiteral("http://www.long.example/");
    const QString longestUrl =
        prefix + QString(WebProtocol::kMaxAddressChars - prefix.size(), QLatin1Char('a'));
    const QString longestRemark(WebProtocol::kMaxRemarkChars, QChar(0x5907));
    struct Case {
        const char *name;
        QString url;
        QString remark;
        QString reply;
    };
    const Case cases[] = {
        {"address at the limit", longestUrl, QStringLiteral("r"), QStringLiteral("0|保存成功")},
        {"remark at the limit", QStringLiteral("http://www.remark.example"), longestRemark,
         QStringLiteral("0|保存成功")},
        {"address one over", longestUrl + QLatin1Char('b'), QStringLiteral("r"),
         QStringLiteral("5|监控的网址不能超过1024个字符！")},
        {"remark one over", QStringLiteral("http://www.over.example"), longestRemark + QLatin1Char('x'),
         QStringLiteral("5|备注不能超过500个字符！")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const HttpResult r = addAddress(service, c.url, c.remark);
        EXPECT_EQ(r.status, 200);
        EXPECT_EQ(r.text(), c.reply);
    }
    // Only what was within the limits is stored, whole.
    const QMap<QString, QString> listed = listedAddresses(service);
    EXPECT_EQ(listed.size(), 2);
    EXPECT_EQ(listed.value(longestUrl), QStringLiteral("r"));
    EXPECT_EQ(listed.value(QStringLiteral("http://www.remark.example")), longestRemark);
}

TEST(WebServiceAddressLimits, NewAddressesStopAtTheLimitAndStoredOnesKeepWorking)
{
    LocalService service;
    service.options.limits.maxAddressesPerAccount = 3;
    ASSERT_TRUE(service.start()) << service->errorString().toStdString();
    const qint64 id = seedAccount(service, sampleAccount(QStringLiteral("alice"), QStringLiteral("secret1")));
    ASSERT_NE(id, 0);
    // Stored before the limits: more addresses than allowed, one address and
    // one remark longer than a new one may be.
    const QString overlongUrl = QStringLiteral("http://www.old.example/") + QString(1500, QLatin1Char('o'));
    const QString overlongRemark(800, QChar(0x65E7));
    const QList<MonitoredAddress> stored = {
        {overlongUrl, QStringLiteral("1"), QStringLiteral("r"), QStringLiteral("1"), 0},
        {QStringLiteral("http://www.a.example"), QStringLiteral("1"), overlongRemark, QStringLiteral("1"), 0},
        {QStringLiteral("http://www.b.example"), QStringLiteral("1"), QStringLiteral("b"),
         QStringLiteral("1"), 0},
        {QStringLiteral("http://www.c.example"), QStringLiteral("1"), QStringLiteral("c"),
         QStringLiteral("1"), 0},
    };
    ASSERT_TRUE(service->accounts().replaceAddresses(id, stored));

    // Listed as stored.
    QMap<QString, QString> listed = listedAddresses(service);
    EXPECT_EQ(listed.size(), 4);
    EXPECT_EQ(listed.value(overlongUrl), QStringLiteral("r"));
    EXPECT_EQ(listed.value(QStringLiteral("http://www.a.example")), overlongRemark);

    const QString full = QStringLiteral("5|监控的网址已达上限（3个），请先删除不需要的网址。");
    EXPECT_EQ(addAddress(service, QStringLiteral("http://www.new.example"), QStringLiteral("n")).text(),
              full);
    // Changing an address already listed adds nothing.
    EXPECT_EQ(addAddress(service, QStringLiteral("http://www.b.example"), QStringLiteral("b2")).text(),
              QStringLiteral("0|保存成功"));
    // Deleting works for what is over the limits too.
    EXPECT_EQ(deleteAddress(service, overlongUrl).text(), QStringLiteral("0|删除成功"));
    EXPECT_EQ(deleteAddress(service, QStringLiteral("http://www.a.example")).text(),
              QStringLiteral("0|删除成功"));
    // Below the limit again: the third address is taken, the fourth is not.
    EXPECT_EQ(addAddress(service, QStringLiteral("http://www.new.example"), QStringLiteral("n")).text(),
              QStringLiteral("0|保存成功"));
    EXPECT_EQ(addAddress(service, QStringLiteral("http://www.newer.example"), QStringLiteral("n")).text(),
              full);
    listed = listedAddresses(service);
    EXPECT_EQ(listed.keys(),
              (QStringList{QStringLiteral("http://www.b.example"), QStringLiteral("http://www.c.example"),
                           QStringLiteral("http://www.new.example")}));
    EXPECT_EQ(listed.value(QStringLiteral("http://www.b.example")), QStringLiteral("b2"));
}

// --- Password checks beside the event loop --------------------------------

// Holds every search thread until released, so that a test sees what waits
// for them.
class SearchThreadGate {
public:
    explicit SearchThreadGate(SearchPool &pool)
        : threads(pool.threadCount()), state(std::make_shared<State>())
    {
        for (int i = 0; i < threads; ++i) {
            pool.run([state = state](AdStore &) {
                std::unique_lock lock(state->lock);
                ++state->held;
                state->changed.notify_all();
                state->changed.wait(lock, [&] { return state->open; });
            });
        }
    }
    ~SearchThreadGate() { release(); }
    SearchThreadGate(const SearchThreadGate &) = delete;
    SearchThreadGate &operator=(const SearchThreadGate &) = delete;

    bool holdsAll()
    {
        std::unique_lock lock(state->lock);
        return state->changed.wait_for(lock, std::chrono::seconds(10),
                                       [&] { return state->held == threads; });
    }
    void release()
    {
        {
            std::lock_guard lock(state->lock);
            state->open = true;
        }
        state->changed.notify_all();
    }

private:
    struct State {
        std::mutex lock;
        std::condition_variable changed;
        int held = 0;
        bool open = false;
    };
    const int threads;
    std::shared_ptr<State> state;
};

QByteArray requestFor(const QByteArray &target)
{
    return "GET " + target + " HTTP/1.1\r\nHost: x\r\n\r\n";
}

QByteArray signedTarget(const QString &endpoint, const QString &password, const QString &type)
{
    return endpoint.toLatin1() + signedQuery(QStringLiteral("alice"), password, type, now());
}

struct RawReply {
    int status = 0;
    QByteArray body;
};

// The complete replies at the start of bytes, in order.
QList<RawReply> completeReplies(const QByteArray &bytes)
{
    QList<RawReply> replies;
    qsizetype at = 0;
    for (;;) {
        const qsizetype headEnd = bytes.indexOf("\r\n\r\n", at);
        if (headEnd < 0)
            break;
        const QByteArray head = bytes.mid(at, headEnd - at);
        const QByteArray lengthName = "\r\nContent-Length: ";
        const qsizetype lengthAt = head.indexOf(lengthName);
        if (!head.startsWith("HTTP/1.1 ") || lengthAt < 0)
            break;
        const qsizetype valueAt = lengthAt + lengthName.size();
        const qsizetype lineEnd = head.indexOf("\r\n", valueAt);
        const qsizetype length =
            head.mid(valueAt, (lineEnd < 0 ? head.size() : lineEnd) - valueAt).toLongLong();
        if (bytes.size() < headEnd + 4 + length)
            break;
        replies.append({head.mid(9, 3).toInt(), bytes.mid(headEnd + 4, length)});
        at = headEnd + 4 + length;
    }
    return replies;
}

TEST_F(WebServiceTest, CrowdOfLoginsWaitsForTheSearchThreadsNotTheEventLoop)
{
    SearchPool *pool = service->searchThreads();
    ASSERT_NE(pool, nullptr);
    SearchThreadGate gate(*pool);
    ASSERT_TRUE(gate.holdsAll());

    constexpr int kLogins = 20;
    std::vector<std::unique_ptr<QTcpSocket>> logins;
    for (int i = 0; i < kLogins; ++i) {
        auto socket = std::make_unique<QTcpSocket>();
        socket->connectToHost(QHostAddress::LocalHost, service->webPort());
        socket->write(requestFor(signedTarget(kLogin, QStringLiteral("secret1"), QStringLiteral("1"))));
        logins.push_back(std::move(socket));
    }
    // Every password waits for a thread...
    ASSERT_TRUE(waitFor([&] { return pool->waiting() == kLogins; }))
        << pool->waiting() << " of " << kLogins << " checks given to the threads";
    // ...while the event loop answers others.
    const HttpResult page = httpGet(service.webUrl(QStringLiteral("/banner.html")));
    EXPECT_EQ(page.status, 200);
    QList<QByteArray> received(kLogins);
    for (int i = 0; i < kLogins; ++i) {
        received[i] += logins[i]->readAll();
        EXPECT_TRUE(received[i].isEmpty()) << "login " << i << " answered before its check";
    }

    gate.release();
    const bool allAnswered = waitFor([&] {
        bool all = true;
        for (int i = 0; i < kLogins; ++i) {
            received[i] += logins[i]->readAll();
            all = all && completeReplies(received[i]).size() == 1;
        }
        return all;
    });
    ASSERT_TRUE(allAnswered);
    for (const QByteArray &bytes : received) {
        const RawReply reply = completeReplies(bytes).value(0);
        EXPECT_EQ(reply.status, 200);
        EXPECT_TRUE(WebText::fromAnsi(reply.body).startsWith(QStringLiteral("0|alice|")))
            << reply.body.left(40).toStdString();
    }
}

TEST_F(WebServiceTest, PipelinedRequestsAreAnsweredInTheirOrder)
{
    ASSERT_EQ(
        fields(addAddress(service, QStringLiteral("http://www.game.example"), QStringLiteral("r")).text())
            .value(0),
        QStringLiteral("0"));
    SearchPool *pool = service->searchThreads();
    ASSERT_NE(pool, nullptr);
    SearchThreadGate gate(*pool);
    ASSERT_TRUE(gate.holdsAll());

    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, service->webPort());
    // A login, a page, the list, an unknown path and a wrong password, in one write.
    socket.write(requestFor(signedTarget(kLogin, QStringLiteral("secret1"), QStringLiteral("1"))) +
                 requestFor("/banner.html") +
                 requestFor(signedTarget(kDomains, QStringLiteral("secret1"), QStringLiteral("2"))) +
                 requestFor("/nothing") +
                 requestFor(signedTarget(kLogin, QStringLiteral("wrong"), QStringLiteral("1"))));
    // The login waits for a thread, and what follows it waits for the login.
    ASSERT_TRUE(waitFor([&] { return pool->waiting() == 1; }));
    EXPECT_EQ(httpGet(service.webUrl(QStringLiteral("/banner.html"))).status, 200);
    QByteArray received = socket.readAll();
    EXPECT_TRUE(received.isEmpty()) << received.left(40).toStdString();

    gate.release();
    ASSERT_TRUE(waitFor([&] {
        received += socket.readAll();
        return completeReplies(received).size() == 5;
    }));
    const QList<RawReply> replies = completeReplies(received);
    EXPECT_TRUE(WebText::fromAnsi(replies[0].body).startsWith(QStringLiteral("0|alice|")));
    EXPECT_TRUE(replies[1].body.contains("<table"));
    EXPECT_TRUE(WebText::fromAnsi(replies[2].body).startsWith(QStringLiteral("1;http://www.game.example;")))
        << replies[2].body.left(60).toStdString();
    EXPECT_EQ(replies[3].status, 404);
    EXPECT_EQ(WebText::fromAnsi(replies[4].body), QStringLiteral("1|用户名或密码错误！"));
}

} // namespace
