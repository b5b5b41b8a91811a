#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "net/FrameCutter.h"
#include "net/MsgHeader.h"

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
    static constexpr int kRetryDelayMs = 100;

    static ConnectSession &Instance();

    ConnectSession();
    ~ConnectSession();
    ConnectSession(const ConnectSession &) = delete;
    ConnectSession &operator=(const ConnectSession &) = delete;

    // Done once before the worker starts.
    void Configure(const std::string &host, uint16_t port, IConnectSessionHandler *handler);

    // GUI thread: queues one frame and returns its length, or 0 when it does
    // not fit the free part of the send area (nothing is queued then).
    int Send(MsgHeader &msg);

    // Worker thread: returns once Stop() was called.
    void Run();
    // Any thread: asks the worker to close the socket and leave Run().
    void Stop();

    int state() const { return m_state.load(); }
    int sendReadPosition() const;
    int sendWritePosition() const;
    // Worker-thread view; read it from elsewhere only while the worker is stopped.
    size_t receiveCount() const { return m_received.held(); }
    // Bytes received over all connections; safe from any thread.
    uint64_t bytesReceived() const { return m_bytesReceived.load(); }
    const std::string &host() const { return m_host; }
    uint16_t port() const { return m_port; }

    // Turns one complete frame into its message object, or null for an
    // unassigned type.
    static std::unique_ptr<MsgHeader> DecodeFrame(const char *frame, int length);

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
    // Waits up to ms milliseconds or until woken; returns false when stopping.
    bool pause(int ms);
    void wake();
    void drainWakeups();

    FrameCutter m_received;
    std::atomic<uint64_t> m_bytesReceived{0};
    std::unique_ptr<char[]> m_sendArea;
    mutable std::mutex m_positionsLock;
    int m_sendWrite = 0;
    int m_sendRead = 0;

    int m_socket = -1;
    int m_wakeFd = -1;
    std::atomic<int> m_state{Connecting};
    std::string m_host;
    uint16_t m_port = kDefaultPort;
    IConnectSessionHandler *m_handler = nullptr;

    std::mutex m_sinkLock;
    std::function<void(const std::string &)> m_sink;
};
