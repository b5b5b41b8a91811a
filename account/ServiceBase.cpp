#include "account/ServiceBase.h"

#include <mutex>

#include <QCoreApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRandomGenerator>
#include <QTimer>
#include <QUrl>

#include "account/AccountState.h"

#ifndef KESTREL_SERVICE_HOST
#define KESTREL_SERVICE_HOST "127.0.0.1"
#endif

namespace {

qint64 systemClock()
{
    return QDateTime::currentSecsSinceEpoch();
}

int systemRandom()
{
    return int(QRandomGenerator::global()->bounded(32768));
}

// The periodic login stores the same values again and again while the GUI
// thread reads them without the lock; writing only real changes keeps those
// reads away from a concurrent write.
void assignIfChanged(QString &field, const QString &value)
{
    if (field != value)
        field = value;
}

} // namespace

namespace {

// What a GET does with a reply longer than its cap.
enum class Overflow { Cut, Fail };

HttpFetchResult get(const QString &url, const HttpTimeouts &timeouts, int maxBytes, Overflow overflow)
{
    HttpFetchResult result;
    if (!QCoreApplication::instance()) {
        result.reason = QStringLiteral("no QCoreApplication"); // Qt's network layer cannot run without one
        return result;
    }
    static std::once_flag proxyOnce;
    std::call_once(proxyOnce, [] { QNetworkProxyFactory::setUseSystemConfiguration(true); });

    QNetworkAccessManager manager;
    QNetworkRequest request{QUrl(url)};
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setTransferTimeout(int(timeouts.connect.count()));
    const QString agent = QCoreApplication::applicationName();
    request.setHeader(QNetworkRequest::UserAgentHeader, agent.isEmpty() ? QStringLiteral("Vorlant") : agent);

    QNetworkReply *reply = manager.get(request); // owned by the manager
    QEventLoop loop;
    QByteArray body;
    bool full = false;
    const auto drain = [&] {
        if (full)
            return;
        body += reply->read(maxBytes + 1 - body.size());
        if (body.size() > maxBytes) {
            full = true; // the rest is never read: stop here
            loop.quit();
        }
    };
    QObject::connect(reply, &QNetworkReply::readyRead, &loop, drain);
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    deadline.start(timeouts.total);
    if (!reply->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);

    if (!full && !reply->isFinished()) {
        reply->abort();
        result.reason = QStringLiteral("no answer within %1 ms").arg(timeouts.total.count());
        return result;
    }
    result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (result.status != 0 && result.status != 200) {
        result.failure = HttpFetchResult::Failure::HttpStatus;
        result.reason = QStringLiteral("HTTP %1 %2")
                            .arg(result.status)
                            .arg(reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString())
                            .trimmed();
        return result;
    }
    if (full && overflow == Overflow::Fail) {
        reply->abort();
        result.reason = QStringLiteral("reply longer than %1 bytes").arg(maxBytes);
        return result;
    }
    if (result.status == 0 || (!full && reply->error() != QNetworkReply::NoError)) {
        result.reason = reply->errorString();
        return result;
    }
    if (!full)
        drain();
    body.truncate(maxBytes);
    result.failure = HttpFetchResult::Failure::None;
    result.text = replyText(body);
    return result;
}

} // namespace

std::optional<QString> httpFetch(const QString &url, const HttpTimeouts &timeouts)
{
    return httpRequest(url, timeouts).text;
}

std::optional<QString> httpFetchWhole(const QString &url, int maxBytes, const HttpTimeouts &timeouts)
{
    return get(url, timeouts, maxBytes, Overflow::Fail).text;
}

HttpFetchResult httpRequest(const QString &url, const HttpTimeouts &timeouts)
{
    return get(url, timeouts, kMaxReplyBytes, Overflow::Cut);
}

QString replyText(const QByteArray &body)
{
    QString text = WebText::fromAnsi(body);
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    if (nul >= 0)
        text.truncate(nul);
    return text;
}

QString HttpGet(const QString &url, const HttpTimeouts &timeouts)
{
    return httpFetch(url, timeouts).value_or(QString());
}

ServiceBase::ServiceBase()
{
    restoreDefaults();
}

ServiceBase &ServiceBase::Instance()
{
    static ServiceBase service;
    return service;
}

void ServiceBase::setEndpoint(const QString &newHost, quint16 newPort)
{
    std::lock_guard guard(mutex);
    host = newHost;
    port = newPort;
}

void ServiceBase::setTimeouts(const HttpTimeouts &timeouts)
{
    std::lock_guard guard(mutex);
    httpTimeouts = timeouts;
}

