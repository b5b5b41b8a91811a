#include "cli/DataLink.h"

#include <cstdio>

#include "cli/CliFailure.h"

namespace cli {

DataLink::DataLink(const QString &host, quint16 port, Credentials credentials)
    : credentials(std::move(credentials))
{
    // Standard output carries the command's rows; the worker's lines go beside them.
    session.setDiagnosticSink([](const std::string &line) { std::fprintf(stderr, "%s\n", line.c_str()); });
    session.configure(host.toStdString(), port, this);
    worker = std::thread([this] { session.Run(); });
}

DataLink::~DataLink()
{
    session.stop();
    worker.join();
}

void DataLink::OnMessage(std::unique_ptr<MsgHeader> msg)
{
    {
        std::lock_guard guard(lock);
        queue.push_back(std::move(msg));
    }
    arrived.notify_one();
}

void DataLink::send(MsgHeader &msg)
{
    session.Send(msg);
}

std::unique_ptr<MsgHeader> DataLink::next(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        std::unique_ptr<MsgHeader> msg;
        {
            std::unique_lock guard(lock);
            if (!arrived.wait_until(guard, deadline, [this] { return stopped || !queue.empty(); }) || stopped)
                return nullptr;
            msg = std::move(queue.front());
            queue.pop_front();
        }
        if (msg->type != kMsgConnected)
            return msg;
        ++connectionCount;
        MsgUserLoginReq login;
        login.body.set_username(credentials.user.toStdString());
        login.body.set_password(credentials.password.toStdString());
        session.Send(login);
    }
}

void DataLink::interrupt()
{
    {
        std::lock_guard guard(lock);
        stopped = true;
    }
    arrived.notify_all();
}

bool DataLink::interrupted() const
{
    std::lock_guard guard(lock);
    return stopped;
}

void DataLink::logIn()
{
    const auto deadline = std::chrono::steady_clock::now() + kLoginWait;
    while (std::chrono::steady_clock::now() < deadline) {
        const std::unique_ptr<MsgHeader> msg = next(std::chrono::milliseconds(50));
        if (interrupted())
            throw Failure{Refused, QStringLiteral("interrupted")};
        if (auto *ack = dynamic_cast<MsgUserLoginAck *>(msg.get())) {
            if (ack->body.code() == 0)
                return;
            throw Failure{Refused, QString::fromStdString(ack->body.info())};
        }
        if (!msg && connectionCount == 0 && session.connectAttempts() >= kAttemptsBeforeUnreachable)
            break;
    }
    throw Failure{Unreachable, QStringLiteral("data server %1:%2 cannot be reached")
                                   .arg(QString::fromStdString(session.host()))
                                   .arg(session.port())};
}

} // namespace cli
