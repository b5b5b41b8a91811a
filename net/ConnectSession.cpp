#include "net/ConnectSession.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

#include "net/MsgFactory.h"

namespace {
// How long one connection attempt may take before it counts as failed.
constexpr int kConnectTimeoutMs = 10000;
} // namespace

ConnectSession &ConnectSession::Instance()
{
    static ConnectSession session;
    return session;
}

ConnectSession::ConnectSession()
    : sendArea(std::make_unique<char[]>(kSendAreaSize)), wakeFd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
{
}

ConnectSession::~ConnectSession()
{
    if (socket >= 0)
        ::close(socket);
    if (wakeFd >= 0)
        ::close(wakeFd);
}

void ConnectSession::configure(const std::string &host, uint16_t port, IConnectSessionHandler *messageHandler)
{
    hostName = host;
    portNumber = port;
    handler = messageHandler;
    received.clear();
    {
        std::lock_guard lock(positionsLock);
        sendWrite = 0;
        sendRead = 0;
    }
    connectionState = Connecting;
}

void ConnectSession::setDiagnosticSink(std::function<void(const std::string &)> newSink)
{
    std::lock_guard lock(sinkLock);
    sink = std::move(newSink);
}

void ConnectSession::diagnostic(const std::string &line)
{
    std::lock_guard lock(sinkLock);
    if (sink) {
        sink(line);
    } else {
        std::fputs(line.c_str(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }
}

int ConnectSession::sendReadPosition() const
{
    std::lock_guard lock(positionsLock);
    return sendRead;
}

int ConnectSession::sendWritePosition() const
{
    std::lock_guard lock(positionsLock);
    return sendWrite;
}

int ConnectSession::Send(MsgHeader &msg)
{
    int length = 0;
    {
        std::lock_guard lock(positionsLock);
        // Everything queued has gone out: start again at the front.
        if (sendRead > 0 && sendRead == sendWrite) {
            sendWrite = 0;
            sendRead = 0;
        }
        length = msg.Encode(sendArea.get() + sendWrite, kSendAreaSize - sendWrite);
        sendWrite += length;
    }
    if (length > 0)
        wake();
    return length;
}

void ConnectSession::stop()
{
    connectionState = Stopping;
    wake();
}

void ConnectSession::wake()
{
    const uint64_t one = 1;
    if (wakeFd >= 0)
        (void)!::write(wakeFd, &one, sizeof one);
}

void ConnectSession::drainWakeups()
{
    uint64_t count = 0;
    while (::read(wakeFd, &count, sizeof count) > 0) {
    }
}

bool ConnectSession::pause(int ms)
{
    // A frame queued meanwhile also wakes the worker; it waits on, as the frame
    // can only leave once a connection exists. Only stop() cuts the wait short.
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (connectionState.load() != Stopping) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(until - std::chrono::steady_clock::now()).count();
        if (left <= 0)
            break;
        pollfd fd{wakeFd, POLLIN, 0};
        ::poll(&fd, 1, int(left));
        drainWakeups();
    }
    return connectionState.load() != Stopping;
}

void ConnectSession::attemptFailed(const std::string &what)
{
    const ReconnectBackoff::Step step = backoff.failed(std::chrono::steady_clock::now(), what);
    if (!step.line.empty())
        diagnostic(step.line);
    waitBeforeAttemptMs = step.delayMs;
}

void ConnectSession::Run()
{
    for (;;) {
        const int state = connectionState.load();
        if (state == Connecting)
            connectOnce();
        else if (state == Connected)
            pollOnce();
        if (connectionState.load() == Stopping) {
            if (socket >= 0) {
                ::close(socket);
                socket = -1;
            }
            break;
        }
        flushSendArea();
    }
    disconnect();
}

void ConnectSession::connectOnce()
{
    if (waitBeforeAttemptMs > 0) {
        const int wait = std::exchange(waitBeforeAttemptMs, 0);
        if (!pause(wait))
            return;
    }
    ++attempts;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    if (::getaddrinfo(hostName.c_str(), nullptr, &hints, &found) != 0 || !found) {
        attemptFailed("解析服务器地址出错！");
        return;
    }
    sockaddr_in address = *reinterpret_cast<sockaddr_in *>(found->ai_addr);
    ::freeaddrinfo(found);
    address.sin_family = AF_INET;
    address.sin_port = htons(portNumber);

    socket = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (socket < 0) {
        attemptFailed("创建Socket出错！");
        return;
    }
    bool connected = ::connect(socket, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    if (!connected && errno == EINPROGRESS) {
        // Wait for the outcome, but let stop() cut the wait short.
        pollfd fds[2] = {{socket, POLLOUT, 0}, {wakeFd, POLLIN, 0}};
        int ready = 0;
        do {
            ready = ::poll(fds, 2, kConnectTimeoutMs);
        } while (ready < 0 && errno == EINTR);
        if (fds[1].revents & POLLIN)
            drainWakeups();
        if (ready > 0 && (fds[0].revents & (POLLOUT | POLLERR | POLLHUP))) {
            int error = 0;
            socklen_t size = sizeof error;
            connected = ::getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
        }
    }
    if (connectionState.load() == Stopping)
        return;
    if (!connected) {
        disconnect();
        attemptFailed("连接服务器出错！");
        return;
    }
    const int noDelay = 1;
    ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
    // A new stream starts with the server's greeting: nothing held belongs to it.
    received.clear();
    int expected = Connecting;
    if (connectionState.compare_exchange_strong(expected, Connected)) {
        if (const std::string line = backoff.connected(std::chrono::steady_clock::now()); !line.empty())
            diagnostic(line);
    }
}

void ConnectSession::pollOnce()
{
    bool pendingSend = false;
    {
        std::lock_guard lock(positionsLock);
        pendingSend = sendRead < sendWrite;
    }
    pollfd fds[2] = {{socket, short(POLLIN | (pendingSend ? POLLOUT : 0)), 0}, {wakeFd, POLLIN, 0}};
    const int ready = ::poll(fds, 2, -1);
    if (ready < 0) {
        if (errno != EINTR)
            diagnostic("select error!");
        return;
    }
    if (fds[1].revents & POLLIN)
        drainWakeups();
    if (fds[0].revents & (POLLIN | POLLERR | POLLHUP))
        receive();
}

void ConnectSession::receive()
{
    char *area = received.writeArea();
    const size_t room = received.writeCapacity();
    ssize_t got = 0;
    do {
        got = ::recv(socket, area, room, 0);
    } while (got < 0 && errno == EINTR);
    if (got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK)) {
        // Closed or reset by the peer, or the socket is broken: start over.
        disconnect();
        return;
    }
    if (got < 0)
        return;
    received.commit(size_t(got));
    receivedTotal += uint64_t(got);
    const FrameCutter::Status status =
        received.cut([this](const char *frame, int length) { deliver(decodeFrame(frame, length)); });
    if (status == FrameCutter::Status::FrameTooLarge) {
        diagnostic("消息太大了:{0}");
        disconnect();
    } else if (status == FrameCutter::Status::FrameTooSmall) {
        diagnostic("消息长度错误:" + std::to_string(received.badLength()));
        disconnect();
    }
}

std::unique_ptr<MsgHeader> ConnectSession::decodeFrame(const char *frame, int length)
{
    std::unique_ptr<MsgHeader> msg = MsgFactory::createOwned(readLe32(frame + 4));
    if (msg)
        msg->Decode(frame, length);
    return msg;
}

void ConnectSession::flushSendArea()
{
    if (socket < 0 || connectionState.load() != Connected)
        return;
    int from = 0;
    int to = 0;
    {
        std::lock_guard lock(positionsLock);
        from = sendRead;
        to = sendWrite;
    }
    if (from >= to)
        return;
    // Bytes between the two positions are never touched by Send() until they are out.
    const ssize_t sent = ::send(socket, sendArea.get() + from, size_t(to - from), MSG_NOSIGNAL);
    if (sent <= 0)
        return;
    std::lock_guard lock(positionsLock);
    sendRead += int(sent);
}

void ConnectSession::disconnect()
{
    if (socket >= 0) {
        ::close(socket);
        socket = -1;
    }
    received.clear();
    int expected = Connected;
    if (!connectionState.compare_exchange_strong(expected, Connecting))
        return;
    waitBeforeAttemptMs = backoff.lost(std::chrono::steady_clock::now());
    deliver(MsgFactory::createOwned(kMsgDisconnect));
}

void ConnectSession::deliver(std::unique_ptr<MsgHeader> msg)
{
    if (msg && handler)
        handler->OnMessage(std::move(msg));
}
