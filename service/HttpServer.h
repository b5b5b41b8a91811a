#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QTcpServer>

#include <functional>

struct HttpRequest {
    QByteArray method;
    QByteArray path;  // raw, up to the "?"
    QByteArray query; // raw, after the "?"
    QByteArray version;
    QHash<QByteArray, QByteArray> headers; // names lower-cased
    QHostAddress peer;
    // Where the request came in, for building addresses back to us.
    QHostAddress localAddress;
    quint16 localPort = 0;

    QByteArray header(const QByteArray &lowerName) const { return headers.value(lowerName); }
};

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

    static constexpr int kMaxHeaderBytes = 16 * 1024;
    static constexpr int kMaxBodyBytes = 64 * 1024;

    explicit HttpServer(Handler handler, QObject *parent = nullptr);

    bool listen(const QHostAddress &address, quint16 port);
    quint16 port() const { return m_server.serverPort(); }
    QString errorString() const { return m_server.errorString(); }
    void close() { m_server.close(); }
    // A connection with no request for this long is closed.
    void setIdleTimeout(int ms) { m_idleTimeoutMs = ms; }

    static QByteArray statusText(int status);

private:
    void onNewConnection();

    QTcpServer m_server;
    Handler m_handler;
    int m_idleTimeoutMs = 30000;
};
