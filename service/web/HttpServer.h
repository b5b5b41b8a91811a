#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>

#include <functional>

#include "service/guard/GuardedListener.h"
#include "service/web/HttpRequestParser.h"
#include "service/ServiceLimits.h"

class HttpConnection;

struct HttpReply {
    int status = 200;
    QByteArray contentType = "text/plain; charset=GBK";
    QByteArray body;
};

// A small HTTP/1.1 server for GET requests with keep-alive. The request
// target is handed over as raw bytes, so that the handler decides how query
// values are decoded (they may be GBK, encoded or not). A connection is served
// a few requests per turn, and is not read from while its replies wait to go
// out or while a reply is being made elsewhere: replies leave in the order of
// their requests.
class HttpServer : public QObject {
    Q_OBJECT
public:
    // Hands the reply to a request to its connection, once: at once, or later
    // on the event loop (when it was made on another thread).
    using Respond = std::function<void(const HttpReply &)>;
    using Handler = std::function<void(const HttpRequest &, Respond)>;

    static constexpr int kMaxHeaderBytes = HttpRequestParser::kMaxHeaderBytes;
    static constexpr int kMaxBodyBytes = HttpRequestParser::kMaxBodyBytes;

    // Connections are admitted through gate and held to limits.
    HttpServer(Handler onRequest, ConnectionGate &gate, const ServiceLimits &limits,
               QObject *parent = nullptr);
    ~HttpServer() override;

    bool listen(const QHostAddress &address, quint16 port);
    quint16 port() const { return listener.port(); }
    QString errorString() const { return listener.errorString(); }
    void close() { listener.close(); }
    // Log lines one connection may write per window.
    void setLogBudget(int lines, int windowSecs)
    {
        logLines = lines;
        logWindowSecs = windowSecs;
    }

    int connectionCount() const { return int(connections.size()); }
    // Reply bytes waiting to go out, over all connections.
    qint64 pendingOutput() const;

    static QByteArray statusText(int status);
    // A reply of the status and its text alone.
    static HttpReply plainReply(int status);
    // The reply as it goes on the wire.
    static QByteArray replyBytes(const HttpReply &reply, bool keepAlive, bool withBody);

private:
    friend class HttpConnection;

    Handler handler;
    const ServiceLimits limits;
    GuardedListener listener;
    QList<HttpConnection *> connections;
    int logLines = ServiceLimits().logLines;
    int logWindowSecs = ServiceLimits().logWindowSecs;
};
