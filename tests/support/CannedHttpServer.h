#pragma once

#include <functional>
#include <future>
#include <mutex>

#include <QByteArray>
#include <QList>
#include <QThread>

// An HTTP server on 127.0.0.1 with an ephemeral port, running on its own
// thread so that clients on any thread (the test's main thread included)
// can block on it. Each request gets the reply the handler makes from the
// request target ("/path?query"); the connection is closed after it.
class CannedHttpServer : public QThread {
public:
    struct Reply {
        QByteArray bytes;     // written as they stand
        bool silent = false;  // accept, read, never answer
        bool trickle = false; // headers, then one body byte every 50 ms
    };
    using Handler = std::function<Reply(const QByteArray &target)>;

    static Reply ok(const QByteArray &body) { return withStatus(200, body); }
    static Reply withStatus(int status, const QByteArray &body);
    static Reply silent() { return Reply{{}, true, false}; }
    static Reply trickle() { return Reply{{}, false, true}; }

    explicit CannedHttpServer(Handler handler);
    ~CannedHttpServer() override;

    quint16 port() const { return listeningPort; }
    QString address() const;
    // Request targets in arrival order.
    QList<QByteArray> targets() const;
    void setHandler(Handler newHandler);

protected:
    void run() override;

private:
    Reply answer(const QByteArray &target);

    mutable std::mutex mutex;
    Handler handler;
    QList<QByteArray> received;
    quint16 listeningPort = 0;
    std::promise<void> listening;
};

// Decodes a query value the way the service does: %XX escapes to bytes,
// the bytes from GBK.
QString decodeQueryValue(const QByteArray &encoded);
// The decoded value of one parameter of a request target; null when absent.
QString QueryParameter(const QByteArray &target, const QByteArray &key);
