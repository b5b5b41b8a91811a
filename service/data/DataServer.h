#pragma once

#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QStringList>

#include <functional>

#include "net/MsgHeader.h"
#include "service/guard/GuardedListener.h"
#include "service/ServiceLimits.h"

class AccountStore;
class AdStore;
class DataConnection;
class LoginThrottle;
class SearchPool;

// The data server: protobuf frames over TCP. Greets every connection, logs
// users in, answers the catalogue and the three searches, and pushes the ads
// of a user's monitored addresses whenever they change.
class DataServer : public QObject {
    Q_OBJECT
public:
    // Connections are admitted through gate and held to limits.
    DataServer(AccountStore &accountStore, AdStore &adStore, ConnectionGate &gate, LoginThrottle &throttle,
               const ServiceLimits &limits, QObject *parent = nullptr);
    ~DataServer() override;

    // What to send once a search or password check is done; made on some
    // thread, run on the event loop.
    using Answer = std::function<void(DataConnection &)>;

    bool listen(const QHostAddress &address, quint16 port);
    // Moves searches and password checks off the event loop onto these
    // threads (which outlive the server); without them they run on the
    // event loop.
    void useSearchThreads(SearchPool *threads) { searchPool = threads; }
    quint16 port() const { return listener.port(); }
    QString errorString() const { return listener.errorString(); }
    void close();

    int connectionCount() const { return int(connections.size()); }

    // Sends every connection logged in as user the complete ads of its
    // monitored addresses; changedUrls go into Ext (empty: all).
    void notifyUser(const QString &user, const QStringList &changedUrls);
    // New ad data for these game addresses: every logged-in user that
    // monitors one of them is told.
    void notifyGameWebs(const QStringList &gameWebs);
    // Sends every logged-in connection its complete list, as after its login,
    // for when changes may have been missed.
    void notifyEveryone();

private:
    friend class DataConnection;

    void onAdmitted(QTcpSocket *socket, ConnectionGate::Ticket ticket);
    void forget(DataConnection *connection);
    // Encoded notification for a user, or empty when the user is unknown.
    QByteArray adsChangeFrame(const QString &user, const QStringList &changedUrls) const;
    // The logged-in connections of each user.
    QHash<QString, QList<DataConnection *>> connectionsByUser() const;
    void sendChange(const QList<DataConnection *> &to, const QString &user, const QStringList &changedUrls,
                    const QByteArray &frame);
    // Each user's connections their notification with the urls given (none: all).
    void sendChanges(const QHash<QString, QList<DataConnection *>> &online,
                     const QList<std::pair<QString, QStringList>> &told);
    void handleFrame(DataConnection &connection, const char *frame, int length);
    void logIn(DataConnection &connection, const MsgUserLoginReq &req);
    void sendCatalogue(DataConnection &connection);
    void searchAds(DataConnection &connection, const MsgUserSearchAdsReq &req);
    void searchForwards(DataConnection &connection, const MsgUserSearchForwardReq &req);
    void searchHistory(DataConnection &connection, const MsgUserSearchHisReq &req);
    // Runs work on a search thread if there are any, holding the
    // connection's next frames until its answer has gone out.
    void runOffLoop(DataConnection &connection, std::function<Answer(AdStore &)> work);
    // In the order of the texts the client is sent.
    enum class LoginOutcome { Accepted, Refused, HeldBack, StoreFailed };
    void finishLogIn(DataConnection &connection, const QString &user, LoginOutcome outcome);

    AccountStore &accounts;
    AdStore &ads;
    LoginThrottle &throttle;
    const ServiceLimits limits;
    GuardedListener listener;
    QList<DataConnection *> connections;
    int nextId = 1;
    SearchPool *searchPool = nullptr;
};
