#include "net/ConnectSession.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

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
    : m_sendArea(std::make_unique<char[]>(kSendAreaSize)), m_wakeFd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
{
}

ConnectSession::~ConnectSession()
{
    if (m_socket >= 0)
        ::close(m_socket);
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
}

void ConnectSession::Configure(const std::string &host, uint16_t port, IConnectSessionHandler *handler)
{
    m_host = host;
    m_port = port;
    m_handler = handler;
    m_received.clear();
    {
        std::lock_guard lock(m_positionsLock);
        m_sendWrite = 0;
        m_sendRead = 0;
    }
    m_state = Connecting;
}

void ConnectSession::setDiagnosticSink(std::function<void(const std::string &)> sink)
{
    std::lock_guard lock(m_sinkLock);
    m_sink = std::move(sink);
}

void ConnectSession::diagnostic(const std::string &line)
{
    std::lock_guard lock(m_sinkLock);
    if (m_sink) {
        m_sink(line);
    } else {
        std::fputs(line.c_str(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }
}

int ConnectSession::sendReadPosition() const
{
    std::lock_guard lock(m_positionsLock);
    return m_sendRead;
}

int ConnectSession::sendWritePosition() const
{
    std::lock_guard lock(m_positionsLock);
    return m_sendWrite;
}

int ConnectSession::Send(MsgHeader &msg)
{
    int length = 0;
    {
        std::lock_guard lock(m_positionsLock);
        // Everything queued has gone out: start again at the front.
        if (m_sendRead > 0 && m_sendRead == m_sendWrite) {
            m_sendWrite = 0;
            m_sendRead = 0;
        }
        length = msg.Encode(m_sendArea.get() + m_sendWrite, kSendAreaSize - m_sendWrite);
        m_sendWrite += length;
    }
    if (length > 0)
        wake();
    return length;
}

void ConnectSession::Stop()
{
    m_state = Stopping;
    wake();
}

void ConnectSession::wake()
{
    const uint64_t one = 1;
    if (m_wakeFd >= 0)
        (void)!::write(m_wakeFd, &one, sizeof one);
}

void ConnectSession::drainWakeups()
{
    uint64_t count = 0;
    while (::read(m_wakeFd, &count, sizeof count) > 0) {
    }
}

bool ConnectSession::pause(int ms)
{
    pollfd fd{m_wakeFd, POLLIN, 0};
    ::poll(&fd, 1, ms);
    drainWakeups();
    return m_state.load() != Stopping;
}

void ConnectSession::Run()
{
    for (;;) {
        const int state = m_state.load();
        if (state == Connecting)
            connectOnce();
        else if (state == Connected)
            pollOnce();
        if (m_state.load() == Stopping) {
            if (m_socket >= 0) {
                ::close(m_socket);
                m_socket = -1;
            }
            break;
        }
        flushSendArea();
    }
    disconnect();
}

void ConnectSession::connectOnce()
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    if (::getaddrinfo(m_host.c_str(), nullptr, &hints, &found) != 0 || !found) {
        diagnostic("解析服务器地址出错！");
        pause(kRetryDelayMs);
        return;
    }
    sockaddr_in address = *reinterpret_cast<sockaddr_in *>(found->ai_addr);
    ::freeaddrinfo(found);
    address.sin_family = AF_INET;
    address.sin_port = htons(m_port);

    m_socket = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_socket < 0) {
        diagnostic("创建Socket出错！");
        pause(kRetryDelayMs);
        return;
    }
    bool connected = ::connect(m_socket, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    if (!connected && errno == EINPROGRESS) {
        // Wait for the outcome, but let Stop() cut the wait short.
        pollfd fds[2] = {{m_socket, POLLOUT, 0}, {m_wakeFd, POLLIN, 0}};
        int ready = 0;
        do {
            ready = ::poll(fds, 2, kConnectTimeoutMs);
        } while (ready < 0 && errno == EINTR);
        if (fds[1].revents & POLLIN)
            drainWakeups();
        if (ready > 0 && (fds[0].revents & (POLLOUT | POLLERR | POLLHUP))) {
            int error = 0;
            socklen_t size = sizeof error;
            connected = ::getsockopt(m_socket, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
        }
    }
    if (m_state.load() == Stopping)
        return;
    if (!connected) {
        diagnostic("连接服务器出错！");
        disconnect();
        pause(kRetryDelayMs);
        return;
    }
    const int noDelay = 1;
    ::setsockopt(m_socket, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
    // A new stream starts with the server's greeting: nothing held belongs to it.
    m_received.clear();
    int expected = Connecting;
    m_state.compare_exchange_strong(expected, Connected);
}

void ConnectSession::pollOnce()
{
    bool pendingSend = false;
    {
        std::lock_guard lock(m_positionsLock);
        pendingSend = m_sendRead < m_sendWrite;
    }
    pollfd fds[2] = {{m_socket, short(POLLIN | (pendingSend ? POLLOUT : 0)), 0}, {m_wakeFd, POLLIN, 0}};
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
    char *area = m_received.writeArea();
    const size_t room = m_received.writeCapacity();
    ssize_t got = 0;
    do {
        got = ::recv(m_socket, area, room, 0);
    } while (got < 0 && errno == EINTR);
    if (got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK)) {
        // Closed or reset by the peer, or the socket is broken: start over.
        disconnect();
        return;
    }
    if (got < 0)
        return;
    m_received.commit(size_t(got));
    m_bytesReceived += uint64_t(got);
    const FrameCutter::Status status =
        m_received.cut([this](const char *frame, int length) { deliver(DecodeFrame(frame, length)); });
    if (status == FrameCutter::Status::FrameTooLarge) {
        diagnostic("消息太大了:{0}");
        disconnect();
    } else if (status == FrameCutter::Status::FrameTooSmall) {
        diagnostic("消息长度错误:" + std::to_string(m_received.badLength()));
        disconnect();
    }
}

std::unique_ptr<MsgHeader> ConnectSession::DecodeFrame(const char *frame, int length)
{
    std::unique_ptr<MsgHeader> msg = MsgFactory::CreateOwned(ReadLe32(frame + 4));
    if (msg)
        msg->Decode(frame, length);
    return msg;
}

void ConnectSession::flushSendArea()
{
    if (m_socket < 0 || m_state.load() != Connected)
        return;
    int from = 0;
    int to = 0;
    {
        std::lock_guard lock(m_positionsLock);
        from = m_sendRead;
        to = m_sendWrite;
    }
    if (from >= to)
        return;
    // Bytes between the two positions are never touched by Send() until they are out.
    const ssize_t sent = ::send(m_socket, m_sendArea.get() + from, size_t(to - from), MSG_NOSIGNAL);
    if (sent <= 0)
        return;
    std::lock_guard lock(m_positionsLock);
    m_sendRead += int(sent);
}

void ConnectSession::disconnect()
{
    if (m_socket >= 0) {
        ::close(m_socket);
        m_socket = -1;
    }
    m_received.clear();
    int expected = Connected;
    if (!m_state.compare_exchange_strong(expected, Connecting))
        return;
    deliver(MsgFactory::CreateOwned(kMsgDisconnect));
}

void ConnectSession::deliver(std::unique_ptr<MsgHeader> msg)
{
    if (msg && m_handler)
        m_handler->OnMessage(std::move(msg));
}
