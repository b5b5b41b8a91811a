#include "service/guard/ConnectionGate.h"

#include <utility>

ConnectionGate::Ticket::Ticket(Ticket &&other) noexcept
    : gate(std::exchange(other.gate, nullptr)), address(std::move(other.address))
{
}

ConnectionGate::Ticket &ConnectionGate::Ticket::operator=(Ticket &&other) noexcept
{
    if (this != &other) {
        release();
        gate = std::exchange(other.gate, nullptr);
        address = std::move(other.address);
    }
    return *this;
}

ConnectionGate::Ticket::~Ticket()
{
    release();
}

void ConnectionGate::Ticket::release()
{
    if (gate)
        std::exchange(gate, nullptr)->release(address);
}

ConnectionGate::ConnectionGate(int maxConnections, int maxPerAddress)
    : maxTotal(maxConnections), maxPerAddress(maxPerAddress)
{
}

QString ConnectionGate::key(const QHostAddress &peer)
{
    bool isV4 = false;
    const quint32 v4 = peer.toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4).toString() : peer.toString();
}

ConnectionGate::Admission ConnectionGate::admit(const QHostAddress &peer)
{
    const QString address = key(peer);
    Admission admission;
    if (total >= maxTotal) {
        admission.refusal = QStringLiteral("%1 connections open (cap %2)").arg(total).arg(maxTotal);
        return admission;
    }
    int &fromPeer = perAddress[address];
    if (fromPeer >= maxPerAddress) {
        admission.refusal = QStringLiteral("%1 connections open from %2 (cap %3)")
                                .arg(fromPeer)
                                .arg(address)
                                .arg(maxPerAddress);
        return admission;
    }
    ++fromPeer;
    ++total;
    admission.ticket = Ticket(this, address);
    return admission;
}

void ConnectionGate::release(const QString &address)
{
    --total;
    const auto it = perAddress.find(address);
    if (it != perAddress.end() && --it.value() <= 0)
        perAddress.erase(it);
}
