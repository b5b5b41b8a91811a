#include "tests/support/TcpRelay.h"

#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

#include <future>

#include "base/ThreadHandoff.h"

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

namespace {

// Runs work on the worker's thread and waits for it: the wait is a future's,
// which the thread checker sees (unlike Qt's blocking queued call).
template <class Work> void runOn(TcpRelayWorker *worker, Work &&work)
{
    std::promise<void> done;
    base::postQueued(worker, [&] {
        work();
        done.set_value();
    });
    done.get_future().wait();
}

} // namespace

TcpRelay::TcpRelay(quint16 targetPort) : worker(std::make_unique<TcpRelayWorker>(targetPort))
{
    worker->moveToThread(&thread);
    thread.start();
    runOn(worker.get(), [this] { listening = worker->listen(0); });
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
    runOn(worker.get(), [this] { worker->cut(); });
}

bool TcpRelay::restore()
{
    quint16 got = 0;
    runOn(worker.get(), [this, &got] { got = worker->listen(listening); });
    return got == listening;
}