void ServiceBase::setClock(Clock newClock)
{
    std::lock_guard guard(mutex);
    clock = newClock ? std::move(newClock) : Clock(systemClock);
}

void ServiceBase::setRandom(Random newRandom)
{
    std::lock_guard guard(mutex);
    random = newRandom ? std::move(newRandom) : Random(systemRandom);
}

void ServiceBase::restoreDefaults()
{
    std::lock_guard guard(mutex);
    host = QStringLiteral(KESTREL_SERVICE_HOST);
    port = kDefaultPort;
    httpTimeouts = HttpTimeouts();
    clock = systemClock;
    random = systemRandom;
}

QString ServiceBase::address() const
{
    std::lock_guard guard(mutex);
    return QStringLiteral("http://%1:%2").arg(host).arg(port);
}

HttpTimeouts ServiceBase::timeouts() const
{
    std::lock_guard guard(mutex);
    return httpTimeouts;
}

QString ServiceBase::BuildSignedQuery(const QString &type, const QString &userName,
                                      const QString &password) const
{
    qint64 now;
    int rand;
    {
        std::lock_guard guard(mutex);
        now = clock();
        rand = random();
    }
    return WebProtocol::signedQuery(type, userName, password, now, rand);
}

std::optional<QString> ServiceBase::fetch(const QString &pathAndQuery) const
{
    return request(pathAndQuery).text;
}

HttpFetchResult ServiceBase::request(const QString &pathAndQuery) const
{
    return httpRequest(address() + pathAndQuery, timeouts());
}

std::optional<QString> ServiceBase::fetchWhole(const QString &pathAndQuery, int maxBytes) const
{
    return httpFetchWhole(address() + pathAndQuery, maxBytes, timeouts());
}

QString BuildSignedQuery(const QString &type, const QString &userName, const QString &password)
{
    return ServiceBase::Instance().BuildSignedQuery(type, userName, password);
}

LoginResult requestLogin(const ServiceBase &service, const QString &userName, const QString &password,
                         const QString &type)
{
    LoginResult result;
    if (userName.isEmpty() || password.isEmpty())
        return result;
    result.outcome = LoginResult::NoReply;
    const std::optional<QString> reply = service.fetch(
        WebProtocol::target(WebProtocol::Path::Login, service.BuildSignedQuery(type, userName, password)));
    if (!reply)
        return result;
    return parseLoginReply(*reply);
}

LoginResult parseLoginReply(const QString &reply)
{
    LoginResult result;
    result.outcome = LoginResult::NoReply;
    if (reply.size() < 2)
        return result;
    const QStringList fields = SplitText(reply, u'|');
    if (fields.isEmpty()) // nothing but separators: as unreadable as a too short reply
        return result;

    result.code = parseLeadingInt(fields[0]);
    if (result.code != 0) {
        result.outcome = LoginResult::Refused;
        result.message = fields.size() == 2 ? fields[1] : fields[0];
        return result;
    }
    // Field 4 is the mailbox; a success without it is not a usable login.
    if (fields.size() < 5) {
        result.outcome = LoginResult::Incomplete;
        return result;
    }
    result.outcome = LoginResult::LoggedIn;
    result.mailbox = fields[4];
    if (fields.size() >= 6)
        result.noticeText = fields[5];
    if (fields.size() >= 7)
        result.linkUrl = fields[6];
    if (fields.size() >= 9)
        result.pageUrl = fields[8];
    return result;
}

void storeLogin(AccountState &account, const LoginResult &result, const QString &userName,
                const QString &password)
{
    if (result.outcome == LoginResult::NotSent || result.outcome == LoginResult::NoReply)
        return;
    std::lock_guard guard(account.lock);
    account.loginCode = result.code;
    if (result.outcome == LoginResult::Refused)
        assignIfChanged(account.loginMessage, result.message);
    if (result.outcome != LoginResult::LoggedIn)
        return;
    assignIfChanged(account.userName, userName);
    assignIfChanged(account.password, password);
    assignIfChanged(account.mailbox, result.mailbox);
    if (result.noticeText)
        assignIfChanged(account.noticeText, *result.noticeText);
    if (result.linkUrl)
        assignIfChanged(account.linkUrl, *result.linkUrl);
    if (result.pageUrl)
        assignIfChanged(account.pageUrl, *result.pageUrl);
}

LoginResult Login(const QString &userName, const QString &password, const QString &type)
{
    LoginResult result = requestLogin(ServiceBase::Instance(), userName, password, type);
    storeLogin(AccountState::Instance(), result, userName, password);
    return result;
}
