#include "HttpServer.h"

#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

#include "ServiceLog.h"

namespace {

// One accepted socket: reads requests one after another and answers each.
class HttpConnection : public QObject {
public:
    HttpConnection(QTcpSocket *socket, const HttpServer::Handler &handler, int idleTimeoutMs, QObject *parent)
        : QObject(parent), m_socket(socket), m_handler(handler)
    {
        m_socket->setParent(this);
        m_idle.setSingleShot(true);
        m_idle.setInterval(idleTimeoutMs);
        connect(&m_idle, &QTimer::timeout, this, [this] { m_socket->abort(); });
        connect(m_socket, &QTcpSocket::readyRead, this, &HttpConnection::onReadyRead);
        connect(m_socket, &QTcpSocket::disconnected, this, &QObject::deleteLater);
        connect(m_socket, &QTcpSocket::errorOccurred, this, [this] {
            if (m_socket->state() == QAbstractSocket::UnconnectedState)
                deleteLater();
        });
        m_idle.start();
    }
    ~HttpConnection() override { m_socket->disconnect(this); }
    HttpConnection(const HttpConnection &) = delete;
    HttpConnection &operator=(const HttpConnection &) = delete;

private:
    void onReadyRead()
    {
        m_buffer += m_socket->readAll();
        m_idle.start();
        while (!m_closing && processOne()) {
        }
    }

    // Handles the first complete request of the buffer; false when none is
    // complete yet.
    bool processOne()
    {
        const qsizetype end = m_buffer.indexOf("\r\n\r\n");
        if (end < 0) {
            if (m_buffer.size() > HttpServer::kMaxHeaderBytes)
                fail(431);
            return false;
        }
        if (end > HttpServer::kMaxHeaderBytes) {
            fail(431);
            return false;
        }
        HttpRequest request;
        const QList<QByteArray> lines = m_buffer.left(end).split('\n');
        const QByteArray requestLine = lines.value(0).trimmed();
        const qsizetype firstSpace = requestLine.indexOf(' ');
        const qsizetype lastSpace = requestLine.lastIndexOf(' ');
        if (firstSpace <= 0 || lastSpace <= firstSpace) {
            fail(400);
            return false;
        }
        request.method = requestLine.left(firstSpace);
        request.version = requestLine.mid(lastSpace + 1);
        QByteArray target = requestLine.mid(firstSpace + 1, lastSpace - firstSpace - 1).trimmed();
        if (!request.version.startsWith("HTTP/")) {
            fail(400);
            return false;
        }
        if (target.startsWith("http://") || target.startsWith("https://")) {
            const qsizetype slash = target.indexOf('/', target.indexOf("//") + 2);
            target = slash < 0 ? QByteArray("/") : target.mid(slash);
        }
        const qsizetype question = target.indexOf('?');
        request.path = question < 0 ? target : target.left(question);
        request.query = question < 0 ? QByteArray() : target.mid(question + 1);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines[i].trimmed();
            const qsizetype colon = line.indexOf(':');
            if (colon > 0)
                request.headers.insert(line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed());
        }
        if (!request.header("transfer-encoding").isEmpty()) {
            fail(501);
            return false;
        }
        bool lengthOk = true;
        const QByteArray lengthText = request.header("content-length");
        const qint64 bodyLength = lengthText.isEmpty() ? 0 : lengthText.toLongLong(&lengthOk);
        if (!lengthOk || bodyLength < 0) {
            fail(400);
            return false;
        }
        if (bodyLength > HttpServer::kMaxBodyBytes) {
            fail(413);
            return false;
        }
        const qsizetype total = end + 4 + qsizetype(bodyLength);
        if (m_buffer.size() < total)
            return false;
        m_buffer.remove(0, total);

        request.peer = m_socket->peerAddress();
        request.localAddress = m_socket->localAddress();
        request.localPort = m_socket->localPort();

        const QByteArray connection = request.header("connection").toLower();
        const bool keepAlive =
            request.version == "HTTP/1.1" ? connection != "close" : connection == "keep-alive";
        HttpReply reply;
        if (request.method == "GET" || request.method == "HEAD") {
            reply = m_handler(request);
        } else {
            reply.status = 405;
            reply.body = "method not allowed";
        }
        ServiceLog::line(QStringLiteral("web %1 %2 %3 -> %4 (%5 bytes)")
                             .arg(request.peer.toString(), QString::fromLatin1(request.method),
                                  QString::fromLatin1(request.path))
                             .arg(reply.status)
                             .arg(reply.body.size()));
        send(reply, keepAlive, request.method != "HEAD");
        return keepAlive;
    }

    void fail(int status)
    {
        HttpReply reply;
        reply.status = status;
        reply.body = HttpServer::statusText(status);
        ServiceLog::line(
            QStringLiteral("web %1 bad request -> %2").arg(m_socket->peerAddress().toString()).arg(status));
        send(reply, false, true);
    }

    void send(const HttpReply &reply, bool keepAlive, bool withBody)
    {
        QByteArray out =
            "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + HttpServer::statusText(reply.status) +
            "\r\nContent-Type: " + reply.contentType +
            "\r\nContent-Length: " + QByteArray::number(reply.body.size()) +
            "\r\nCache-Control: no-store\r\nConnection: " + (keepAlive ? "keep-alive" : "close") + "\r\n\r\n";
        if (withBody)
            out += reply.body;
        m_socket->write(out);
        if (!keepAlive) {
            m_closing = true;
            m_buffer.clear();
            m_socket->disconnectFromHost();
        }
    }

    QTcpSocket *m_socket;
    HttpServer::Handler m_handler;
    QByteArray m_buffer;
    QTimer m_idle;
    bool m_closing = false;
};

} // namespace

HttpServer::HttpServer(Handler handler, QObject *parent) : QObject(parent), m_handler(std::move(handler))
{
    connect(&m_server, &QTcpServer::newConnection, this, &HttpServer::onNewConnection);
}

bool HttpServer::listen(const QHostAddress &address, quint16 port)
{
    return m_server.listen(address, port);
}

void HttpServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection())
        new HttpConnection(socket, m_handler, m_idleTimeoutMs, this);
}

QByteArray HttpServer::statusText(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 413:
        return "Payload Too Large";
    case 431:
        return "Request Header Fields Too Large";
    case 501:
        return "Not Implemented";
    default:
        return "Internal Server Error";
    }
}
