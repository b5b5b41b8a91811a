#include "tests/support/LoopbackPeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

#include "net/MsgHeader.h"

namespace {

int listenOn(uint16_t port, uint16_t *chosen)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int yes = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 || ::listen(fd, 4) != 0) {
        ::close(fd);
        return -1;
    }
    socklen_t size = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &size);
    *chosen = ntohs(address.sin_port);
    return fd;
}

int millisLeft(std::chrono::steady_clock::time_point until)
{
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
    return left.count() > 0 ? int(left.count()) : 0;
}

} // namespace

std::string frameBytes(int type, const std::string &body, int reserved)
{
    std::string f(12, '\0');
    writeLe32(f.data(), int32_t(12 + body.size()));
    writeLe32(f.data() + 4, type);
    writeLe32(f.data() + 8, reserved);
    return f + body;
}

LoopbackPeer::LoopbackPeer()
{
    listener = listenOn(0, &listenPort);
    if (listener < 0)
        throw std::runtime_error("cannot listen on 127.0.0.1");
}

LoopbackPeer::~LoopbackPeer()
{
    closeConnection();
    stopListening();
}

void LoopbackPeer::stopListening()
{
    if (listener >= 0)
        ::close(listener);
    listener = -1;
}

bool LoopbackPeer::listenAgain()
{
    uint16_t chosen = 0;
    listener = listenOn(listenPort, &chosen);
    return listener >= 0;
}

bool LoopbackPeer::accept(Duration deadline)
{
    closeConnection();
    pollfd fd{listener, POLLIN, 0};
    if (::poll(&fd, 1, int(deadline.count())) <= 0)
        return false;
    connection = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    return connection >= 0;
}

void LoopbackPeer::write(const std::string &bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(connection, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0)
            return;
        done += size_t(n);
    }
}

std::string LoopbackPeer::read(size_t n, Duration deadline)
{
    const auto until = std::chrono::steady_clock::now() + deadline;
    std::string got;
    char chunk[65536];
    while (got.size() < n) {
        pollfd fd{connection, POLLIN, 0};
        if (::poll(&fd, 1, millisLeft(until)) <= 0)
            break;
        const ssize_t r = ::recv(connection, chunk, std::min(sizeof chunk, n - got.size()), 0);
        if (r <= 0)
            break;
        got.append(chunk, size_t(r));
    }
    return got;
}

bool LoopbackPeer::waitClosed(Duration deadline)
{
    const auto until = std::chrono::steady_clock::now() + deadline;
    char chunk[4096];
    for (;;) {
        pollfd fd{connection, POLLIN, 0};
        if (::poll(&fd, 1, millisLeft(until)) <= 0)
            return false;
        const ssize_t r = ::recv(connection, chunk, sizeof chunk, 0);
        if (r <= 0)
            return true;
    }
}

void LoopbackPeer::closeConnection()
{
    if (connection >= 0)
        ::close(connection);
    connection = -1;
}
