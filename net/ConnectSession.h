#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "net/FrameCutter.h"
#include "net/MsgHeader.h"
#include "net/ReconnectBackoff.h"

// Receives every message the connection delivers, on the worker thread, and
// takes it over.
class IConnectSessionHandler {
public:
    virtual ~IConnectSessionHandler() = default;
    virtual void OnMessage(std::unique_ptr<MsgHeader> msg) = 0;
};

// The one TCP connection to the data server. A worker thread runs Run(): it
// connects and reconnects, receives and cuts frames, and writes out what the
// GUI thread queued with Send(). The worker blocks in poll() on the socket and
// on a wake-up descriptor, so an idle connection costs nothing.
class ConnectSession {
public:
    enum State : int { Connecting = 0, Connected = 1, Stopping = 2 };

    static constexpr uint16_t kDefaultPort = 19899;
    static constexpr int kSendAreaSize = 65536;

    static ConnectSession &Instance();

    ConnectSession();
    ~ConnectSession();
    ConnectSession(const ConnectSession &) = delete;
    ConnectSession &operator=(const ConnectSession &) = delete;

    // Done once before the worker starts.
    void configure(const std::string &host, uint16_t port, IConnectSessionHandler *handler);

    // GUI thread: queues one frame and returns its length, or 0 when it does
    // not fit the free part of the send area (nothing is queued then).
    int Send(MsgHeader &msg);

    // Worker thread: returns once stop() was called.
    void Run();
    // Any thread: asks the worker to close the socket and leave Run().
    void stop();

    int state() const { return connectionState.load(); }
    int sendReadPosition() const;
    int sendWritePosition() const;
    // Worker-thread view; read it from elsewhere only while the worker is stopped.
    size_t receiveCount() const { return received.held(); }
    // Bytes received over all connections; safe from any thread.
    uint64_t bytesReceived() const { return receivedTotal.load(); }
    // Connection attempts made so far; safe from any thread.
    int connectAttempts() const { return attempts.load(); }
    const std::string &host() const { return hostName; }
    uint16_t port() const { return portNumber; }

    // Turns one complete frame into its message object, or null for an
    // unassigned type.
    static std::unique_ptr<MsgHeader> decodeFrame(const char *frame, int length);

    // Where diagnostic lines go; standard output unless replaced.
    void setDiagnosticSink(std::function<void(const std::string &)> sink);

private:
    void connectOnce();
    void pollOnce();
    void receive();
    void flushSendArea();
    void disconnect();
    void deliver(std::unique_ptr<MsgHeader> msg);
    void diagnostic(const std::string &line);
    // Waits ms milliseconds unless stopped first; returns false when stopping.
    bool pause(int ms);
    void attemptFailed(const std::string &what);
    void wake();
    void drainWakeups();

    FrameCutter received;
    std::atomic<uint64_t> receivedTotal{0};
    std::unique_ptr<char[]> sendArea;
    mutable std::mutex positionsLock;
    int sendWrite = 0;
    int sendRead = 0;

    ReconnectBackoff backoff;
    int waitBeforeAttemptMs = 0;
    std::atomic<int> attempts{0};

    int socket = -1;
    int wakeFd = -1;
    std::atomic<int> connectionState{Connecting};
    std::string hostName;
    uint16_t portNumber = kDefaultPort;
    IConnectSessionHandler *handler = nullptr;

    std::mutex sinkLock;
    std::function<void(const std::string &)> sink;
};
