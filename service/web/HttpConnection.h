#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include "service/ServiceLog.h"
#include "service/guard/ConnectionGate.h"
#include "service/guard/OutputWatch.h"
#include "service/web/HttpRequestParser.h"
#include "service/web/HttpServer.h"

class QTcpSocket;

// One accepted socket of the web server: feeds what arrives to a parser and
// answers each request it yields, in turn.
class HttpConnection : public QObject {
public:
    HttpConnection(HttpServer &owner, QTcpSocket *tcpSocket, ConnectionGate::Ticket ticket);
    ~HttpConnection() override;
    HttpConnection(const HttpConnection &) = delete;
    HttpConnection &operator=(const HttpConnection &) = delete;

    qint64 pendingOutput() const;

private:
    // The request whose reply is awaited, and how that reply goes out.
    struct Awaited {
        quint64 number;
        bool keepAlive;
        bool withBody;
        QString request;
    };

    void queueTurn();
    // Answers what is buffered and reads on, up to framesPerTurn requests.
    void serve();
    void answer(HttpRequest &request);
    void deliver(const Awaited &awaited, const HttpReply &reply);
    void fail(HttpRequestParser::Error error);
    void send(const HttpReply &reply, bool keepAlive, bool withBody);
    void drop(const QString &reason);

    HttpServer &server;
    QTcpSocket *socket;
    ConnectionGate::Ticket place;
    const HttpServer::Handler &handler;
    const ServiceLimits &limits;
    HttpRequestParser parser;
    QTimer idle;
    QTimer requestDeadline;
    OutputWatch output;
    ServiceLog::Budget logBudget;
    // The number of the last request handed to the handler.
    quint64 lastAnswer = 0;
    // Its reply is not written yet: nothing after it is read.
    bool awaiting = false;
    bool inHandler = false;
    bool turnQueued = false;
    bool closing = false;
};
