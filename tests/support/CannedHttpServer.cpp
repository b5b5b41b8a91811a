#include "tests/support/CannedHttpServer.h"

#include <memory>

#include <QHostAddress>
#include <QStringDecoder>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

CannedHttpServer::Reply CannedHttpServer::withStatus(int status, const QByteArray &body)
{
    const QByteArray reason = status == 200 ? "OK" : "Other";
    return Reply{"HTTP/1.1 " + QByteArray::number(status) + " " + reason +
                     "\r\nContent-Type: text/plain\r\nConnection: close\r\nContent-Length: " +
                     QByteArray::number(body.size()) + "\r\n\r\n" + body,
                 false, false};
}

CannedHttpServer::CannedHttpServer(Handler handler) : handler(std::move(handler))
{
    std::future<void> ready = listening.get_future();
    start();
    ready.wait();
}

CannedHttpServer::~CannedHttpServer()
{
    quit();
    wait();
    // The thread has ended, but through Qt's own wait, which ThreadSanitizer
    // cannot see: what it wrote is released under the lock it wrote it with.
    std::lock_guard guard(mutex);
    received.clear();
    handler = nullptr;
}

QString CannedHttpServer::address() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(listeningPort);
}

QList<QByteArray> CannedHttpServer::targets() const
{
    std::lock_guard guard(mutex);
    return received;
}

void CannedHttpServer::setHandler(Handler newHandler)
{
    std::lock_guard guard(mutex);
    handler = std::move(newHandler);
}

CannedHttpServer::Reply CannedHttpServer::answer(const QByteArray &target)
{
    std::lock_guard guard(mutex);
    received.append(target);
    return handler(target);
}

void CannedHttpServer::run()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    listeningPort = server.serverPort();
    listening.set_value();

    QObject::connect(&server, &QTcpServer::newConnection, &server, [&] {
        while (QTcpSocket *socket = server.nextPendingConnection()) { // a child of the server
            auto request = std::make_shared<QByteArray>();
            auto answered = std::make_shared<bool>(false);
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, request, answered] {
                request->append(socket->readAll());
                if (*answered || !request->contains("\r\n\r\n"))
                    return;
                *answered = true;
                const QList<QByteArray> requestLine = request->left(request->indexOf("\r\n")).split(' ');
                const Reply reply = answer(requestLine.value(1));
                if (reply.silent)
                    return;
                if (reply.trickle) {
                    socket->write("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n");
                    auto *timer = new QTimer(socket);
                    QObject::connect(timer, &QTimer::timeout, socket, [socket] { socket->write("x"); });
                    timer->start(50);
                    return;
                }
                socket->write(reply.bytes);
                socket->disconnectFromHost();
            });
        }
    });
    exec();
}

QString decodeQueryValue(const QByteArray &encoded)
{
    QStringDecoder gbk("GBK");
    return gbk.decode(QByteArray::fromPercentEncoding(encoded));
}

QString QueryParameter(const QByteArray &target, const QByteArray &key)
{
    const QByteArray query = target.mid(target.indexOf('?') + 1);
    for (const QByteArray &pair : query.split('&')) {
        const qsizetype equals = pair.indexOf('=');
        if (equals >= 0 && pair.left(equals) == key)
            return decodeQueryValue(pair.mid(equals + 1));
    }
    return QString();
}
