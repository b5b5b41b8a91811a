#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include "net/FrameCutter.h"
#include "service/guard/ConnectionGate.h"
#include "service/guard/OutputWatch.h"
#include "service/ServiceLog.h"

class DataServer;
class MsgHeader;
class QTcpSocket;
struct ServiceLimits;

// One accepted socket of the data server: cuts frames and hands them to the
// server a few per turn, sends answers, and reads nothing more while its
// answers wait to go out. Closes when the peer does not log in in time, is
// silent too long after it did, sends a frame out of bounds, or stops taking
// what it is sent (a frame of any size reaches a peer that reads).
class DataConnection : public QObject {
public:
    DataConnection(DataServer &owner, QTcpSocket *tcpSocket, ConnectionGate::Ticket ticket, int number);
    ~DataConnection() override;
    DataConnection(const DataConnection &) = delete;
    DataConnection &operator=(const DataConnection &) = delete;

    int id() const { return connectionId; }
    const QString &user() const { return loggedInUser; }
    // The peer's IP address, without the port.
    QString address() const;
    // Empty: not logged in, with the small frame limit and the login deadline.
    void setUser(const QString &name);
    bool closing() const { return closingStarted; }

    // Within the connection's log budget.
    void log(const QString &text);
    void send(MsgHeader &msg);
    void sendFrame(const QByteArray &frame);
    void closeWith(const QString &reason);
    // While an answer is being made off the event loop, the frames after its
    // request wait, so that answers leave in the order of their requests.
    void holdInput();
    void resumeInput();

private:
    const ServiceLimits &limits() const;
    // Handles what is buffered and reads on, up to framesPerTurn frames.
    void serve();
    void queueTurn();
    void handle(const char *frame, int length);
    void finish(const QString &reason);

    DataServer &server;
    QTcpSocket *socket;
    ConnectionGate::Ticket place;
    FrameCutter cutter;
    // The login deadline until a login succeeds, then the idle timeout.
    QTimer watch;
    OutputWatch output;
    QString peer;
    ServiceLog::Budget logBudget;
    QString loggedInUser;
    int connectionId;
    bool turnQueued = false;
    bool held = false;
    bool closingStarted = false;
    bool finished = false;
};
