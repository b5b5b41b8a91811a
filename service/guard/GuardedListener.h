#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTcpServer>
#include <QTimer>

#include <functional>
#include <memory>

#include "service/guard/ConnectionGate.h"

class QSocketNotifier;
class QTcpSocket;

// A listening socket that hands over the clients the gate admits and refuses
// the others with a short message. One descriptor is held in reserve, so that
// a process out of descriptors still accepts a client to refuse it instead of
// leaving it waiting in the backlog.
class GuardedListener : public QObject {
public:
    // The socket is the receiver's from then on; the ticket is to be kept as
    // long as the connection is open.
    using OnAdmitted = std::function<void(QTcpSocket *socket, ConnectionGate::Ticket ticket)>;

    // name prefixes log lines; refusal is written to each refused client
    // before it is closed.
    GuardedListener(QString name, ConnectionGate &gate, QByteArray refusal, OnAdmitted onAdmitted,
                    QObject *parent = nullptr);
    ~GuardedListener() override;
    GuardedListener(const GuardedListener &) = delete;
    GuardedListener &operator=(const GuardedListener &) = delete;

    bool listen(const QHostAddress &address, quint16 port);
    quint16 port() const { return server.serverPort(); }
    QString errorString() const { return server.errorString(); }
    void close();

private:
    // Accepts what waits in the backlog. QTcpServer is not left to accept:
    // out of descriptors, it retries accept() without end and tells no one.
    void acceptBacklog();
    void admit(int descriptor);
    void onOutOfDescriptors();
    void refuse(QTcpSocket *socket, const QString &reason);
    // Accepts and refuses what waits in the backlog with the spare
    // descriptor; true when the backlog is empty afterwards.
    bool refuseBacklog();
    void holdSpare();

    QString name;
    ConnectionGate &gate;
    QByteArray refusal;
    OnAdmitted onAdmitted;
    QTcpServer server;
    std::unique_ptr<QSocketNotifier> readable;
    QTimer retry;
    int spare = -1;
};
