#pragma once

#include <QString>
#include <QtGlobal>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

// Many logged-in data clients on one thread of their own: plain sockets under
// one poll() instead of a connection worker each, so a thousand of them cost
// one thread. Each logs in as its own user and then only stamps when a change
// notification arrives.
class FanOutClients {
public:
    using Clock = std::chrono::steady_clock;
    struct Login {
        QString user;
        QString password;
    };

    // Connects and logs in all clients in the background.
    FanOutClients(quint16 port, std::vector<Login> logins);
    ~FanOutClients();
    FanOutClients(const FanOutClients &) = delete;
    FanOutClients &operator=(const FanOutClients &) = delete;

    int loggedIn() const { return ready.load(); }
    int failed() const { return refused.load(); }
    bool settled() const { return loggedIn() + failed() == int(states.size()); }

    // From now on, the first notification each client gets is stamped
    // (again, for another round). Only once settled().
    void expectNotification();
    int notified() const { return arrivals.load(); }
    // Milliseconds from `since` to each stamped notification, sorted.
    std::vector<double> notificationDelays(Clock::time_point since) const;

private:
    struct Client;
    void loop();
    bool openNext();
    void onReadable(Client &client);
    void onFrame(Client &client, const char *frame, int length);
    void drop(Client &client);

    quint16 port;
    std::vector<Login> logins;
    std::vector<std::unique_ptr<Client>> states;
    size_t opened = 0;
    std::atomic<int> ready{0};
    std::atomic<int> refused{0};
    std::atomic<bool> armed{false};
    std::atomic<int> arrivals{0};
    std::atomic<bool> stopping{false};
    std::thread worker;
};
