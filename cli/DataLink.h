#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "cli/Credentials.h"
#include "net/ConnectSession.h"
#include "net/MsgHeader.h"

namespace cli {

// A command's connection to the data server: the client's connection worker
// (with its reconnect back-off) on a thread of its own, a login on every
// connection it makes, and the messages handed over in order to the
// command's thread, which waits for them with a deadline.
class DataLink : public IConnectSessionHandler {
public:
    // Attempts started (the first, the worker's quick retries and one more)
    // after which a server that never accepted counts as unreachable.
    static constexpr int kAttemptsBeforeUnreachable = 5;
    static constexpr std::chrono::milliseconds kLoginWait{10'000};

    DataLink(const QString &host, quint16 port, Credentials credentials);
    ~DataLink() override;

    // Waits for the first login's answer. Throws a Failure: Unreachable when
    // no connection came within the client's retries, Refused with the
    // server's text when it turned the login down.
    void logIn();
    // Queues one request.
    void send(MsgHeader &msg);
    // The next message, or null when the time is up or interrupt() was
    // called. A greeting is answered with a login on the way and not handed
    // out; a login's answer is, so that a command can repeat a request lost
    // to a reconnection.
    std::unique_ptr<MsgHeader> next(std::chrono::milliseconds timeout);
    // Any thread: every wait ends now and later ones at once.
    void interrupt();
    bool interrupted() const;

    // Connections made so far (a new one means lost answers).
    int connections() const { return connectionCount; }

    void OnMessage(std::unique_ptr<MsgHeader> msg) override;

private:
    ConnectSession session;
    Credentials credentials;
    std::thread worker;
    mutable std::mutex lock;
    std::condition_variable arrived;
    std::deque<std::unique_ptr<MsgHeader>> queue;
    bool stopped = false;
    int connectionCount = 0;
};

} // namespace cli
