#include "bench/service/FanOutClients.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "net/FrameCutter.h"
#include "net/MsgHeader.h"

namespace {

// Connections being opened and not yet greeted: the server accepts from a
// short queue, and a flood of connects only makes the kernel drop some.
constexpr size_t kOpeningAtOnce = 32;

} // namespace

struct FanOutClients::Client {
    enum class State { Greeting, LoggingIn, FirstNotification, Ready, Gone };
    int fd = -1;
    State state = State::Greeting;
    FrameCutter frames;
    const Login *login = nullptr;
    Clock::time_point notifiedAt;
    std::atomic<bool> notified{false}; // notifiedAt is set before
};

FanOutClients::FanOutClients(quint16 serverPort, std::vector<Login> clientLogins)
    : port(serverPort), logins(std::move(clientLogins))
{
    states.resize(logins.size());
    worker = std::thread([this] { loop(); });
}

FanOutClients::~FanOutClients()
{
    stopping = true;
    worker.join();
    for (const auto &c : states) {
        if (c && c->fd >= 0)
            ::close(c->fd);
    }
}

void FanOutClients::expectNotification()
{
    for (const auto &c : states)
        c->notified = false; // all opened: settled() held
    arrivals = 0;
    armed = true;
}

std::vector<double> FanOutClients::notificationDelays(Clock::time_point since) const
{
    std::vector<double> delays;
    for (const auto &c : states) {
        if (c && c->notified.load(std::memory_order_acquire))
            delays.push_back(std::chrono::duration<double, std::milli>(c->notifiedAt - since).count());
    }
    std::sort(delays.begin(), delays.end());
    return delays;
}

bool FanOutClients::openNext()
{
    auto client = std::make_unique<Client>();
    client->login = &logins[opened];
    client->fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok =
        client->fd >= 0 && ::connect(client->fd, reinterpret_cast<const sockaddr *>(&to), sizeof to) == 0;
    if (!ok) {
        client->state = Client::State::Gone;
        ++refused;
    }
    states[opened++] = std::move(client);
    return ok;
}

void FanOutClients::drop(Client &client)
{
    if (client.state != Client::State::Ready && client.state != Client::State::Gone)
        ++refused;
    client.state = Client::State::Gone;
    ::close(client.fd);
    client.fd = -1;
}

void FanOutClients::loop()
{
    std::vector<pollfd> polled;
    std::vector<Client *> owners;
    while (!stopping) {
        size_t opening = 0;
        for (size_t i = 0; i < opened; ++i)
            opening += states[i]->state == Client::State::Greeting ? 1 : 0;
        while (opened < states.size() && opening < kOpeningAtOnce)
            opening += openNext() ? 1 : 0;
        polled.clear();
        owners.clear();
        for (size_t i = 0; i < opened; ++i) {
            if (states[i]->fd >= 0) {
                polled.push_back({states[i]->fd, POLLIN, 0});
                owners.push_back(states[i].get());
            }
        }
        if (::poll(polled.data(), polled.size(), 10) <= 0)
            continue;
        for (size_t i = 0; i < polled.size(); ++i) {
            if (polled[i].revents != 0)
                onReadable(*owners[i]);
        }
    }
}

void FanOutClients::onReadable(Client &client)
{
    char *area = client.frames.writeArea(); // makes the room writeCapacity() counts
    const ssize_t n = ::recv(client.fd, area, client.frames.writeCapacity(), 0);
    if (n <= 0) {
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            return;
        drop(client);
        return;
    }
    client.frames.commit(size_t(n));
    const FrameCutter::Status status =
        client.frames.cut([&](const char *frame, int length) { onFrame(client, frame, length); });
    if (status != FrameCutter::Status::Ok && client.fd >= 0)
        drop(client);
}

void FanOutClients::onFrame(Client &client, const char *frame, int length)
{
    const int32_t type = readLe32(frame + 4);
    switch (client.state) {
    case Client::State::Greeting:
        if (type == kMsgConnected) {
            MsgUserLoginReq req;
            req.body.set_username(client.login->user.toStdString());
            req.body.set_password(client.login->password.toStdString());
            char buffer[1024];
            const int size = req.Encode(buffer, sizeof buffer);
            if (size == 0 || ::send(client.fd, buffer, size_t(size), MSG_NOSIGNAL) != size)
                drop(client);
            else
                client.state = Client::State::LoggingIn;
        }
        break;
    case Client::State::LoggingIn:
        if (type == kMsgUserLoginAck) {
            MsgUserLoginAck ack;
            ack.Decode(frame, length);
            if (ack.body.code() == 0)
                client.state = Client::State::FirstNotification;
            else
                drop(client);
        }
        break;
    case Client::State::FirstNotification:
        // A good login is followed by the account's ads at once.
        if (type == kMsgUserAdsChangeNtf) {
            client.state = Client::State::Ready;
            ++ready;
        }
        break;
    case Client::State::Ready:
        if (type == kMsgUserAdsChangeNtf && armed && !client.notified) {
            client.notifiedAt = Clock::now();
            client.notified.store(true, std::memory_order_release);
            ++arrivals;
        }
        break;
    case Client::State::Gone:
        break;
    }
}
