// Ad search pages as the service answers them, at two catalogue sizes
// (200,000 and 1,000,000 ads unless --ads names others), so that growth with
// the size shows. For each size, in one run:
//  - how long generating and storing the ads took;
//  - per key: its matches, a full scan of the table (the baseline), and the
//    first search of the key on the text index (nothing cached);
//  - 20 clients on loopback, each logging in and paging through the keys one
//    request at a time: p50 and p99 from a request's send to its answer,
//    with searches on the event loop (how the service used to answer) and on
//    search threads, and on search threads while ads change every second
//    (every change empties the cache, so keys are searched afresh).
//
//   bench_search_load [--ads N[,N...]] [--clients N] [--searches N]
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <latch>
#include <mutex>
#include <thread>
#include <vector>

#include "net/ConnectSession.h"
#include "service/AdSearchCache.h"
#include "service/AccountStore.h"
#include "service/AdStore.h"
#include "service/Database.h"
#include "service/DemoData.h"
#include "service/Service.h"
#include "service/ServiceLog.h"
#include "tests/support/ServiceTestSupport.h"
#include "tests/support/TestApplication.h"

namespace {

using Clock = std::chrono::steady_clock;

// Terms of different reach: a rare one, a two-character Chinese one, one
// matching a twelfth of all ads, a common one, and with a day or a mark.
const char *const kKeys[] = {"76复", "冰雪", "冰雪版", "1.76", "合击\\通宵", "传奇", "复古\\全天固顶"};

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

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

struct Run {
    Figures logins; // all clients logging in at once
    // Once every client is in: each client's first pass over the keys and
    // pages (which meets keys nobody searched yet), and the searches after.
    Figures firstPass;
    Figures steady;
};

constexpr int kPagesPerKey = 3;
constexpr size_t kFirstPass = std::size(kKeys) * kPagesPerKey;

// Each client logs in, waits for the others, and searches `searches` pages:
// key after key, pages 1 to 3.
Run run(quint16 port, int clients, int searches)
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
            const bool in = client.logIn(QStringLiteral("loaduser"), QStringLiteral("loadpass1"));
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

// The service on the database file with the given search threads, running
// on this thread's event loop while `clients` search; with `changing`, the
// ads of one game address change every second meanwhile, as collectors
// report them (the old ones move to the history).
Run serve(const QString &path, int adCount, int searchThreads, int clients, int searches, bool changing)
{
    ServiceOptions options;
    options.webPort = 0;
    options.dataPort = 0;
    options.databasePath = path;
    options.limits = ServiceTest::LocalService::testLimits();
    options.limits.searchThreads = searchThreads;
    Service service(options);
    const Clock::time_point starting = Clock::now();
    if (!service.start()) {
        std::fprintf(stderr, "the service did not start: %s\n", qPrintable(service.errorString()));
        return {};
    }
    std::printf("    service started in %.2f s\n", msSince(starting) / 1000.0);
    Run figures;
    std::atomic<bool> done{false};
    std::thread driver([&] {
        figures = run(service.dataPort(), clients, searches);
        done = true;
    });
    QElapsedTimer sinceChange;
    sinceChange.start();
    DemoData games(42, QDate::currentDate(), DemoData::gamesFor(adCount)); // as stored
    int nextGame = 0;
    while (!done) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (changing && sinceChange.elapsed() >= 1000) {
            const QString web = games.gameWebs().at(nextGame++ % games.gameWebs().size());
            service.ads().replaceAdsOf(web, games.changed(web, service.ads().adsOf(web)));
            sinceChange.restart();
        }
    }
    driver.join();
    return figures;
}

// Median of a few runs of one in-process search.
template <class Search> double medianMs(int runs, Search &&search)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const Clock::time_point start = Clock::now();
        search();
        times.push_back(msSince(start));
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

bool measure(int adCount, int clients, int searches)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ads.sqlite"));
    std::printf("\n%d ads\n", adCount);
    {
        Database db;
        if (!db.open(path))
            return false;
        AdStore store(db);
        AccountStore accounts(db);
        const Clock::time_point start = Clock::now();
        DemoData generated(42, QDate::currentDate(), DemoData::gamesFor(adCount));
        if (!generated.writeAds(store, adCount) ||
            accounts.save(
                ServiceTest::sampleAccount(QStringLiteral("loaduser"), QStringLiteral("loadpass1"))) == 0)
            return false;
        std::printf("  stored in %.1f s (%.0f ads/s)\n", msSince(start) / 1000.0,
                    adCount / (msSince(start) / 1000.0));

        std::printf("  %-22s %9s %12s %14s %8s\n", "key", "matches", "full scan", "first search", "ratio");
        for (const char *key : kKeys) {
            const AdQuery query =
                AdQuery::parse(QString::fromUtf8(key), QStringLiteral("1"), QDate::currentDate());
            int matches = 0;
            // A full scan takes a second at a million ads: one is enough there.
            const double scan =
                medianMs(adCount > 500000 ? 1 : 3, [&] { matches = store.scanAds(query, 1).total; });
            const double first = medianMs(5, [&] {
                store.cache()->clearResults();
                store.searchAds(query, 1);
            });
            std::printf("  %-22s %9d %9.2f ms %11.2f ms %7.1fx\n", key, matches, scan, first, scan / first);
        }
    }
    const struct {
        const char *what;
        int threads;
        bool changing;
    } modes[] = {{"on the event loop", 0, false},
                 {"2 search threads", 2, false},
                 {"2 threads, one address's ads changing every second", 2, true}};
    for (const auto &mode : modes) {
        std::printf("  %d clients, %s:\n", clients, mode.what);
        const Run r = serve(path, adCount, mode.threads, clients, searches, mode.changing);
        print("logging in at once", r.logins);
        print("first pass", r.firstPass);
        print("searching after it", r.steady);
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    const std::unique_ptr<QCoreApplication> app = TestSupport::makeApplication(argc, argv, false);
    ServiceLog::setEnabled(qEnvironmentVariableIsSet("KESTREL_BENCH_LOG"));
    const QStringList args = QCoreApplication::arguments();
    const qsizetype at = args.indexOf(QStringLiteral("--ads"));
    const QStringList sizes = at >= 0 && at + 1 < args.size()
                                  ? args.at(at + 1).split(QLatin1Char(','))
                                  : QStringList{QStringLiteral("200000"), QStringLiteral("1000000")};
    const int clients = argument(args, QStringLiteral("--clients"), 20);
    const int searches = argument(args, QStringLiteral("--searches"), 60);
    for (const QString &size : sizes) {
        if (!measure(size.toInt(), clients, searches)) {
            std::fprintf(stderr, "could not fill the database with %s ads\n", qPrintable(size));
            return 1;
        }
    }
    return 0;
}
