#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include "net/FrameCutter.h"
#include "service/ServiceLog.h"

class DataServer;
class MsgHeader;
class QTcpSocket;

// One accepted socket of the data server: cuts frames and hands them to the
// server, sends answers, and closes when the peer is silent too long, sends a
// frame out of bounds, or stops reading what it is sent.
class DataConnection : public QObject {
public:
    DataConnection(DataServer &owner, QTcpSocket *tcpSocket, int number);
    ~DataConnection() override;
    DataConnection(const DataConnection &) = delete;
    DataConnection &operator=(const DataConnection &) = delete;

    int id() const { return connectionId; }
    const QString &user() const { return loggedInUser; }
    // The peer's IP address, without the port.
    QString address() const;
    void setUser(const QString &name) { loggedInUser = name; }
    bool closing() const { return closingStarted; }

    // Within the connection's log budget.
    void log(const QString &text);
    void send(MsgHeader &msg);
    void sendFrame(const QByteArray &frame);
    void closeWith(const QString &reason);

private:
    void onReadyRead();
    void finish(const QString &reason);

    DataServer &server;
    QTcpSocket *socket;
    FrameCutter cutter;
    QTimer idle;
    QString peer;
    ServiceLog::Budget logBudget;
    QString loggedInUser;
    int connectionId;
    bool closingStarted = false;
    bool finished = false;
};
