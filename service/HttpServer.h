#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QTcpServer>

#include <functional>

#include "service/HttpRequestParser.h"
#include "service/ServiceLimits.h"

struct HttpReply {
    int status = 200;
    QByteArray contentType = "text/plain; charset=GBK";
    QByteArray body;
};

// A small HTTP/1.1 server for GET requests with keep-alive. The request
// target is handed over as raw bytes, so that the handler decides how query
// values are decoded (they may be GBK, encoded or not).
class HttpServer : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<HttpReply(const HttpRequest &)>;

    static constexpr int kMaxHeaderBytes = HttpRequestParser::kMaxHeaderBytes;
    static constexpr int kMaxBodyBytes = HttpRequestParser::kMaxBodyBytes;

    explicit HttpServer(Handler onRequest, QObject *parent = nullptr);

    bool listen(const QHostAddress &address, quint16 port);
    quint16 port() const { return server.serverPort(); }
    QString errorString() const { return server.errorString(); }
    void close() { server.close(); }
    // A connection with no request for this long is closed.
    void setIdleTimeout(int ms) { idleTimeoutMs = ms; }
    // Log lines one connection may write per window.
    void setLogBudget(int lines, int windowSecs)
    {
        logLines = lines;
        logWindowSecs = windowSecs;
    }

    static QByteArray statusText(int status);

private:
    void onNewConnection();

    QTcpServer server;
    Handler handler;
    int idleTimeoutMs = 30000;
    int logLines = ServiceLimits().logLines;
    int logWindowSecs = ServiceLimits().logWindowSecs;
};
