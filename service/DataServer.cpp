#include "DataServer.h"

#include <QDate>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QTimer>

#include "AccountStore.h"
#include "AdKey.h"
#include "AdStore.h"
#include "net/FrameCutter.h"
#include "net/MsgHeader.h"
#include "ServiceLog.h"

namespace {

std::string utf8(const QString &text)
{
    return text.toStdString();
}

QString fromUtf8(const std::string &text)
{
    return QString::fromStdString(text);
}

template <class Msg> bool parseBody(Msg &msg, const char *frame, int length)
{
    return msg.body.ParsePartialFromArray(frame + kFrameHeaderSize, length - kFrameHeaderSize);
}

void fillAd(Proto::OneAdInfo *info, const QString &gameWeb, const AdRecord &ad)
{
    info->set_strgameweb(utf8(gameWeb));
    info->set_stradvertisingweb(utf8(ad.site));
    info->set_stradname(utf8(ad.adName));
    info->set_strip(utf8(ad.ip));
    info->set_stropentime(utf8(ad.openTime()));
    info->set_strotherinfo(utf8(ad.otherInfo));
    info->set_iadcount(ad.adCount);
}

} // namespace

QByteArray encodeFrame(MsgHeader &msg)
{
    const google::protobuf::Message *body = msg.GetBody();
    const size_t bodySize = body ? body->ByteSizeLong() : 0;
    QByteArray frame(qsizetype(kFrameHeaderSize + bodySize), Qt::Uninitialized);
    const int length = msg.Encode(frame.data(), int(frame.size()));
    frame.truncate(length);
    return frame;
}

// One accepted socket: cuts frames, hands them to the server, sends answers.
class DataConnection : public QObject {
public:
    DataConnection(DataServer &server, QTcpSocket *socket, int id)
        : QObject(&server), m_server(server), m_socket(socket), m_id(id)
    {
        m_socket->setParent(this);
        m_peer = QStringLiteral("%1:%2").arg(socket->peerAddress().toString()).arg(socket->peerPort());
        m_idle.setSingleShot(true);
        m_idle.setInterval(server.idleTimeout());
        connect(&m_idle, &QTimer::timeout, this, [this] { closeWith(QStringLiteral("silent too long")); });
        connect(m_socket, &QTcpSocket::readyRead, this, [this] { onReadyRead(); });
        connect(m_socket, &QTcpSocket::disconnected, this,
                [this] { finish(m_closing ? QString() : QStringLiteral("closed by peer")); });
        m_idle.start();
    }
    ~DataConnection() override { m_socket->disconnect(this); }
    DataConnection(const DataConnection &) = delete;
    DataConnection &operator=(const DataConnection &) = delete;

    int id() const { return m_id; }
    const QString &user() const { return m_user; }
    void setUser(const QString &user) { m_user = user; }
    bool closing() const { return m_closing; }

    void log(const QString &text) const
    {
        ServiceLog::line(QStringLiteral("data #%1 %2 %3").arg(m_id).arg(m_peer, text));
    }

    void send(MsgHeader &msg) { sendFrame(encodeFrame(msg)); }

    void sendFrame(const QByteArray &frame)
    {
        if (m_closing || frame.isEmpty())
            return;
        m_socket->write(frame);
        if (m_socket->bytesToWrite() > DataServer::kMaxPendingBytes)
            closeWith(QStringLiteral("peer does not read its data"));
    }

    void closeWith(const QString &reason)
    {
        if (m_closing)
            return;
        m_closing = true;
        log(QStringLiteral("closing: ") + reason);
        m_idle.stop();
        m_socket->abort();
        finish(QString());
    }

private:
    void onReadyRead()
    {
        m_idle.start();
        while (!m_closing && m_socket->bytesAvailable() > 0) {
            char *area = m_cutter.writeArea();
            const qint64 got = m_socket->read(area, qint64(m_cutter.writeCapacity()));
            if (got <= 0)
                break;
            m_cutter.commit(size_t(got));
            const FrameCutter::Status status = m_cutter.cut([this](const char *frame, int length) {
                if (!m_closing)
                    m_server.handleFrame(*this, frame, length);
            });
            if (status == FrameCutter::Status::FrameTooLarge)
                closeWith(QStringLiteral("frame length %1 above the limit").arg(m_cutter.badLength()));
            else if (status == FrameCutter::Status::FrameTooSmall)
                closeWith(QStringLiteral("frame length %1 below the header").arg(m_cutter.badLength()));
        }
    }

