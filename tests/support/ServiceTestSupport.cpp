#include "tests/support/ServiceTestSupport.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <atomic>

#include <gtest/gtest.h>

#include "service/store/AccountStore.h"
#include "service/ServiceLog.h"
#include "webproto/WebProtocol.h"
#include "webproto/WebText.h"

namespace ServiceTest {

bool waitFor(const std::function<bool()> &done, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(2);
    }
    return true;
}

LogCapture::LogCapture()
{
    ServiceLog::setSink([this](const QString &line) {
        std::lock_guard<std::mutex> guard(lock);
        captured.append(line);
    });
}

LogCapture::~LogCapture()
{
    ServiceLog::setSink({});
}

QStringList LogCapture::lines() const
{
    std::lock_guard<std::mutex> guard(lock);
    return captured;
}

QStringList LogCapture::matching(const QString &text) const
{
    return lines().filter(text);
}

AccountRecord sampleAccount(const QString &user, const QString &password)
{
    AccountRecord account;
    account.user = user;
    account.password = password;
    account.qq = QStringLiteral("7654321");
    account.mailbox = QStringLiteral("7654321@qq.com");
    account.notice = QStringLiteral("公告：今晚维护");
    account.linkUrl = QStringLiteral("/");
    account.pageUrl = QStringLiteral("/banner.html");
    return account;
}

qint64 seedAccount(LocalService &service, const AccountRecord &account)
{
    return service->accounts().save(account);
}

LocalService::LocalService(Backend backend) : scratch(backend)
{
    options.webPort = 0;
    options.dataPort = 0;
}

LocalService::~LocalService()
{
    service.reset();
}

bool LocalService::start()
{
    options.databasePath = databasePath();
    service = std::make_unique<Service>(options);
    return service->start();
}

ServiceLimits LocalService::testLimits()
{
    ServiceLimits limits;
    // Fewer hashing rounds than a real service: tests log in hundreds of times.
    limits.passwordHashIterations = 1000;
    return limits;
}

ServiceOptions LocalService::testOptions()
{
    ServiceOptions options;
    options.limits = testLimits();
    return options;
}

QUrl LocalService::webUrl(const QString &pathAndQuery) const
{
    return QUrl::fromEncoded(
        QStringLiteral("http://127.0.0.1:%1%2").arg(service->webPort()).arg(pathAndQuery).toLatin1());
}

QString HttpResult::text() const
{
    return WebText::fromAnsi(body);
}

HttpResult httpGet(const QUrl &url)
{
    QNetworkAccessManager manager;
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    std::unique_ptr<QNetworkReply> reply(manager.get(request));
    HttpResult result;
    if (!waitFor([&] { return reply->isFinished(); }))
        return result;
    result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    result.body = reply->readAll();
    return result;
}

HttpResult rawHttpGet(quint16 port, const QByteArray &target, const QHostAddress &from)
{
    QTcpSocket socket;
    if (!from.isNull() && !socket.bind(from, 0))
        return {};
    bool connected = false;
    QObject::connect(&socket, &QTcpSocket::connected, &socket, [&connected] { connected = true; });
    socket.connectToHost(QHostAddress::LocalHost, port);
    HttpResult result;
    // A refusing service may answer and close within the turn of the event
    // loop that connects, so that ConnectedState is never there to be seen.
    waitFor([&] { return connected || socket.state() == QAbstractSocket::UnconnectedState; });
    if (!connected)
        return result;
    if (socket.state() == QAbstractSocket::ConnectedState)
        socket.write("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    QByteArray all;
    waitFor([&] {
        all += socket.readAll();
        return socket.state() == QAbstractSocket::UnconnectedState;
    });
    all += socket.readAll();
    const qsizetype end = all.indexOf("\r\n\r\n");
    if (!all.startsWith("HTTP/1.1 ") || end < 0)
        return result;
    result.status = all.mid(9, 3).toInt();
    result.body = all.mid(end + 4);
    return result;
}

QByteArray encodeValue(const QString &value)
{
    return WebText::toAnsi(value).toPercentEncoding();
}

QByteArray signedQuery(const QString &user, const QString &password, const QString &type, qint64 time,
                       bool raw)
{
    // A fresh number for every query, as the client draws one: the service
    // accepts a signed query once.
    static std::atomic<int> counter{0};
    const QString rand = QString::number(counter.fetch_add(1) % 32768);
    const QString n = QString::number(time);
    const QString check = WebProtocol::checkDigest(user, password, type, rand, n);
    const auto value = [raw](const QString &v) { return raw ? WebText::toAnsi(v) : encodeValue(v); };
    return "user=" + value(user) + "&pass=" + value(password) + "&type=" + value(type) +
           "&rand=" + rand.toLatin1() + "&time=" + n.toLatin1() + "&check=" + check.toLatin1();
}

AdRecord makeAd(const QString &gameWeb, const QString &site, const QString &name, int dayOffset,
                const QString &slot, const QString &other)
{
    AdRecord ad;
    ad.gameWeb = gameWeb;
    ad.site = site;
    ad.adName = name;
    ad.ip = QStringLiteral("10.1.2.3");
    ad.openDay = QDate::currentDate().addDays(dayOffset);
    ad.openSlot = slot;
    ad.otherInfo = other.isNull() ? QStringLiteral("今日新开") : other;
    return ad;
}

DataClient::DataClient(quint16 port)
{
    session.setDiagnosticSink([](const std::string &) {});
    session.configure("127.0.0.1", port, this);
    worker = std::thread([this] { session.Run(); });
}

DataClient::~DataClient()
{
    session.stop();
    worker.join();
}

void DataClient::OnMessage(std::unique_ptr<MsgHeader> msg)
{
    std::lock_guard lock(queueLock);
    received.push_back(std::move(msg));
}

std::unique_ptr<MsgHeader> takeOfType(std::deque<std::unique_ptr<MsgHeader>> &queue, int type)
{
    const auto it =
        std::find_if(queue.begin(), queue.end(), [type](const auto &msg) { return msg->type == type; });
    if (it == queue.end())
        return nullptr;
    std::unique_ptr<MsgHeader> found = std::move(*it);
    queue.erase(it);
    return found;
}

std::unique_ptr<MsgHeader> DataClient::take(int type, int timeoutMs)
{
    std::unique_ptr<MsgHeader> found;
    waitFor(
        [&] {
            std::lock_guard lock(queueLock);
            return (found = takeOfType(received, type)) != nullptr;
        },
        timeoutMs);
    return found;
}

std::vector<int> DataClient::pendingTypes()
{
    std::lock_guard lock(queueLock);
    std::vector<int> types;
    for (const auto &msg : received)
        types.push_back(msg->type);
    return types;
}

void DataClient::sendLogIn(const QString &user, const QString &password)
{
    MsgUserLoginReq req;
    req.body.set_username(user.toStdString());
    req.body.set_password(password.toStdString());
    send(req);
}

bool DataClient::logIn(const QString &user, const QString &password)
{
    if (!next<MsgConnected>())
        return false;
    sendLogIn(user, password);
    const auto ack = next<MsgUserLoginAck>();
    return ack && ack->body.code() == 0 && next<MsgUserAdsChangeNtf>() != nullptr;
}

} // namespace ServiceTest
