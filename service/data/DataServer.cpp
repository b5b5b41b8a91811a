#include "service/data/DataServer.h"

#include <QDate>
#include <QPointer>
#include <QRandomGenerator>
#include <QTcpSocket>

#include "service/store/AccountStore.h"
#include "service/search/AdKey.h"
#include "service/search/AdStore.h"
#include "service/guard/LoginThrottle.h"
#include "service/store/PasswordHash.h"
#include "service/search/SearchPool.h"
#include "net/MsgHeader.h"
#include "base/ThreadHandoff.h"
#include "service/ServiceLog.h"
#include "service/data/DataConnection.h"
#include "service/data/DataMessages.h"

using namespace DataMessages;

DataServer::DataServer(AccountStore &accountStore, AdStore &adStore, ConnectionGate &gate,
                       LoginThrottle &throttle, const ServiceLimits &serviceLimits, QObject *parent)
    : QObject(parent), accounts(accountStore), ads(adStore), throttle(throttle), limits(serviceLimits),
      // A refused client sees the connection closed at once.
      listener(QStringLiteral("data"), gate, QByteArray(),
               [this](QTcpSocket *socket, ConnectionGate::Ticket ticket) {
                   onAdmitted(socket, std::move(ticket));
               })
{
}

DataServer::~DataServer()
{
    // Connections are children; they must not call back into a half-destroyed server.
    const QList<DataConnection *> open = connections;
    connections.clear();
    qDeleteAll(open);
}

bool DataServer::listen(const QHostAddress &address, quint16 port)
{
    return listener.listen(address, port);
}

void DataServer::runOffLoop(DataConnection &c, std::function<Answer(AdStore &)> work)
{
    if (!searchPool) {
        work(ads)(c);
        return;
    }
    c.holdInput();
    QPointer<DataConnection> target(&c);
    searchPool->run([this, target, work = std::move(work)](AdStore &store) {
        Answer answer = work(store);
        base::postQueued(this, [target, answer = std::move(answer)] {
            if (!target || target->closing())
                return;
            answer(*target);
            target->resumeInput();
        });
    });
}

void DataServer::close()
{
    listener.close();
    for (DataConnection *c : QList<DataConnection *>(connections))
        c->closeWith(QStringLiteral("service stopping"));
}

void DataServer::onAdmitted(QTcpSocket *socket, ConnectionGate::Ticket ticket)
{
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    auto *connection = new DataConnection(*this, socket, std::move(ticket), nextId++);
    connections.append(connection);
    connection->log(QStringLiteral("connected"));
    MsgConnected greeting;
    greeting.body.set_randomseed(int32_t(QRandomGenerator::global()->bounded(1 << 30)));
    connection->send(greeting);
}

void DataServer::forget(DataConnection *connection)
{
    connections.removeOne(connection);
}

namespace {

// The ads each monitored address shows, read once per notification however
// many of the users told share the address.
class AddressAds {
public:
    AddressAds(const AdStore &ads) : ads(ads), today(QDate::currentDate()) {}

    const QList<AdRecord> &of(const MonitoredAddress &address)
    {
        const QString key = address.url + QLatin1Char('\n') + address.publishing + QLatin1Char('\n') +
                            QString::number(address.jinminhou);
        auto found = read.find(key);
        if (found == read.end())
            found = read.insert(key, ads.adsForAddress(address, today));
        return *found;
    }

private:
    const AdStore &ads;
    const QDate today;
    QHash<QString, QList<AdRecord>> read;
};

// The notification for a user with these addresses.
QByteArray changeFrame(const QString &user, const QStringList &changedUrls,
                       const QList<MonitoredAddress> &addresses, AddressAds &adsOf)
{
    MsgUserAdsChangeNtf ntf;
    ntf.body.set_ext(utf8(changedUrls.join(QLatin1Char(';'))));
    // The client refuses frames above its receive buffer (and would then
    // reconnect for ever), so a list that would not fit is cut short.
    const size_t budget = size_t(kMaxFrameLength - kFrameHeaderSize) - ntf.body.ByteSizeLong() - 16;
    size_t used = 0;
    int dropped = 0;
    for (const MonitoredAddress &address : addresses) {
        for (const AdRecord &ad : adsOf.of(address)) {
            Proto::OneAdInfo info;
            fillAd(&info, address.url, ad);
            const size_t size = info.ByteSizeLong() + 6; // tag and length prefix
            if (used + size > budget) {
                ++dropped;
                continue;
            }
            used += size;
            *ntf.body.add_adslist() = std::move(info);
        }
    }
    if (dropped > 0)
        ServiceLog::line(QStringLiteral("data: %1 ads of %2 left out of a notification too large for a frame")
                             .arg(dropped)
                             .arg(ServiceLog::value(user)));
    return encodeFrame(ntf);
}

} // namespace

