#include "service/web/HttpServer.h"

#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

#include "service/guard/OutputWatch.h"
#include "service/ServiceLog.h"

namespace {

// What Qt buffers from the socket before it leaves the rest to the kernel, so
// that a connection that is not being read pushes back on its peer.
constexpr qint64 kSocketReadBuffer = 64 * 1024;

HttpReply plainReply(int status)
{
    HttpReply reply;
    reply.status = status;
    reply.body = HttpServer::statusText(status);
    return reply;
}

} // namespace

// One accepted socket: feeds what arrives to a parser and answers each
// request it yields, in turn.
class HttpConnection : public QObject {
public:
    HttpConnection(HttpServer &owner, QTcpSocket *tcpSocket, ConnectionGate::Ticket ticket)
        : QObject(&owner), server(owner), socket(tcpSocket), place(std::move(ticket)), handler(owner.handler),
          limits(owner.limits),
          output(limits.webOutputCapBytes, limits.outputStallMs,
                 [this] {
                     drop(QStringLiteral("%1 reply bytes waiting, none taken within %2 ms")
                              .arg(socket->bytesToWrite())
                              .arg(limits.outputStallMs));
                 }),
          logBudget(owner.logLines, owner.logWindowSecs)
    {
        server.connections.append(this);
        socket->setParent(this);
        socket->setReadBufferSize(kSocketReadBuffer);
        idle.setSingleShot(true);
        idle.setInterval(limits.webIdleTimeoutMs);
        connect(&idle, &QTimer::timeout, this, [this] {
            // Silence between requests is normal; replies left untaken are worth a line.
            const qint64 untaken = socket->bytesToWrite();
            drop(untaken > 0 ? QStringLiteral("%1 reply bytes not taken within %2 ms")
                                   .arg(untaken)
                                   .arg(limits.webIdleTimeoutMs)
                             : QStringLiteral("idle"));
        });
        requestDeadline.setSingleShot(true);
        requestDeadline.setInterval(limits.requestDeadlineMs);
        connect(&requestDeadline, &QTimer::timeout, this, [this] {
            ServiceLog::line(QStringLiteral("web %1 request not complete within %2 ms")
                                 .arg(socket->peerAddress().toString())
                                 .arg(limits.requestDeadlineMs));
            send(plainReply(408), false, true);
        });
        connect(socket, &QTcpSocket::readyRead, this, &HttpConnection::serve);
        connect(socket, &QTcpSocket::bytesWritten, this, [this] {
            // A peer taking its replies is alive, however long they take.
            if (idle.isActive())
                idle.start();
            output.drained(socket->bytesToWrite());
            if (socket->bytesToWrite() <= limits.outputPauseBytes)
                queueTurn();
        });
        connect(socket, &QTcpSocket::disconnected, this, &QObject::deleteLater);
        connect(socket, &QTcpSocket::errorOccurred, this, [this] {
            if (socket->state() == QAbstractSocket::UnconnectedState)
                deleteLater();
        });
        idle.start();
    }
    ~HttpConnection() override
    {
        socket->disconnect(this);
        server.connections.removeOne(this);
    }
    HttpConnection(const HttpConnection &) = delete;
    HttpConnection &operator=(const HttpConnection &) = delete;

    qint64 pendingOutput() const { return socket->bytesToWrite(); }

private:
    void queueTurn()
    {
        if (turnQueued || closing)
            return;
        turnQueued = true;
        QMetaObject::invokeMethod(
            this, [this] { serve(); }, Qt::QueuedConnection);
    }

    // Answers what is buffered and reads on, up to framesPerTurn requests.
    void serve()
    {
        turnQueued = false;
        int answered = 0;
        bool paused = false;
        while (!closing && !awaiting) {
            // Back-pressure: the next turn comes with bytesWritten.
            if (socket->bytesToWrite() > limits.outputPauseBytes) {
                paused = true;
                break;
            }
            if (answered >= limits.framesPerTurn) {
                // Let the other connections have their turn before the rest.
                queueTurn();
                break;
            }
            HttpRequestParser::Result result = parser.next();
            if (result.status == HttpRequestParser::Status::Complete) {
                requestDeadline.stop();
                idle.start();
                answer(result.request);
                ++answered;
                continue;
            }
            if (result.status == HttpRequestParser::Status::Failed) {
                fail(result.error);
                return;
            }
            if (socket->bytesAvailable() <= 0)
                break;
            parser.feed(socket->read(kSocketReadBuffer));
        }
        if (closing)
            return;
        if (awaiting) {
            // The reply is being made elsewhere; its time is not the peer's.
            requestDeadline.stop();
            idle.stop();
            return;
        }
        // While we do not read, a request cannot be late; a peer that takes
        // none of its replies for the idle timeout is dropped instead. The
        // deadline covers a whole request from its first byte; the idle
        // timeout the time between requests.
        if (paused) {
            requestDeadline.stop();
            if (!idle.isActive())
                idle.start();
        } else if (parser.buffered() > 0) {
            idle.stop();
            if (!requestDeadline.isActive())
                requestDeadline.start();
        } else if (!idle.isActive()) {
            idle.start();
        }
    }

