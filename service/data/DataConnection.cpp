#include "service/data/DataConnection.h"

#include <QTcpSocket>

#include "service/data/DataMessages.h"
#include "service/data/DataServer.h"
#include "service/ServiceLimits.h"
#include "service/ServiceLog.h"

namespace {

// What Qt buffers from the socket before it leaves the rest to the kernel, so
// that a connection that is not being read pushes back on its peer.
constexpr qint64 kSocketReadBuffer = 64 * 1024;

} // namespace

DataConnection::DataConnection(DataServer &owner, QTcpSocket *tcpSocket, ConnectionGate::Ticket ticket,
                               int number)
    : QObject(&owner), server(owner), socket(tcpSocket), place(std::move(ticket)),
      output(owner.limits.dataOutputCapBytes, owner.limits.outputStallMs,
             [this] {
                 closeWith(QStringLiteral("%1 bytes waiting, none taken within %2 ms")
                               .arg(socket->bytesToWrite())
                               .arg(limits().outputStallMs));
             }),
      logBudget(owner.limits.logLines, owner.limits.logWindowSecs), connectionId(number)
{
    socket->setParent(this);
    socket->setReadBufferSize(kSocketReadBuffer);
    peer = QStringLiteral("%1:%2").arg(socket->peerAddress().toString()).arg(socket->peerPort());
    watch.setSingleShot(true);
    connect(&watch, &QTimer::timeout, this, [this] {
        closeWith(loggedInUser.isEmpty()
                      ? QStringLiteral("no login within %1 ms").arg(limits().loginDeadlineMs)
                      : QStringLiteral("silent too long"));
    });
    connect(socket, &QTcpSocket::readyRead, this, [this] { serve(); });
    connect(socket, &QTcpSocket::bytesWritten, this, [this] {
        output.drained(socket->bytesToWrite());
        if (socket->bytesToWrite() <= limits().outputPauseBytes)
            queueTurn();
    });
    connect(socket, &QTcpSocket::disconnected, this,
            [this] { finish(closingStarted ? QString() : QStringLiteral("closed by peer")); });
    cutter.setMaxFrameLength(limits().preLoginFrameBytes);
    watch.start(limits().loginDeadlineMs);
}

DataConnection::~DataConnection()
{
    socket->disconnect(this);
}

const ServiceLimits &DataConnection::limits() const
{
    return server.limits;
}

void DataConnection::setUser(const QString &name)
{
    // A refused login leaves the deadline running: retrying does not buy time.
    if (name == loggedInUser)
        return;
    loggedInUser = name;
    if (name.isEmpty()) {
        cutter.setMaxFrameLength(limits().preLoginFrameBytes);
        watch.start(limits().loginDeadlineMs);
    } else {
        cutter.setMaxFrameLength(kMaxFrameLength);
        watch.start(limits().dataIdleTimeoutMs);
    }
}

QString DataConnection::address() const
{
    return socket->peerAddress().toString();
}

void DataConnection::log(const QString &text)
{
    logBudget.line(QStringLiteral("data #%1 %2 ").arg(connectionId).arg(peer), text);
}

void DataConnection::send(MsgHeader &msg)
{
    sendFrame(encodeFrame(msg));
}

void DataConnection::sendFrame(const QByteArray &frame)
{
    if (closingStarted || frame.isEmpty())
        return;
    if (!output.admits(socket->bytesToWrite())) {
        closeWith(QStringLiteral("peer does not read its data: %1 bytes waiting, more than the cap of %2")
                      .arg(socket->bytesToWrite())
                      .arg(limits().dataOutputCapBytes));
        return;
    }
    socket->write(frame);
    output.written(socket->bytesToWrite());
}

void DataConnection::closeWith(const QString &reason)
{
    if (closingStarted)
        return;
    closingStarted = true;
    log(QStringLiteral("closing: ") + reason);
    watch.stop();
    output.stop();
    socket->abort();
    finish(QString());
}

void DataConnection::queueTurn()
{
    if (turnQueued || closingStarted)
        return;
    turnQueued = true;
    QMetaObject::invokeMethod(
        this, [this] { serve(); }, Qt::QueuedConnection);
}

void DataConnection::handle(const char *frame, int length)
{
    if (closingStarted)
        return;
    // Only whole frames of a logged-in peer count as life; bytes dripping in do not.
    if (!loggedInUser.isEmpty())
        watch.start();
    server.handleFrame(*this, frame, length);
}

void DataConnection::holdInput()
{
    held = true;
}

void DataConnection::resumeInput()
{
    held = false;
    queueTurn();
}

void DataConnection::serve()
{
    turnQueued = false;
    const size_t perTurn = size_t(limits().framesPerTurn);
    size_t handled = 0;
    while (!closingStarted && !held) {
        // Back-pressure: the next turn comes with bytesWritten.
        if (socket->bytesToWrite() > limits().outputPauseBytes)
            return;
        // One frame at a time: handling it may hold the ones after it.
        const size_t before = handled;
        const FrameCutter::Status status = cutter.cut(
            [this, &handled](const char *frame, int length) {
                ++handled;
                handle(frame, length);
            },
            1);
        if (status == FrameCutter::Status::FrameTooLarge) {
            closeWith(QStringLiteral("frame length %1 above the limit of %2%3")
                          .arg(cutter.badLength())
                          .arg(cutter.maxFrameLength())
                          .arg(loggedInUser.isEmpty() ? QStringLiteral(" before login") : QString()));
            return;
        }
        if (status == FrameCutter::Status::FrameTooSmall) {
            closeWith(QStringLiteral("frame length %1 below the header").arg(cutter.badLength()));
            return;
        }
        if (handled >= perTurn) {
            // Let the other connections have their turn before the rest.
            queueTurn();
            return;
        }
        if (handled > before)
            continue;
        if (socket->bytesAvailable() <= 0)
            return;
        char *area = cutter.writeArea(); // makes the room writeCapacity() reports
        const qint64 got = socket->read(area, qint64(cutter.writeCapacity()));
        if (got <= 0)
            return;
        cutter.commit(size_t(got));
    }
}

void DataConnection::finish(const QString &reason)
{
    if (finished)
        return;
    finished = true;
    closingStarted = true;
    if (!reason.isEmpty())
        log(reason);
    server.forget(this);
    deleteLater();
}
