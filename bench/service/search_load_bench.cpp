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

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "bench/service/SearchLoad.h"
#include "service/search/AdSearchCache.h"
#include "service/store/AccountStore.h"
#include "service/search/AdStore.h"
#include "service/store/Database.h"
#include "service/demo/DemoData.h"
#include "service/Service.h"
#include "service/ServiceLog.h"
#include "tests/support/ServiceTestSupport.h"
#include "tests/support/TestApplication.h"

namespace {

using namespace SearchLoad;

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
    QElapsedTimer sinceChange;
    sinceChange.start();
    DemoData games(42, QDate::currentDate(), DemoData::gamesFor(adCount)); // as stored
    int nextGame = 0;
    return searchWhileServing(service.dataPort(), clients, searches, [&] {
        if (changing && sinceChange.elapsed() >= 1000) {
            const QString web = games.gameWebs().at(nextGame++ % games.gameWebs().size());
            service.ads().replaceAdsOf(web, games.changed(web, service.ads().adsOf(web)));
            sinceChange.restart();
        }
    });
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
                ServiceTest::sampleAccount(QString::fromUtf8(kUser), QString::fromUtf8(kPassword))) == 0)
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
