#include "service/HttpServer.h"

#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

#include "service/ServiceLog.h"

namespace {

// One accepted socket: feeds what arrives to a parser and answers each
// request it yields, in turn.
class HttpConnection : public QObject {
public:
    HttpConnection(QTcpSocket *tcpSocket, const HttpServer::Handler &onRequest, int idleTimeoutMs,
                   int logLines, int logWindowSecs, QObject *parent)
        : QObject(parent), socket(tcpSocket), handler(onRequest), logBudget(logLines, logWindowSecs)
    {
        socket->setParent(this);
        idle.setSingleShot(true);
        idle.setInterval(idleTimeoutMs);
        connect(&idle, &QTimer::timeout, this, [this] { socket->abort(); });
        connect(socket, &QTcpSocket::readyRead, this, &HttpConnection::onReadyRead);
        connect(socket, &QTcpSocket::disconnected, this, &QObject::deleteLater);
        connect(socket, &QTcpSocket::errorOccurred, this, [this] {
            if (socket->state() == QAbstractSocket::UnconnectedState)
                deleteLater();
        });
        idle.start();
    }
    ~HttpConnection() override { socket->disconnect(this); }
    HttpConnection(const HttpConnection &) = delete;
    HttpConnection &operator=(const HttpConnection &) = delete;

private:
    void onReadyRead()
    {
        parser.feed(socket->readAll());
        idle.start();
        while (!closing) {
            HttpRequestParser::Result result = parser.next();
            if (result.status == HttpRequestParser::Status::NeedMore)
                return;
            if (result.status == HttpRequestParser::Status::Failed) {
                fail(HttpRequestParser::httpStatus(result.error));
                return;
            }
            answer(result.request);
        }
    }

    void answer(HttpRequest &request)
    {
        request.peer = socket->peerAddress();
        request.localAddress = socket->localAddress();
        request.localPort = socket->localPort();

        HttpReply reply;
        if (request.method == "GET" || request.method == "HEAD") {
            reply = handler(request);
        } else {
            reply.status = 405;
            reply.body = "method not allowed";
        }
        logBudget.line(QStringLiteral("web %1 ").arg(request.peer.toString()),
                       QStringLiteral("%1 %2 -> %3 (%4 bytes)")
                           .arg(ServiceLog::value(QString::fromLatin1(request.method)),
                                ServiceLog::value(QString::fromLatin1(request.path)))
                           .arg(reply.status)
                           .arg(reply.body.size()));
        send(reply, HttpRequestParser::keepAlive(request), request.method != "HEAD");
    }

    void fail(int status)
    {
        HttpReply reply;
        reply.status = status;
        reply.body = HttpServer::statusText(status);
        logBudget.line(QStringLiteral("web %1 ").arg(socket->peerAddress().toString()),
                       QStringLiteral("bad request -> %1").arg(status));
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
        socket->write(out);
        if (!keepAlive) {
            closing = true;
            parser.clear();
            socket->disconnectFromHost();
        }
    }

    QTcpSocket *socket;
    HttpServer::Handler handler;
    HttpRequestParser parser;
    QTimer idle;
    ServiceLog::Budget logBudget;
    bool closing = false;
};

} // namespace

HttpServer::HttpServer(Handler onRequest, QObject *parent) : QObject(parent), handler(std::move(onRequest))
{
    connect(&server, &QTcpServer::newConnection, this, &HttpServer::onNewConnection);
}

bool HttpServer::listen(const QHostAddress &address, quint16 port)
{
    return server.listen(address, port);
}

void HttpServer::onNewConnection()
{
    while (QTcpSocket *socket = server.nextPendingConnection())
        new HttpConnection(socket, handler, idleTimeoutMs, logLines, logWindowSecs, this);
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
