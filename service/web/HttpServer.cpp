#include "service/web/HttpServer.h"

#include "service/web/HttpConnection.h"

HttpServer::HttpServer(Handler onRequest, ConnectionGate &gate, const ServiceLimits &serviceLimits,
                       QObject *parent)
    : QObject(parent), handler(std::move(onRequest)), limits(serviceLimits),
      listener(QStringLiteral("web"), gate, replyBytes(plainReply(503), false, true),
               [this](QTcpSocket *socket, ConnectionGate::Ticket ticket) {
                   new HttpConnection(*this, socket, std::move(ticket));
               })
{
}

HttpServer::~HttpServer()
{
    // Connections are children; they must not reach into a half-destroyed server.
    const QList<HttpConnection *> open = connections;
    qDeleteAll(open);
}

bool HttpServer::listen(const QHostAddress &address, quint16 port)
{
    return listener.listen(address, port);
}

qint64 HttpServer::pendingOutput() const
{
    qint64 total = 0;
    for (const HttpConnection *c : connections)
        total += c->pendingOutput();
    return total;
}

HttpReply HttpServer::plainReply(int status)
{
    HttpReply reply;
    reply.status = status;
    reply.body = statusText(status);
    return reply;
}

QByteArray HttpServer::replyBytes(const HttpReply &reply, bool keepAlive, bool withBody)
{
    QByteArray out = "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + statusText(reply.status) +
                     "\r\nContent-Type: " + reply.contentType +
                     "\r\nContent-Length: " + QByteArray::number(reply.body.size()) +
                     "\r\nCache-Control: no-store\r\nConnection: " + (keepAlive ? "keep-alive" : "close") +
                     "\r\n\r\n";
    if (withBody)
        out += reply.body;
    return out;
}

QByteArray HttpServer::statusText(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 408:
        return "Request Timeout";
    case 413:
        return "Payload Too Large";
    case 431:
        return "Request Header Fields Too Large";
    case 501:
        return "Not Implemented";
    case 503:
        return "Service Unavailable";
    case 505:
        return "HTTP Version Not Supported";
    default:
        return "Internal Server Error";
    }
}