QByteArray DataServer::adsChangeFrame(const QString &user, const QStringList &changedUrls) const
{
    const std::optional<AccountRecord> account = accounts.account(user);
    if (!account)
        return {};
    AddressAds adsOf(ads);
    return changeFrame(user, changedUrls, accounts.addresses(account->id), adsOf);
}

QHash<QString, QList<DataConnection *>> DataServer::connectionsByUser() const
{
    QHash<QString, QList<DataConnection *>> byUser;
    for (DataConnection *c : connections) {
        if (!c->user().isEmpty() && !c->closing())
            byUser[c->user()].append(c);
    }
    return byUser;
}

void DataServer::sendChange(const QList<DataConnection *> &to, const QString &user,
                            const QStringList &changedUrls, const QByteArray &frame)
{
    const QString what =
        ServiceLog::value(changedUrls.isEmpty() ? QStringLiteral("all") : changedUrls.join(QLatin1Char(';')));
    for (DataConnection *c : to) {
        c->log(QStringLiteral("ads change -> %1 (%2)").arg(ServiceLog::value(user), what));
        c->sendFrame(frame);
    }
}

void DataServer::notifyUser(const QString &user, const QStringList &changedUrls)
{
    const QList<DataConnection *> to = connectionsByUser().value(user);
    if (!to.isEmpty())
        sendChange(to, user, changedUrls, adsChangeFrame(user, changedUrls));
}

void DataServer::notifyGameWebs(const QStringList &gameWebs)
{
    const QHash<QString, QList<DataConnection *>> online = connectionsByUser();
    if (online.isEmpty() || gameWebs.isEmpty())
        return;
    QList<std::pair<QString, QStringList>> told;
    for (auto &[user, urls] : accounts.watchers(gameWebs)) {
        if (online.contains(user))
            told.append({user, std::move(urls)});
    }
    sendChanges(online, told);
}

void DataServer::notifyEveryone()
{
    const QHash<QString, QList<DataConnection *>> online = connectionsByUser();
    QList<std::pair<QString, QStringList>> told;
    for (auto it = online.cbegin(); it != online.cend(); ++it)
        told.append({it.key(), QStringList()});
    sendChanges(online, told);
}

void DataServer::sendChanges(const QHash<QString, QList<DataConnection *>> &online,
                             const QList<std::pair<QString, QStringList>> &told)
{
    if (told.isEmpty())
        return;
    QStringList users;
    for (const auto &[user, urls] : told)
        users.append(user);
    // A thousand watchers of one address cost two reads of the database,
    // not three per watcher.
    const std::optional<QHash<QString, QList<MonitoredAddress>>> lists = accounts.addressesOf(users);
    AddressAds adsOf(ads);
    for (const auto &[user, urls] : told) {
        const QByteArray frame =
            lists ? changeFrame(user, urls, lists->value(user), adsOf) : adsChangeFrame(user, urls);
        sendChange(online.value(user), user, urls, frame);
    }
}

namespace {

// Requests other than the login and the heartbeat are answered only for a
// logged-in connection.
bool loggedIn(DataConnection &c, int type)
{
    if (!c.user().isEmpty())
        return true;
    c.log(QStringLiteral("type %1 before login ignored").arg(type));
    return false;
}

template <class Req> bool readBody(DataConnection &c, Req &req, const char *frame, int length)
{
    if (parseBody(req, frame, length))
        return true;
    c.closeWith(QStringLiteral("unparsable body of type %1").arg(Req::kType));
    return false;
}

template <class Req> bool readRequest(DataConnection &c, Req &req, const char *frame, int length)
{
    return readBody(c, req, frame, length) && loggedIn(c, Req::kType);
}

// A search whose statement failed is logged as such (the store has logged
// the cause); the client, which has no error field, sees an empty page.
void logSearch(DataConnection &c, const char *what, const QString &key, int index, qsizetype rows, int total,
               bool failed)
{
    if (failed) {
        c.log(QStringLiteral("search %1 \"%2\" page %3 failed")
                  .arg(QLatin1String(what), ServiceLog::value(key))
                  .arg(index));
        return;
    }
    c.log(QStringLiteral("search %1 \"%2\" page %3 -> %4 of %5")
              .arg(QLatin1String(what), ServiceLog::value(key))
              .arg(index)
              .arg(rows)
              .arg(total));
}

} // namespace

