#pragma once

#include <QThread>
#include <QtGlobal>

#include <memory>

class TcpRelayWorker;

// A loopback TCP relay to another port, on a thread of its own (the program
// it serves may block its own thread on the connection). A test cuts it to
// play an outage of the server behind it: every connection is dropped and
// new ones are refused, until restore() listens on the same port again.
class TcpRelay {
public:
    explicit TcpRelay(quint16 targetPort);
    ~TcpRelay();
    TcpRelay(const TcpRelay &) = delete;
    TcpRelay &operator=(const TcpRelay &) = delete;

    quint16 port() const { return listening; }
    void cut();
    // False when the port could not be taken again.
    bool restore();

private:
    QThread thread;
    std::unique_ptr<TcpRelayWorker> worker;
    quint16 listening = 0;
};
