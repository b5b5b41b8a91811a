#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

#include "service/web/HttpServer.h"
#include "service/web/ReplayGuard.h"
#include "service/ServiceLimits.h"
#include "service/web/SignUpLimit.h"
#include "service/store/ServiceRecords.h"

class AccountStore;
class LoginThrottle;
class SearchPool;

// The web service's endpoints: login, the monitored-address list, account
// creation and the service's own banner page. Replies are GBK text.
class WebService : public QObject {
    Q_OBJECT
public:
    using Clock = std::function<qint64()>;

    // Result codes of the "|" replies; 0 is success.
    enum Code { Ok = 0, BadLogin = 1, BadCheck = 2, StaleTime = 3, BadRequest = 4, Refused = 5, Failed = 6 };

    WebService(AccountStore &accounts, LoginThrottle &throttle, const ServiceLimits &limits,
               QObject *parent = nullptr);

    // Answers through respond: at once, or, for a request that carries a
    // password, once the password is checked.
    void handle(const HttpRequest &request, HttpServer::Respond respond);
    // Passwords are checked on these threads (a check costs tens of
    // milliseconds); without them, on the event loop.
    void useSearchThreads(SearchPool *threads) { pool = threads; }
    void setClock(Clock clock) { now = std::move(clock); }
    // Shown to accounts that have no notice line of their own.
    void setDefaultNotice(const QString &notice) { defaultNotice = notice; }
    // Where clients reach the service ("http://host:port", no trailing "/"),
    // for the links it hands out; empty: the address a request came in on.
    void setPublicUrl(const QString &url) { publicUrl = url; }

    // Query values, percent-decoded from GBK; the first of a repeated name wins.
    static QHash<QString, QString> parseQuery(const QByteArray &query);

signals:
    // The monitored addresses of a user were added, changed or removed.
    void addressesChanged(const QString &user, const QStringList &urls);

private:
    // What a request signed with a good password does, on the event loop.
    using WithAccount = std::function<HttpReply(const AccountRecord &)>;
    // Checks a signed request (digest, time, back-off, password, replay) and
    // responds with withAccount's reply or the refusal.
    void authenticate(const HttpRequest &request, const QHash<QString, QString> &args,
                      const QStringList &types, HttpServer::Respond respond, WithAccount withAccount);
    // The request's password against the stored one; done runs on the event loop.
    void checkPassword(const QString &stored, const QString &password, std::function<void(bool)> done);

    HttpReply login(const HttpRequest &request, const AccountRecord &account);
    HttpReply domainInfo(const AccountRecord &account);
    HttpReply addDomain(const AccountRecord &account, const QHash<QString, QString> &args);
    HttpReply delDomain(const AccountRecord &account, const QHash<QString, QString> &args);
    HttpReply accountAdd(const HttpRequest &request, const QHash<QString, QString> &args);
    HttpReply page(const HttpRequest &request, bool banner) const;

    static HttpReply text(const QString &body);
    static HttpReply failure(int code, const QString &message);
    // value as it stands, or, when it is a path, that path on this service.
    QString selfAddress(const HttpRequest &request, const QString &value) const;

    AccountStore &accounts;
    LoginThrottle &throttle;
    const int maxAddresses;
    SearchPool *pool = nullptr;
    ReplayGuard replays;
    SignUpLimit signUps;
    Clock now;
    QString defaultNotice;
    QString publicUrl;
};
