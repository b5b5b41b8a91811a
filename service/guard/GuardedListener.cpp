#include "service/guard/GuardedListener.h"

#include <QSocketNotifier>
#include <QTcpSocket>

#include <cerrno>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "service/ServiceLog.h"

namespace {

// Clients taken, or refused at descriptor exhaustion, in one go; the rest
// wait for the next round, so that a flood does not starve the event loop.
constexpr int kClientsPerRound = 64;
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
        if (refuseBacklog() && readable)
            readable->setEnabled(true);
        else
            retry.start();
    });
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
    if (!server.listen(address, port))
        return false;
    server.pauseAccepting();
    readable = std::make_unique<QSocketNotifier>(server.socketDescriptor(), QSocketNotifier::Read);
    connect(readable.get(), &QSocketNotifier::activated, this, &GuardedListener::acceptBacklog);
    return true;
}

void GuardedListener::close()
{
    retry.stop();
    readable.reset();
    server.close();
}

void GuardedListener::acceptBacklog()
{
    const int listening = int(server.socketDescriptor());
    for (int i = 0; i < kClientsPerRound; ++i) {
        const int client = ::accept4(listening, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (client >= 0) {
            admit(client);
            continue;
        }
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
            onOutOfDescriptors();
        else if (errno == EINTR || errno == ECONNABORTED)
            continue;
        return;
    }
}

void GuardedListener::admit(int descriptor)
{
    auto *socket = new QTcpSocket;
    if (!socket->setSocketDescriptor(descriptor)) {
        ServiceLog::line(QStringLiteral("%1 cannot take a client: %2").arg(name, socket->errorString()));
        ::close(descriptor);
        delete socket;
        return;
    }
    ConnectionGate::Admission admission = gate.admit(socket->peerAddress());
    if (admission.ticket)
        onAdmitted(socket, std::move(*admission.ticket));
    else
        refuse(socket, admission.refusal);
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

void GuardedListener::onOutOfDescriptors()
{
    ServiceLog::line(QStringLiteral("%1 out of descriptors (%2 connections open): refusing new clients")
                         .arg(name)
                         .arg(gate.open()));
    if (refuseBacklog())
        return;
    // Still clients waiting and no descriptor to refuse them with: try again
    // later instead of being woken for them at once.
    readable->setEnabled(false);
    retry.start();
}

bool GuardedListener::refuseBacklog()
{
    const int listening = int(server.socketDescriptor());
    for (int i = 0; i < kClientsPerRound && spare >= 0; ++i) {
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
