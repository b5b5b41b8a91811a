#pragma once

#include <QByteArray>

#include <functional>

// A client on loopback that sends and never reads, with the socket buffers
// that answers pass through at the kernel's floor, so that answers back up in
// the server instead of in the kernel.
class NonReadingPeer {
public:
    NonReadingPeer() = default;
    ~NonReadingPeer();
    NonReadingPeer(const NonReadingPeer &) = delete;
    NonReadingPeer &operator=(const NonReadingPeer &) = delete;

    // Connected to the server on port, which has taken the connection as its
    // only one (it waits for the others to end first); connections counts
    // the server's open connections. With smallRequestBuffers the requests'
    // buffers are at the floor too, so that the peer is held back soon after
    // the server stops reading.
    bool open(quint16 port, const std::function<int()> &connections, bool smallRequestBuffers);
    // Sends what the kernel takes of bytes past sent, without waiting.
    void sendMore(const QByteArray &bytes);

    qsizetype sent = 0;

private:
    int fd = -1;
};
