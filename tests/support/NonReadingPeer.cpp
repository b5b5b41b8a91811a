#include "tests/support/NonReadingPeer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "tests/support/ServiceTestSupport.h"

namespace {

// The port of a socket address, IPv4 or IPv6.
quint16 portOf(const sockaddr_storage &address)
{
    if (address.ss_family == AF_INET)
        return ntohs(reinterpret_cast<const sockaddr_in &>(address).sin_port);
    if (address.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6 &>(address).sin6_port);
    return 0;
}

// The server's end of a loopback connection: both ends live in this process,
// and the server's is the descriptor whose peer is the client's end.
int serverEndOf(int client, quint16 serverPort)
{
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getsockname(client, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return -1;
    const quint16 clientPort = portOf(address);
    for (int fd = 0; fd < 4096; ++fd) {
        sockaddr_storage local{};
        sockaddr_storage peer{};
        socklen_t localLength = sizeof local;
        socklen_t peerLength = sizeof peer;
        if (fd != client && ::getsockname(fd, reinterpret_cast<sockaddr *>(&local), &localLength) == 0 &&
            ::getpeername(fd, reinterpret_cast<sockaddr *>(&peer), &peerLength) == 0 &&
            portOf(local) == serverPort && portOf(peer) == clientPort)
            return fd;
    }
    return -1;
}

void shrinkBuffer(int socket, int which)
{
    const int bytes = 4096;
    ::setsockopt(socket, SOL_SOCKET, which, &bytes, sizeof bytes);
}

} // namespace

NonReadingPeer::~NonReadingPeer()
{
    if (fd >= 0)
        ::close(fd);
}

bool NonReadingPeer::open(quint16 port, const std::function<int()> &connections, bool smallRequestBuffers)
{
    using ServiceTest::waitFor;
    if (!waitFor([&] { return connections() == 0; }))
        return false;
    fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    shrinkBuffer(fd, SO_RCVBUF);
    if (smallRequestBuffers)
        shrinkBuffer(fd, SO_SNDBUF);
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(port);
    server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&server), sizeof server) != 0 ||
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK) != 0 ||
        !waitFor([&] { return connections() == 1; }))
        return false;
    const int serverEnd = serverEndOf(fd, port);
    if (serverEnd < 0)
        return false;
    shrinkBuffer(serverEnd, SO_SNDBUF);
    if (smallRequestBuffers)
        shrinkBuffer(serverEnd, SO_RCVBUF);
    return true;
}

void NonReadingPeer::sendMore(const QByteArray &bytes)
{
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.constData() + sent, size_t(bytes.size() - sent), MSG_NOSIGNAL);
        if (n <= 0)
            return;
        sent += n;
    }
}
