#include "service/web/HttpConnection.h"

#include <QPointer>
#include <QTcpSocket>

namespace {

// What Qt buffers from the socket before it leaves the rest to the kernel, so
// that a connection that is not being read pushes back on its peer.
constexpr qint64 kSocketReadBuffer = 64 * 1024;

} // namespace

HttpConnection::HttpConnection(HttpServer &owner, QTcpSocket *tcpSocket, ConnectionGate::Ticket ticket)
    : QObject(&owner), server(owner), socket(tcpSocket), place(std::move(ticket)), handler(owner.handler),
      limits(owner.limits), output(limits.webOutputCapBytes, limits.outputStallMs,
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
        send(HttpServer::plainReply(408), false, true);
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

HttpConnection::~HttpConnection()
{
    socket->disconnect(this);
    server.connections.removeOne(this);
}

qint64 HttpConnection::pendingOutput() const
{
    return socket->bytesToWrite();
}

void HttpConnection::queueTurn()
{
    if (turnQueued || closing)
        return;
    turnQueued = true;
    QMetaObject::invokeMethod(
        this, [this] { serve(); }, Qt::QueuedConnection);
}

void HttpConnection::serve()
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

void HttpConnection::answer(HttpRequest &request)
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

void HttpConnection::deliver(const Awaited &awaited, const HttpReply &reply)
{
    if (!awaiting || awaited.number != lastAnswer || closing)
        return;
    awaiting = false;
    logBudget.line(
        QStringLiteral("web %1 ").arg(socket->peerAddress().toString()),
        QStringLiteral("%1 -> %2 (%3 bytes)").arg(awaited.request).arg(reply.status).arg(reply.body.size()));
    send(reply, awaited.keepAlive, awaited.withBody);
    // A reply made elsewhere: the requests after it are read now.
    if (!inHandler)
        queueTurn();
}

void HttpConnection::fail(HttpRequestParser::Error error)
{
    const int status = HttpRequestParser::httpStatus(error);
    logBudget.line(QStringLiteral("web %1 ").arg(socket->peerAddress().toString()),
                   QStringLiteral("bad request (%1) -> %2")
                       .arg(QLatin1String(HttpRequestParser::errorName(error)))
                       .arg(status));
    send(HttpServer::plainReply(status), false, true);
}

void HttpConnection::send(const HttpReply &reply, bool keepAlive, bool withBody)
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

void HttpConnection::drop(const QString &reason)
{
    if (!reason.isEmpty() && reason != QLatin1String("idle"))
        ServiceLog::line(QStringLiteral("web %1 dropped: %2").arg(socket->peerAddress().toString(), reason));
    closing = true;
    idle.stop();
    requestDeadline.stop();
    output.stop();
    socket->abort();
}
