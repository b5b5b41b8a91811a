#pragma once

#include <chrono>
#include <cstdint>
#include <string>

// A data-server stand-in on 127.0.0.1: listens on an ephemeral port, accepts
// one connection at a time and moves raw bytes. Every wait has a deadline.
class LoopbackPeer {
public:
    using Duration = std::chrono::milliseconds;
    static constexpr Duration kDeadline{5000};

    LoopbackPeer();
    ~LoopbackPeer();

    uint16_t port() const { return listenPort; }
    // Stops listening (connection attempts are refused) / listens again on the same port.
    void stopListening();
    bool listenAgain();

    bool accept(Duration deadline = kDeadline);
    void write(const std::string &bytes);
    // Reads until n bytes arrived or the deadline passed; returns what arrived.
    std::string read(size_t n, Duration deadline = kDeadline);
    // True when the connection was closed by the other side before the deadline.
    bool waitClosed(Duration deadline = kDeadline);
    void closeConnection();

private:
    int listener = -1;
    int connection = -1;
    uint16_t listenPort = 0;
};

std::string frameBytes(int type, const std::string &body, int reserved = 0);
