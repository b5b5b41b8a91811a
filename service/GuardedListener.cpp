#include "service/GuardedListener.h"

#include <QTcpSocket>

#include <cerrno>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "service/ServiceLog.h"

namespace {

// Clients refused in one go at descriptor exhaustion; the rest wait for the next round.
constexpr int kRefusalsPerRound = 64;
constexpr int kRetryMs = 200;
// A refused client that does not take its refusal is cut off after this.
constexpr int kRefusalLingerMs = 2000;

} // namespace

GuardedListener::GuardedListener(QString listenerName, ConnectionGate &connectionGate, QByteArray refusalText,
                                 OnAdmitted admitted, QObject *parent)
    : QObject(parent), name(std::move(listenerName)), gate(connectionGate), refusal(std::move(refusalText)),
      onAdmitted(std::move(admitted))
{
    retry.setSingleShot(true);
    retry.setInterval(kRetryMs);
    connect(&retry, &QTimer::timeout, this, [this] {
        if (refuseBacklog())
            server.resumeAccepting();
        else
            retry.start();
    });
    connect(&server, &QTcpServer::newConnection, this, &GuardedListener::onNewConnection);
    connect(&server, &QTcpServer::acceptError, this, &GuardedListener::onAcceptError);
    holdSpare();
}

GuardedListener::~GuardedListener()
{
    if (spare >= 0)
        ::close(spare);
}

void GuardedListener::holdSpare()
{
    if (spare < 0)
        spare = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
}

bool GuardedListener::listen(const QHostAddress &address, quint16 port)
{
    return server.listen(address, port);
}

void GuardedListener::close()
{
    retry.stop();
    server.close();
}

void GuardedListener::onNewConnection()
{
    while (QTcpSocket *socket = server.nextPendingConnection()) {
        ConnectionGate::Admission admission = gate.admit(socket->peerAddress());
        if (admission.ticket)
            onAdmitted(socket, std::move(*admission.ticket));
        else
            refuse(socket, admission.refusal);
    }
}

void GuardedListener::refuse(QTcpSocket *socket, const QString &reason)
{
    ServiceLog::line(QStringLiteral("%1 %2 refused: %3").arg(name, socket->peerAddress().toString(), reason));
    socket->setParent(this);
    // Closing with the client's request unread would reset the connection and
    // could lose the refusal: send it, end our side, and read until the client
    // closes its own, for a short while at most.
    const auto endOurSide = [socket] {
        if (socket->bytesToWrite() == 0)
            ::shutdown(int(socket->socketDescriptor()), SHUT_WR);
    };
    connect(socket, &QTcpSocket::readyRead, socket, [socket] { socket->readAll(); });
    connect(socket, &QTcpSocket::bytesWritten, socket, endOurSide);
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    QTimer::singleShot(kRefusalLingerMs, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
    if (!refusal.isEmpty())
        socket->write(refusal);
    endOurSide();
}

void GuardedListener::onAcceptError(QAbstractSocket::SocketError error)
{
    // The server has stopped accepting; it takes this handler to start it again.
    if (error == QAbstractSocket::SocketResourceError) {
        ServiceLog::line(QStringLiteral("%1 out of descriptors (%2 connections open): refusing new clients")
                             .arg(name)
                             .arg(gate.open()));
        if (refuseBacklog()) {
            server.resumeAccepting();
            return;
        }
    } else {
        ServiceLog::line(QStringLiteral("%1 accept failed: %2").arg(name, server.errorString()));
    }
    retry.start();
}

bool GuardedListener::refuseBacklog()
{
    const int listening = int(server.socketDescriptor());
    for (int i = 0; i < kRefusalsPerRound && spare >= 0; ++i) {
        ::close(spare);
        spare = -1;
        const int client = ::accept4(listening, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        const int acceptErrno = errno;
        if (client >= 0) {
            // Best effort: the refusal fits in the socket buffer, and the
            // client's own bytes are read first so that closing does not
            // reset the connection before the refusal is read.
            char drain[4096];
            while (::recv(client, drain, sizeof drain, MSG_DONTWAIT) > 0) {
            }
            if (!refusal.isEmpty())
                ::send(client, refusal.constData(), size_t(refusal.size()), MSG_DONTWAIT | MSG_NOSIGNAL);
            ::shutdown(client, SHUT_WR);
            ::close(client);
        }
        holdSpare();
        if (client < 0)
            return acceptErrno == EAGAIN || acceptErrno == EWOULDBLOCK;
    }
    return false;
}
