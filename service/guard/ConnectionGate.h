#pragma once

#include <QHash>
#include <QHostAddress>
#include <QString>

#include <optional>

// Counts the open connections of the service, overall and per peer address,
// against their caps. A connection holds its place with a Ticket.
class ConnectionGate {
public:
    // One admitted connection's place; given back when destroyed.
    class Ticket {
    public:
        Ticket() = default;
        Ticket(Ticket &&other) noexcept;
        Ticket &operator=(Ticket &&other) noexcept;
        Ticket(const Ticket &) = delete;
        Ticket &operator=(const Ticket &) = delete;
        ~Ticket();

    private:
        friend class ConnectionGate;
        Ticket(ConnectionGate *gate, QString address) : gate(gate), address(std::move(address)) {}
        void release();

        ConnectionGate *gate = nullptr;
        QString address;
    };

    // A ticket, or why there is none.
    struct Admission {
        std::optional<Ticket> ticket;
        QString refusal;
    };

    ConnectionGate(int maxConnections, int maxPerAddress);
    ConnectionGate(const ConnectionGate &) = delete;
    ConnectionGate &operator=(const ConnectionGate &) = delete;

    Admission admit(const QHostAddress &peer);
    int open() const { return total; }
    int openFrom(const QHostAddress &peer) const { return perAddress.value(key(peer)); }

private:
    // IPv4 peers of a dual-stack socket count as their IPv4 address.
    static QString key(const QHostAddress &peer);
    void release(const QString &address);

    int maxTotal;
    int maxPerAddress;
    int total = 0;
    QHash<QString, int> perAddress;
};
