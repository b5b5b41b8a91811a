#include "service/DataConnection.h"

#include <QTcpSocket>

#include "service/DataMessages.h"
#include "service/DataServer.h"
#include "service/ServiceLog.h"

DataConnection::DataConnection(DataServer &owner, QTcpSocket *tcpSocket, int number)
    : QObject(&owner), server(owner), socket(tcpSocket),
      logBudget(owner.limits.logLines, owner.limits.logWindowSecs), connectionId(number)
{
    socket->setParent(this);
    peer = QStringLiteral("%1:%2").arg(socket->peerAddress().toString()).arg(socket->peerPort());
    idle.setSingleShot(true);
    idle.setInterval(server.idleTimeout());
    connect(&idle, &QTimer::timeout, this, [this] { closeWith(QStringLiteral("silent too long")); });
    connect(socket, &QTcpSocket::readyRead, this, [this] { onReadyRead(); });
    connect(socket, &QTcpSocket::disconnected, this,
            [this] { finish(closingStarted ? QString() : QStringLiteral("closed by peer")); });
    idle.start();
}

DataConnection::~DataConnection()
{
    socket->disconnect(this);
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
    socket->write(frame);
    if (socket->bytesToWrite() > DataServer::kMaxPendingBytes)
        closeWith(QStringLiteral("peer does not read its data"));
}

void DataConnection::closeWith(const QString &reason)
{
    if (closingStarted)
        return;
    closingStarted = true;
    log(QStringLiteral("closing: ") + reason);
    idle.stop();
    socket->abort();
    finish(QString());
}

void DataConnection::onReadyRead()
{
    idle.start();
    while (!closingStarted && socket->bytesAvailable() > 0) {
        char *area = cutter.writeArea();
        const qint64 got = socket->read(area, qint64(cutter.writeCapacity()));
        if (got <= 0)
            break;
        cutter.commit(size_t(got));
        const FrameCutter::Status status = cutter.cut([this](const char *frame, int length) {
            if (!closingStarted)
                server.handleFrame(*this, frame, length);
        });
        if (status == FrameCutter::Status::FrameTooLarge)
            closeWith(QStringLiteral("frame length %1 above the limit").arg(cutter.badLength()));
        else if (status == FrameCutter::Status::FrameTooSmall)
            closeWith(QStringLiteral("frame length %1 below the header").arg(cutter.badLength()));
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