    void answer(HttpRequest &request)
    {
        request.peer = socket->peerAddress();
        request.localAddress = socket->localAddress();
        request.localPort = socket->localPort();

        Awaited awaited{++lastAnswer, HttpRequestParser::keepAlive(request), request.method != "HEAD",
                        QStringLiteral("%1 %2").arg(ServiceLog::value(QString::fromLatin1(request.method)),
                                                    ServiceLog::value(QString::fromLatin1(request.path)))};
        awaiting = true;
        inHandler = true;
        if (request.method == "GET" || request.method == "HEAD") {
            QPointer<HttpConnection> self(this);
            handler(request, [self, awaited](const HttpReply &reply) {
                if (self)
                    self->deliver(awaited, reply);
            });
        } else {
            HttpReply reply;
            reply.status = 405;
            reply.body = "method not allowed";
            deliver(awaited, reply);
        }
        inHandler = false;
    }

    // The request whose reply is awaited, and how that reply goes out.
    struct Awaited {
        quint64 number;
        bool keepAlive;
        bool withBody;
        QString request;
    };

    void deliver(const Awaited &awaited, const HttpReply &reply)
    {
        if (!awaiting || awaited.number != lastAnswer || closing)
            return;
        awaiting = false;
        logBudget.line(QStringLiteral("web %1 ").arg(socket->peerAddress().toString()),
                       QStringLiteral("%1 -> %2 (%3 bytes)")
                           .arg(awaited.request)
                           .arg(reply.status)
                           .arg(reply.body.size()));
        send(reply, awaited.keepAlive, awaited.withBody);
        // A reply made elsewhere: the requests after it are read now.
        if (!inHandler)
            queueTurn();
    }

    void fail(HttpRequestParser::Error error)
    {
        const int status = HttpRequestParser::httpStatus(error);
        logBudget.line(QStringLiteral("web %1 ").arg(socket->peerAddress().toString()),
                       QStringLiteral("bad request (%1) -> %2")
                           .arg(QLatin1String(HttpRequestParser::errorName(error)))
                           .arg(status));
        send(plainReply(status), false, true);
    }

    void send(const HttpReply &reply, bool keepAlive, bool withBody)
    {
        if (!output.admits(socket->bytesToWrite())) {
            drop(QStringLiteral("%1 reply bytes not taken, more than the cap of %2")
                     .arg(socket->bytesToWrite())
                     .arg(limits.webOutputCapBytes));
            return;
        }
        socket->write(HttpServer::replyBytes(reply, keepAlive, withBody));
        output.written(socket->bytesToWrite());
        if (!keepAlive) {
            closing = true;
            // The close waits for the last reply to go out; a peer that stops
            // taking it is dropped after the idle timeout.
            idle.start();
            requestDeadline.stop();
            parser.clear();
            socket->disconnectFromHost();
        }
    }

    void drop(const QString &reason)
    {
        if (!reason.isEmpty() && reason != QLatin1String("idle"))
            ServiceLog::line(
                QStringLiteral("web %1 dropped: %2").arg(socket->peerAddress().toString(), reason));
        closing = true;
        idle.stop();
        requestDeadline.stop();
        output.stop();
        socket->abort();
    }

    HttpServer &server;
    QTcpSocket *socket;
    ConnectionGate::Ticket place;
    const HttpServer::Handler &handler;
    const ServiceLimits &limits;
    HttpRequestParser parser;
    QTimer idle;
    QTimer requestDeadline;
    OutputWatch output;
    ServiceLog::Budget logBudget;
    // The number of the last request handed to the handler.
    quint64 lastAnswer = 0;
    // Its reply is not written yet: nothing after it is read.
    bool awaiting = false;
    bool inHandler = false;
    bool turnQueued = false;
    bool closing = false;
};

HttpServer::HttpServer(Handler onRequest, ConnectionGate &gate, const ServiceLimits &serviceLimits,
                       QObject *parent)
    : QObject(parent), handler(std::move(onRequest)), limits(serviceLimits),
      listener(QStringLiteral("web"), gate, replyBytes(plainReply(503), false, true),
               [this](QTcpSocket *socket, ConnectionGate::Ticket ticket) {
                   new HttpConnection(*this, socket, std::move(ticket));
               })
{
}

HttpServer::~HttpServer()
{
    // Connections are children; they must not reach into a half-destroyed server.
    const QList<HttpConnection *> open = connections;
    qDeleteAll(open);
}

bool HttpServer::listen(const QHostAddress &address, quint16 port)
{
    return listener.listen(address, port);
}

qint64 HttpServer::pendingOutput() const
{
    qint64 total = 0;
    for (const HttpConnection *c : connections)
        total += c->pendingOutput();
    return total;
}

QByteArray HttpServer::replyBytes(const HttpReply &reply, bool keepAlive, bool withBody)
{
    QByteArray out = "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + statusText(reply.status) +
                     "\r\nContent-Type: " + reply.contentType +
                     "\r\nContent-Length: " + QByteArray::number(reply.body.size()) +
                     "\r\nCache-Control: no-store\r\nConnection: " + (keepAlive ? "keep-alive" : "close") +
                     "\r\n\r\n";
    if (withBody)
        out += reply.body;
    return out;
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
    case 408:
        return "Request Timeout";
    case 413:
        return "Payload Too Large";
    case 431:
        return "Request Header Fields Too Large";
    case 501:
        return "Not Implemented";
    case 503:
        return "Service Unavailable";
    case 505:
        return "HTTP Version Not Supported";
    default:
        return "Internal Server Error";
    }
}
