#include "bench/service/SearchLoad.h"

#include <QCoreApplication>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <iterator>
#include <latch>
#include <memory>
#include <mutex>
#include <thread>

#include "net/ConnectSession.h"
#include "net/MsgHeader.h"
#include "tests/support/ServiceTestSupport.h"

namespace SearchLoad {

const char *const kKeys[7] = {"76复", "冰雪", "冰雪版", "1.76", "合击\\通宵", "传奇", "复古\\全天固顶"};

const char *const kUser = "loaduser";
const char *const kPassword = "loadpass1";

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

namespace {

constexpr size_t kFirstPass = std::size(kKeys) * kPagesPerKey;

// One client: its own connection worker, answers handed over by a
// condition variable so the waiting thread wakes as soon as one arrives.
class LoadClient : public IConnectSessionHandler {
public:
    explicit LoadClient(quint16 port)
    {
        session.setDiagnosticSink([](const std::string &) {});
        session.configure("127.0.0.1", port, this);
        worker = std::thread([this] { session.Run(); });
    }
    ~LoadClient() override
    {
        session.stop();
        worker.join();
    }

    void OnMessage(std::unique_ptr<MsgHeader> msg) override
    {
        std::lock_guard lock(queueLock);
        received.push_back(std::move(msg));
        arrived.notify_all();
    }

    std::unique_ptr<MsgHeader> take(int type, std::chrono::seconds timeout = std::chrono::seconds(30))
    {
        std::unique_lock lock(queueLock);
        std::unique_ptr<MsgHeader> found;
        arrived.wait_for(lock, timeout,
                         [&] { return (found = ServiceTest::takeOfType(received, type)) != nullptr; });
        return found;
    }

    bool logIn(const QString &user, const QString &password)
    {
        if (!take(kMsgConnected))
            return false;
        MsgUserLoginReq req;
        req.body.set_username(user.toStdString());
        req.body.set_password(password.toStdString());
        session.Send(req);
        const std::unique_ptr<MsgHeader> ack = take(kMsgUserLoginAck);
        return ack && static_cast<MsgUserLoginAck &>(*ack).body.code() == 0;
    }

    // Sends one search page and waits for its answer; milliseconds, or a
    // negative number when no answer came.
    double searchPage(const char *key, int index)
    {
        MsgUserSearchAdsReq req;
        req.body.set_key(key);
        req.body.set_index(index);
        req.body.set_adweb("1");
        const Clock::time_point start = Clock::now();
        session.Send(req);
        if (!take(kMsgUserSearchAdsAck))
            return -1;
        return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    }

    ConnectSession session;

private:
    std::mutex queueLock;
    std::condition_variable arrived;
    std::deque<std::unique_ptr<MsgHeader>> received;
    std::thread worker;
};

} // namespace

Figures summarise(std::vector<double> times, size_t failed, double seconds)
{
    Figures f;
    f.failed = failed;
    f.seconds = seconds;
    f.count = times.size();
    if (times.empty())
        return f;
    std::sort(times.begin(), times.end());
    f.p50 = times[times.size() / 2];
    f.p99 = times[std::min(times.size() - 1, size_t(double(times.size()) * 0.99))];
    f.max = times.back();
    return f;
}

Run searchFromClients(quint16 port, int clients, int searches)
{
    std::vector<std::vector<double>> times(static_cast<size_t>(clients));
    std::vector<double> loginTimes(static_cast<size_t>(clients), -1);
    std::atomic<size_t> failed{0};
    std::latch allIn(clients);
    Clock::time_point start;
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([&, c] {
            LoadClient client(port);
            const Clock::time_point asked = Clock::now();
            const bool in = client.logIn(QString::fromUtf8(kUser), QString::fromUtf8(kPassword));
            if (in)
                loginTimes[size_t(c)] = msSince(asked);
            allIn.arrive_and_wait();
            if (c == 0)
                start = Clock::now();
            if (!in) {
                failed += size_t(searches);
                return;
            }
            for (int s = 0; s < searches; ++s) {
                const char *key = kKeys[size_t(c + s) % std::size(kKeys)];
                const double ms = client.searchPage(key, 1 + s / int(std::size(kKeys)) % kPagesPerKey);
                if (ms < 0)
                    ++failed;
                else
                    times[size_t(c)].push_back(ms);
            }
        });
    }
    for (std::thread &t : threads)
        t.join();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::vector<double> first;
    std::vector<double> later;
    for (const auto &t : times) {
        const auto split = t.begin() + qsizetype(std::min(kFirstPass, t.size()));
        first.insert(first.end(), t.begin(), split);
        later.insert(later.end(), split, t.end());
    }
    std::erase(loginTimes, -1.0);
    Run result;
    result.logins = summarise(loginTimes, size_t(clients) - loginTimes.size(), 0);
    result.firstPass = summarise(std::move(first), 0, 0);
    result.steady = summarise(std::move(later), failed.load(), seconds);
    return result;
}

Run searchWhileServing(quint16 port, int clients, int searches, const std::function<void()> &whileWaiting)
{
    Run figures;
    std::atomic<bool> done{false};
    std::thread driver([&] {
        figures = searchFromClients(port, clients, searches);
        done = true;
    });
    while (!done) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (whileWaiting)
            whileWaiting();
    }
    driver.join();
    return figures;
}

void print(const char *what, const Figures &f)
{
    std::printf("    %-20s %5zu pages  p50 %7.2f ms  p99 %7.2f ms  max %7.2f ms  %7.1f pages/s  failed %zu\n",
                what, f.count, f.p50, f.p99, f.max, f.seconds > 0 ? double(f.count) / f.seconds : 0.0,
                f.failed);
}

int argument(const QStringList &args, const QString &name, int fallback)
{
    const qsizetype at = args.indexOf(name);
    return at >= 0 && at + 1 < args.size() ? args.at(at + 1).toInt() : fallback;
}

} // namespace SearchLoad