    void finish(const QString &reason)
    {
        if (m_finished)
            return;
        m_finished = true;
        m_closing = true;
        if (!reason.isEmpty())
            log(reason);
        m_server.forget(this);
        deleteLater();
    }

    DataServer &m_server;
    QTcpSocket *m_socket;
    FrameCutter m_cutter;
    QTimer m_idle;
    QString m_peer;
    QString m_user;
    int m_id;
    bool m_closing = false;
    bool m_finished = false;
};

DataServer::DataServer(AccountStore &accounts, AdStore &ads, QObject *parent)
    : QObject(parent), m_accounts(accounts), m_ads(ads)
{
    connect(&m_server, &QTcpServer::newConnection, this, &DataServer::onNewConnection);
}

DataServer::~DataServer()
{
    // Connections are children; they must not call back into a half-destroyed server.
    const QList<DataConnection *> open = m_connections;
    m_connections.clear();
    qDeleteAll(open);
}

bool DataServer::listen(const QHostAddress &address, quint16 port)
{
    return m_server.listen(address, port);
}

void DataServer::close()
{
    m_server.close();
    for (DataConnection *c : QList<DataConnection *>(m_connections))
        c->closeWith(QStringLiteral("service stopping"));
}

void DataServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        auto *connection = new DataConnection(*this, socket, m_nextId++);
        m_connections.append(connection);
        connection->log(QStringLiteral("connected"));
        MsgConnected greeting;
        greeting.body.set_randomseed(int32_t(QRandomGenerator::global()->bounded(1 << 30)));
        connection->send(greeting);
    }
}

void DataServer::forget(DataConnection *connection)
{
    m_connections.removeOne(connection);
}

