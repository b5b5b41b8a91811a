// Ad search pages under load: the service over 200,000 stored ads, and 20
// clients on loopback that each log in and page through searches one
// request at a time. Prints p50 and p99 of the time from a request's send to
// its answer, beside the same searches made by one client alone in the same
// run, so the figures can be read against this machine. Recent pages come
// from the service's cache; the first search of each page shows what a key
// nobody searched before costs.
//
//   bench_search_load [--ads N] [--clients N] [--searches N]
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "net/ConnectSession.h"
#include "service/AdStore.h"
#include "service/DemoData.h"
#include "service/ServiceLog.h"
#include "tests/support/ServiceTestSupport.h"
#include "tests/support/TestApplication.h"

namespace {

using Clock = std::chrono::steady_clock;

// Terms of different reach: a rare one, a two-character Chinese one, a
// common one, and with a day and an opening mark.
const char *const kKeys[] = {"76复", "冰雪", "1.76", "合击\\通宵", "传奇", "复古\\全天固顶"};

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
        arrived.wait_for(lock, timeout, [&] {
            for (auto it = received.begin(); it != received.end(); ++it) {
                if ((*it)->type == type) {
                    found = std::move(*it);
                    received.erase(it);
                    return true;
                }
            }
            return false;
        });
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

struct Figures {
    double p50 = 0;
    double p99 = 0;
    double max = 0;
    size_t count = 0;
    size_t failed = 0;
    double seconds = 0;
};

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

// Each client searches `searches` times: a key's first page, then its second.
// The first answer for each key and page (before the service has seen it) is
// also counted apart, in `cold`.
Figures run(quint16 port, int clients, int searches, Figures *cold = nullptr)
{
    std::vector<std::vector<double>> times(static_cast<size_t>(clients));
    std::mutex firstLock;
    std::set<std::pair<const char *, int>> seen;
    std::vector<double> firstTimes;
    std::atomic<size_t> failed{0};
    const Clock::time_point start = Clock::now();
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([&, c] {
            LoadClient client(port);
            if (!client.logIn(QStringLiteral("loaduser"), QStringLiteral("loadpass1"))) {
                failed += size_t(searches);
                return;
            }
            for (int s = 0; s < searches; ++s) {
                const char *key = kKeys[size_t(c + s) % std::size(kKeys)];
                const int index = 1 + (s % 2);
                const double ms = client.searchPage(key, index);
                if (ms < 0) {
                    ++failed;
                    continue;
                }
                times[size_t(c)].push_back(ms);
                std::lock_guard lock(firstLock);
                if (seen.insert({key, index}).second)
                    firstTimes.push_back(ms);
            }
        });
    }
    for (std::thread &t : threads)
        t.join();
    if (cold)
        *cold = summarise(firstTimes, 0, 0);
    std::vector<double> all;
    for (const auto &t : times)
        all.insert(all.end(), t.begin(), t.end());
    return summarise(std::move(all), failed.load(),
                     std::chrono::duration<double>(Clock::now() - start).count());
}

void print(const char *what, const Figures &f)
{
    std::printf("%-22s %6zu pages  p50 %7.2f ms  p99 %7.2f ms  max %7.2f ms  %7.1f pages/s  failed %zu\n",
                what, f.count, f.p50, f.p99, f.max, f.seconds > 0 ? double(f.count) / f.seconds : 0.0,
                f.failed);
}

int argument(const QStringList &args, const QString &name, int fallback)
{
    const qsizetype at = args.indexOf(name);
    return at >= 0 && at + 1 < args.size() ? args.at(at + 1).toInt() : fallback;
}

} // namespace

int main(int argc, char **argv)
{
    const std::unique_ptr<QCoreApplication> app = TestSupport::makeApplication(argc, argv, false);
    ServiceLog::setEnabled(false);
    const QStringList args = QCoreApplication::arguments();
    const int adCount = argument(args, QStringLiteral("--ads"), 200000);
    const int clients = argument(args, QStringLiteral("--clients"), 20);
    const int searches = argument(args, QStringLiteral("--searches"), 50);

    ServiceTest::LocalService service;
    if (!service.start()) {
        std::fprintf(stderr, "the service did not start\n");
        return 1;
    }
    QElapsedTimer fill;
    fill.start();
    DemoData demo(42, QDate::currentDate(), adCount / 10 + 100);
    QList<AdRecord> ads = demo.ads(10);
    ads.resize(std::min<qsizetype>(ads.size(), adCount));
    if (!service->ads().addAds(ads) ||
        ServiceTest::seedAccount(service, ServiceTest::sampleAccount(QStringLiteral("loaduser"),
                                                                     QStringLiteral("loadpass1"))) == 0) {
        std::fprintf(stderr, "could not fill the database\n");
        return 1;
    }
    std::printf("stored %d ads in %.1f s\n", service->ads().adCount(), double(fill.elapsed()) / 1000.0);

    // The service runs on this thread's event loop; the clients on their own.
    Figures cold;
    Figures alone;
    Figures loaded;
    std::thread driver([&] {
        alone = run(service->dataPort(), 1, searches, &cold);
        loaded = run(service->dataPort(), clients, searches);
        QMetaObject::invokeMethod(
            app.get(), [&] { QCoreApplication::quit(); }, Qt::QueuedConnection);
    });
    QCoreApplication::exec();
    driver.join();

    print("first search of a page", cold);
    print("one client alone", alone);
    char label[64];
    std::snprintf(label, sizeof label, "%d clients at once", clients);
    print(label, loaded);
    if (alone.p50 > 0)
        std::printf("p50 under load is %.1fx the p50 of one client alone\n", loaded.p50 / alone.p50);
    return alone.failed + loaded.failed == 0 ? 0 : 1;
}