void DataServer::handleFrame(DataConnection &c, const char *frame, int length)
{
    const int32_t type = readLe32(frame + 4);
    switch (type) {
    case kMsgAllHeartBeatNtf: {
        MsgAllHeartBeatNtf beat;
        readBody(c, beat, frame, length);
        return;
    }
    case kMsgUserLoginReq: {
        MsgUserLoginReq req;
        if (readBody(c, req, frame, length))
            logIn(c, req);
        return;
    }
    case kMsgGetAdvertisingWebInfoReq:
        if (loggedIn(c, type))
            sendCatalogue(c);
        return;
    case kMsgUserSearchAdsReq: {
        MsgUserSearchAdsReq req;
        if (readRequest(c, req, frame, length))
            searchAds(c, req);
        return;
    }
    case kMsgUserSearchForwardReq: {
        MsgUserSearchForwardReq req;
        if (readRequest(c, req, frame, length))
            searchForwards(c, req);
        return;
    }
    case kMsgUserSearchHisReq: {
        MsgUserSearchHisReq req;
        if (readRequest(c, req, frame, length))
            searchHistory(c, req);
        return;
    }
    default:
        c.log(QStringLiteral("frame of type %1 ignored").arg(type));
        return;
    }
}

void DataServer::logIn(DataConnection &c, const MsgUserLoginReq &req)
{
    const QString user = fromUtf8(req.body.username());
    const QString password = fromUtf8(req.body.password());
    const bool allowed = throttle.allows(user, c.address());
    // The stored hash is read here; checking it costs tens of milliseconds
    // and runs beside the event loop, so a crowd logging in at once (say
    // after a restart) delays nobody else.
    const bool check = allowed && !user.isEmpty();
    bool unread = false;
    const std::optional<AccountRecord> account = check ? accounts.account(user, &unread) : std::nullopt;
    if (unread) {
        finishLogIn(c, user, LoginOutcome::StoreFailed);
        return;
    }
    const QString stored = account ? account->password : QString();
    const PasswordHash hash = accounts.passwordHash();
    runOffLoop(c, [this, user, password, allowed, check, stored, hash](AdStore &) -> Answer {
        const bool ok = check && AccountStore::passwordMatches(stored, password, hash);
        const LoginOutcome outcome = ok        ? LoginOutcome::Accepted
                                     : allowed ? LoginOutcome::Refused
                                               : LoginOutcome::HeldBack;
        return [this, user, outcome](DataConnection &c) { finishLogIn(c, user, outcome); };
    });
}

void DataServer::finishLogIn(DataConnection &c, const QString &user, LoginOutcome outcome)
{
    const bool ok = outcome == LoginOutcome::Accepted;
    if (ok)
        throttle.succeeded(user);
    else if (outcome == LoginOutcome::Refused)
        throttle.failed(user, c.address());
    MsgUserLoginAck ack;
    ack.body.set_code(ok ? 0 : 1);
    static const QString kInfo[] = {QStringLiteral("登录成功"), QStringLiteral("用户名或密码错误"),
                                    QStringLiteral("登录失败次数过多，请稍后再试"),
                                    QStringLiteral("服务器繁忙，请稍后再试")};
    static const QString kLogged[] = {QStringLiteral("accepted"), QStringLiteral("refused"),
                                      QStringLiteral("held back"),
                                      QStringLiteral("not checked: the database cannot be read")};
    ack.body.set_info(utf8(kInfo[int(outcome)]));
    c.setUser(ok ? user : QString());
    c.log(QStringLiteral("login %1 %2").arg(ServiceLog::value(user), kLogged[int(outcome)]));
    c.send(ack);
    if (ok)
        c.sendFrame(adsChangeFrame(user, {}));
}

