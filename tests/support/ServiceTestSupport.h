#pragma once

#include <QByteArray>
#include <QDate>
#include <QHostAddress>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "net/ConnectSession.h"
#include "net/MsgHeader.h"
#include "service/Service.h"
#include "service/store/ServiceRecords.h"
#include "tests/support/ScratchDatabase.h"

namespace ServiceTest {

// Pumps the event loop until done() holds or the deadline passes.
bool waitFor(const std::function<bool()> &done, int timeoutMs = 10000);

// A service on free loopback ports over a fresh database, on the test's own
// event loop: a file, or with KESTREL_TEST_BACKEND=postgres a new database on
// the test cluster.
class LocalService {
public:
    explicit LocalService(Backend backend = ScratchDatabases::backendFromEnvironment());
    ~LocalService();
    // Starts with options, on free ports and the fresh database.
    bool start();
    Service &operator*() { return *service; }
    Service *operator->() { return service.get(); }
    QString databasePath() const { return database.isEmpty() ? scratch.address() : database; }
    QUrl webUrl(const QString &pathAndQuery) const;

    // The client's files and anything else a test keeps.
    QTemporaryDir dir;
    ScratchDatabase scratch;
    // Another database to use instead (one that another instance uses).
    QString database;
    // Set limits or the public address here before start(); password hashing
    // is made cheap for tests.
    ServiceOptions options = testOptions();
    std::unique_ptr<Service> service;

    static ServiceLimits testLimits();
    static ServiceOptions testOptions();
};

// An account as a logged-in client sees it: QQ, mailbox, notice, a link to
// the service's root and its banner page filled in.
AccountRecord sampleAccount(const QString &user, const QString &password);
// Saves the account; its id, or 0 when the store refused it.
qint64 seedAccount(LocalService &service, const AccountRecord &account);

// A GET through QNetworkAccessManager; status 0 when no reply came.
struct HttpResult {
    int status = 0;
    QByteArray body;
    QString text() const; // body decoded from GBK
};
HttpResult httpGet(const QUrl &url);
// The same request written by hand, so that raw (unencoded) bytes go out;
// from a given local address when one is named (127.x.y.z on loopback).
HttpResult rawHttpGet(quint16 port, const QByteArray &target, const QHostAddress &from = {});

// The signed query a client sends: user, pass, type, rand, time, check.
// Values are percent-encoded as GBK unless raw is set.
QByteArray signedQuery(const QString &user, const QString &password, const QString &type, qint64 time,
                       bool raw = false);
QByteArray encodeValue(const QString &value);

// An ad opening on today + dayOffset.
AdRecord makeAd(const QString &gameWeb, const QString &site, const QString &name, int dayOffset,
                const QString &slot, const QString &other = QString());

// Collects every line of the service log while it lives, instead of writing
// them to standard error.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;
    QStringList lines() const;
    // Lines that contain the text.
    QStringList matching(const QString &text) const;

private:
    mutable std::mutex lock;
    QStringList captured;
};

// Takes the first message of the type out of a queue of received ones.
std::unique_ptr<MsgHeader> takeOfType(std::deque<std::unique_ptr<MsgHeader>> &queue, int type);

// The client's own connection worker on its thread, collecting every message.
class DataClient : public IConnectSessionHandler {
public:
    explicit DataClient(quint16 port);
    ~DataClient() override;
    void OnMessage(std::unique_ptr<MsgHeader> msg) override;

    void send(MsgHeader &msg) { session.Send(msg); }
    // Waits for the next message of the type and takes it out of the queue.
    template <class T> std::unique_ptr<T> next(int timeoutMs = 10000)
    {
        std::unique_ptr<MsgHeader> msg = take(T::kType, timeoutMs);
        return std::unique_ptr<T>(static_cast<T *>(msg.release()));
    }
    std::unique_ptr<MsgHeader> take(int type, int timeoutMs);
    // Types received and not yet taken, in order.
    std::vector<int> pendingTypes();
    // Sends a login request (after the greeting).
    void sendLogIn(const QString &user, const QString &password);
    // Greeting, login and the notification that follows a good login.
    bool logIn(const QString &user, const QString &password);

    ConnectSession session;

private:
    std::mutex queueLock;
    std::deque<std::unique_ptr<MsgHeader>> received;
    std::thread worker;
};

} // namespace ServiceTest
