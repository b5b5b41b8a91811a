#include "tests/support/TcpRelay.h"

#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

class TcpRelayWorker : public QObject {
public:
    // The server is a child, so that it moves to the relay's thread too.
    explicit TcpRelayWorker(quint16 target) : target(target), server(this)
    {
        connect(&server, &QTcpServer::newConnection, this, &TcpRelayWorker::accept);
    }

    quint16 listen(quint16 port)
    {
        if (!server.listen(QHostAddress::LocalHost, port))
            return 0;
        return server.serverPort();
    }

    void cut()
    {
        server.close();
        for (const QPointer<QTcpSocket> &socket : std::exchange(sockets, {})) {
            if (socket) {
                socket->abort();
                socket->deleteLater();
            }
        }
    }

private:
    void accept()
    {
        while (QTcpSocket *in = server.nextPendingConnection()) {
            auto *out = new QTcpSocket(this);
            in->setParent(this);
            pipe(in, out);
            pipe(out, in);
            sockets << in << out;
            // Written before the connection is made, it waits in Qt's buffer.
            out->connectToHost(QHostAddress::LocalHost, target);
        }
    }

    static void pipe(QTcpSocket *from, QTcpSocket *to)
    {
        connect(from, &QTcpSocket::readyRead, to, [from, to] { to->write(from->readAll()); });
        connect(from, &QTcpSocket::disconnected, to, [to] { to->disconnectFromHost(); });
    }

    quint16 target;
    QTcpServer server;
    QList<QPointer<QTcpSocket>> sockets;
};

TcpRelay::TcpRelay(quint16 targetPort) : worker(std::make_unique<TcpRelayWorker>(targetPort))
{
    worker->moveToThread(&thread);
    thread.start();
    QMetaObject::invokeMethod(
        worker.get(), [this] { listening = worker->listen(0); }, Qt::BlockingQueuedConnection);
}

TcpRelay::~TcpRelay()
{
    cut();
    // The sockets cut() let go are deleted as the thread ends; the worker,
    // idle from then on, goes after it.
    thread.quit();
    thread.wait();
    worker.reset();
}

void TcpRelay::cut()
{
    QMetaObject::invokeMethod(
        worker.get(), [this] { worker->cut(); }, Qt::BlockingQueuedConnection);
}

bool TcpRelay::restore()
{
    quint16 got = 0;
    QMetaObject::invokeMethod(
        worker.get(), [this, &got] { got = worker->listen(listening); }, Qt::BlockingQueuedConnection);
    return got == listening;
}