void DataServer::sendCatalogue(DataConnection &c)
{
    MsgGetAdvertisingWebInfoNtf ntf;
    for (const SiteRecord &s : ads.catalogue())
        fillSite(ntf.body.add_weblist(), s);
    ntf.body.set_ext(std::string());
    c.log(QStringLiteral("catalogue -> %1 sites").arg(ntf.body.weblist_size()));
    c.send(ntf);
    MsgGetAdvertisingWebInfoAck ack;
    ack.body.add_code(0);
    c.send(ack);
}

namespace {

DataServer::Answer adsAnswer(const QString &key, int index, const AdPage &page)
{
    return [key, index, page](DataConnection &c) {
        MsgUserSearchAdsAck ack;
        for (const AdRecord &ad : page.ads)
            fillAd(ack.body.add_adslist(), ad.gameWeb, ad);
        for (const SiteTimeCount &count : page.counts)
            fillAdCount(ack.body.add_adslistcount(), count);
        ack.body.set_ext(std::string());
        ack.body.set_seachtype(page.last ? 1 : 0);
        ack.body.set_count(page.total);
        logSearch(c, "ads", key, index, page.ads.size(), page.total, page.failed);
        c.send(ack);
    };
}

} // namespace

void DataServer::searchAds(DataConnection &c, const MsgUserSearchAdsReq &req)
{
    const QString key = fromUtf8(req.body.key());
    const int index = req.body.index();
    const AdQuery query = AdQuery::parse(key, fromUtf8(req.body.adweb()), QDate::currentDate(),
                                         limits.keyTerms, limits.keyChars);
    if (query.cut)
        c.log(QStringLiteral("search key of %1 characters cut to the limits").arg(key.size()));
    // A page the cache holds costs nothing: answered here and now.
    if (const std::optional<AdPage> cached = ads.cachedAds(query, index)) {
        adsAnswer(key, index, *cached)(c);
        return;
    }
    runOffLoop(c, [key, index, query](AdStore &store) {
        return adsAnswer(key, index, store.searchAds(query, index));
    });
}

namespace {

// The redirect and the history search: a cleaned key, one page of rows run
// off the loop, and an answer that says how many rows there are in all.
// `search` reads the page; `fill` puts its rows and the request's echo into
// the answer.
template <class Ack, class Page, class Search, class Fill>
DataServer::Answer keyPageAnswer(const char *what, const QString &key, int index, AdStore &store,
                                 Search search, Fill fill)
{
    const Page page = search(store);
    return [what, key, index, page, fill](DataConnection &c) {
        Ack ack;
        fill(ack.body, page);
        ack.body.set_ext(std::string());
        ack.body.set_count(page.total);
        logSearch(c, what, key, index, page.rows.size(), page.total, page.failed);
        c.send(ack);
    };
}

} // namespace

void DataServer::searchForwards(DataConnection &c, const MsgUserSearchForwardReq &req)
{
    const QString key = AdKey::clean(fromUtf8(req.body.key()), limits.keyChars).trimmed();
    const std::string asSent = req.body.key();
    const int index = req.body.index();
    runOffLoop(c, [key, asSent, index](AdStore &store) {
        return keyPageAnswer<MsgUserSearchForwardAck, ForwardPage>(
            "redirects", key, index, store, [&](AdStore &s) { return s.searchForwards(key, index); },
            [asSent, index](Proto::UserSearchForwardAck &body, const ForwardPage &page) {
                for (const ForwardRecord &r : page.rows)
                    fillForward(body.add_forwardlist(), r);
                body.set_key(asSent);
                body.add_index(index);
            });
    });
}

void DataServer::searchHistory(DataConnection &c, const MsgUserSearchHisReq &req)
{
    const QString key = AdKey::clean(fromUtf8(req.body.key()), limits.keyChars).trimmed();
    const int index = req.body.index();
    runOffLoop(c, [key, index](AdStore &store) {
        return keyPageAnswer<MsgUserSearchHisAck, HistoryPage>(
            "history", key, index, store, [&](AdStore &s) { return s.searchHistory(key, index); },
            [index](Proto::UserSearchHisAck &body, const HistoryPage &page) {
                for (const HistoryRecord &r : page.rows)
                    fillHistory(body.add_adslist(), r);
                body.set_index(index);
            });
    });
}