QByteArray DataServer::adsChangeFrame(const QString &user, const QStringList &changedUrls) const
{
    const std::optional<AccountRecord> account = m_accounts.account(user);
    if (!account)
        return {};
    MsgUserAdsChangeNtf ntf;
    ntf.body.set_ext(utf8(changedUrls.join(QLatin1Char(';'))));
    // The client refuses frames above its receive buffer (and would then
    // reconnect for ever), so a list that would not fit is cut short.
    const size_t budget = size_t(kMaxFrameLength - kFrameHeaderSize) - ntf.body.ByteSizeLong() - 16;
    size_t used = 0;
    int dropped = 0;
    const QDate today = QDate::currentDate();
    for (const MonitoredAddress &address : m_accounts.addresses(account->id)) {
        for (const AdRecord &ad : m_ads.adsForAddress(address, today)) {
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
                             .arg(user));
    return encodeFrame(ntf);
}

void DataServer::notifyUser(const QString &user, const QStringList &changedUrls)
{
    QByteArray frame;
    for (DataConnection *c : QList<DataConnection *>(m_connections)) {
        if (c->user() != user || c->closing())
            continue;
        if (frame.isEmpty())
            frame = adsChangeFrame(user, changedUrls);
        c->log(QStringLiteral("ads change -> %1 (%2)")
                   .arg(user,
                        changedUrls.isEmpty() ? QStringLiteral("all") : changedUrls.join(QLatin1Char(';'))));
        c->sendFrame(frame);
    }
}

void DataServer::notifyGameWebs(const QStringList &gameWebs)
{
    bool anyone = false;
    for (const DataConnection *c : m_connections)
        anyone = anyone || !c->user().isEmpty();
    if (!anyone || gameWebs.isEmpty())
        return;
    for (const auto &[user, urls] : m_accounts.watchers(gameWebs))
        notifyUser(user, urls);
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

void logSearch(const DataConnection &c, const char *what, const QString &key, int index, qsizetype rows,
               int total)
{
    c.log(QStringLiteral("search %1 \"%2\" page %3 -> %4 of %5")
              .arg(QLatin1String(what), key)
              .arg(index)
              .arg(rows)
              .arg(total));
}

} // namespace

void DataServer::handleFrame(DataConnection &c, const char *frame, int length)
{
    const int32_t type = ReadLe32(frame + 4);
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
    const std::optional<AccountRecord> account = m_accounts.account(user);
    const bool ok = account && !user.isEmpty() && account->password == fromUtf8(req.body.password());
    MsgUserLoginAck ack;
    ack.body.set_code(ok ? 0 : 1);
    ack.body.set_info(utf8(ok ? QStringLiteral("登录成功") : QStringLiteral("用户名或密码错误")));
    c.setUser(ok ? user : QString());
    c.log(
        QStringLiteral("login %1 %2").arg(user, ok ? QStringLiteral("accepted") : QStringLiteral("refused")));
    c.send(ack);
    if (ok)
        c.sendFrame(adsChangeFrame(user, {}));
}

void DataServer::sendCatalogue(DataConnection &c)
{
    MsgGetAdvertisingWebInfoNtf ntf;
    for (const SiteRecord &s : m_ads.catalogue()) {
        Proto::AdvertisingWebInfo *info = ntf.body.add_weblist();
        info->set_strwebmain(utf8(s.name));
        info->set_strdomain(utf8(s.domain));
        for (const QString &url : s.urls)
            info->add_hweburldetai(utf8(url));
        info->set_istarttype(s.startType);
        info->set_iupdatetime(int32_t(s.updateTime));
        info->set_isizereal(s.sizeReal);
        info->set_iadcount(s.adCount);
        info->set_strextinfo(utf8(s.extInfo));
    }
    ntf.body.set_ext(std::string());
    c.log(QStringLiteral("catalogue -> %1 sites").arg(ntf.body.weblist_size()));
    c.send(ntf);
    MsgGetAdvertisingWebInfoAck ack;
    ack.body.add_code(0);
    c.send(ack);
}

void DataServer::searchAds(DataConnection &c, const MsgUserSearchAdsReq &req)
{
    const QString key = fromUtf8(req.body.key());
    const AdQuery query = AdQuery::parse(key, fromUtf8(req.body.adweb()), QDate::currentDate());
    const AdPage page = m_ads.searchAds(query, req.body.index());
    MsgUserSearchAdsAck ack;
    for (const AdRecord &ad : page.ads)
        fillAd(ack.body.add_adslist(), ad.gameWeb, ad);
    for (const SiteTimeCount &count : page.counts) {
        Proto::OneAdInfoCount *info = ack.body.add_adslistcount();
        info->set_stradvertisingweb(utf8(count.site));
        info->set_stropentime(utf8(count.openTime));
        info->set_icount(count.count);
    }
    ack.body.set_ext(std::string());
    ack.body.set_seachtype(page.last ? 1 : 0);
    ack.body.set_count(page.total);
    logSearch(c, "ads", key, req.body.index(), page.ads.size(), page.total);
    c.send(ack);
}

void DataServer::searchForwards(DataConnection &c, const MsgUserSearchForwardReq &req)
{
    const QString key = fromUtf8(req.body.key()).trimmed();
    const ForwardPage page = m_ads.searchForwards(key, req.body.index());
    MsgUserSearchForwardAck ack;
    for (const ForwardRecord &r : page.rows) {
        Proto::ForwardInfo *info = ack.body.add_forwardlist();
        info->set_mainurl(utf8(r.mainUrl));
        info->set_maindomain(utf8(r.mainDomain));
        info->set_forwardurl(utf8(r.forwardUrl));
        info->set_forwarddomain(utf8(r.forwardDomain));
        info->set_updatetime(utf8(r.updateTime));
    }
    ack.body.set_ext(std::string());
    ack.body.set_key(req.body.key());
    ack.body.add_index(req.body.index());
    ack.body.set_count(page.total);
    logSearch(c, "redirects", key, req.body.index(), page.rows.size(), page.total);
    c.send(ack);
}

void DataServer::searchHistory(DataConnection &c, const MsgUserSearchHisReq &req)
{
    const QString key = fromUtf8(req.body.key()).trimmed();
    const HistoryPage page = m_ads.searchHistory(key, req.body.index());
    MsgUserSearchHisAck ack;
    for (const HistoryRecord &r : page.rows) {
        Proto::HisAdInfo *info = ack.body.add_adslist();
        info->set_strgameweb(utf8(r.gameWeb));
        info->set_strgamewebdomain(utf8(r.gameDomain));
        info->set_stradvertisingweb(utf8(r.site));
        info->set_stropentime(utf8(r.openTime));
        info->set_iadcount(r.adCount);
    }
    ack.body.set_ext(std::string());
    ack.body.set_index(req.body.index());
    ack.body.set_count(page.total);
    logSearch(c, "history", key, req.body.index(), page.rows.size(), page.total);
    c.send(ack);
}
