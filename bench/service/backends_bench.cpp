// The service on SQLite and on PostgreSQL side by side, in one run, with the
// ratio PostgreSQL / SQLite for each figure:
//  - loading N generated ads (as --demo-ads does);
//  - ad searches: one search per key with nothing cached, and 20 clients on
//    loopback paging through the keys (p50 and p99 per page, their first
//    pass and the searches after it);
//  - ad writes: one game address's ads replaced, changes per second;
//  - a change of one game address told to 1,000 logged-in clients watching
//    it: from the write to the last client's notification; on PostgreSQL also
//    with the write made through a second instance on the same database.
// Without KESTREL_TEST_POSTGRES, a throw-away cluster is started for the run.
//
//   bench_backends [--ads N] [--clients N] [--searches N] [--fanout N] [--write-secs N]
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "bench/service/FanOutClients.h"
#include "bench/service/SearchLoad.h"
#include "service/store/AccountStore.h"
#include "service/search/AdSearchCache.h"
#include "service/search/AdStore.h"
#include "service/demo/DemoData.h"
#include "service/Service.h"
#include "service/ServiceLog.h"
#include "tests/support/ServiceTestSupport.h"
#include "tests/support/TestApplication.h"

namespace {

using namespace SearchLoad;

struct Settings {
    int ads = 1000000;
    int clients = 20;
    int searches = 60;
    int fanout = 1000;
    int writeSecs = 3;
};

// A PostgreSQL cluster of the run's own, stopped and removed at the end.
class OwnCluster {
public:
    OwnCluster()
    {
        // The server may run as another user (when this runs as root), who
        // must reach the cluster's folder inside this one.
        QFile::setPermissions(dir.path(), QFile::permissions(dir.path()) | QFile::ExeOther | QFile::ExeGroup);
        if (!dir.isValid() || !run(QStringLiteral("start"), &address))
            address.clear();
    }
    ~OwnCluster()
    {
        if (!address.isEmpty())
            run(QStringLiteral("stop"), nullptr);
    }
    QString address;

private:
    bool run(const QString &command, QString *printed)
    {
        QProcess script;
        script.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        script.start(QStringLiteral(KESTREL_SOURCE_DIR "/scripts/pgcluster"), {command, where()});
        if (!script.waitForFinished(120000) || script.exitCode() != 0)
            return false;
        if (printed)
            *printed =
                QString::fromUtf8(script.readAllStandardOutput()).trimmed().split(QLatin1Char('\n')).last();
        return true;
    }
    QString where() const { return dir.filePath(QStringLiteral("cluster")); }

    QTemporaryDir dir;
};

// Figures of one back end, by row of the printed table.
using Figures1 = std::map<std::string, double>;

// The rows in print order, with their unit; "x" rows are not compared.
const std::vector<std::pair<std::string, std::string>> kRows = {
    {"loading the ads", "s"},
    {"one search, nothing cached (sum of keys)", "ms"},
    {"clients: first pass p50", "ms"},
    {"clients: first pass p99", "ms"},
    {"clients: after it p50", "ms"},
    {"clients: after it p99", "ms"},
    {"writes: one address's ads replaced (more is better)", "/s"},
    {"fan-out: the write", "ms"},
    {"fan-out: telling the watchers (adsChanged)", "ms"},
    {"fan-out: p50 client told", "ms"},
    {"fan-out: last client told", "ms"},
    {"fan-out across instances: last client told", "ms"},
};

// The watched address's ads, alternating between two sets of about ten so
// that every write changes something.
class AdChanges {
public:
    AdChanges(AdStore &store, DemoData &games, const QString &web) : gameWeb(web)
    {
        first = store.adsOf(web).mid(0, 10);
        second = games.changed(web, first).mid(0, 10);
    }
    bool write(AdStore &store)
    {
        flip = !flip;
        return store.replaceAdsOf(gameWeb, flip ? second : first);
    }
    const QString gameWeb;

private:
    QList<AdRecord> first;
    QList<AdRecord> second;
    bool flip = false;
};

std::vector<FanOutClients::Login> seedWatchers(Service &service, int count, const QString &gameWeb)
{
    std::vector<FanOutClients::Login> logins;
    for (int i = 0; i < count; ++i) {
        const QString user = QStringLiteral("watcher%1").arg(i);
        const QString password = QStringLiteral("watchpass%1").arg(i);
        const qint64 id = service.accounts().save(ServiceTest::sampleAccount(user, password));
        if (id == 0 || !service.accounts().putAddress(
                           id, {gameWeb, QStringLiteral("1"), QStringLiteral("r"), QStringLiteral("1"), 0}))
            return {};
        logins.push_back({user, password});
    }
    return logins;
}

struct FanOut {
    double writeMs = 0;
    double tellMs = 0; // adsChanged: every watcher's notification made and queued
    double p50 = 0;
    double last = 0;
    int told = 0;
};

// One change written through `writer` (its own clients told by it, others'
// by the database's announcements); waits for every client to hear of it.
FanOut changeOnce(FanOutClients &clients, Service &writer, AdChanges &changes)
{
    clients.expectNotification();
    const Clock::time_point start = Clock::now();
    changes.write(writer.ads());
    FanOut f;
    f.writeMs = msSince(start);
    const Clock::time_point telling = Clock::now();
    writer.adsChanged({changes.gameWeb});
    f.tellMs = msSince(telling);
    ServiceTest::waitFor([&] { return clients.notified() >= clients.loggedIn(); }, 10000);
    const std::vector<double> delays = clients.notificationDelays(start);
    f.told = int(delays.size());
    if (!delays.empty()) {
        f.p50 = delays[delays.size() / 2];
        f.last = delays.back();
    }
    // Someone not told within the wait counts as told at its end.
    if (f.told < clients.loggedIn())
        f.last = 10000;
    return f;
}

// The round with the median last notification of a few.
FanOut fanOut(FanOutClients &clients, Service &writer, AdChanges &changes, const char *what)
{
    std::vector<FanOut> rounds;
    for (int r = 0; r < 5; ++r)
        rounds.push_back(changeOnce(clients, writer, changes));
    for (const FanOut &f : rounds)
        std::printf("    %s: write %.1f ms, adsChanged %.1f ms, p50 %.1f ms, last %.1f ms, %d of %d told\n",
                    what, f.writeMs, f.tellMs, f.p50, f.last, f.told, clients.loggedIn());
    std::sort(rounds.begin(), rounds.end(), [](const FanOut &a, const FanOut &b) { return a.last < b.last; });
    return rounds[rounds.size() / 2];
}

double writeRate(Service &service, AdChanges &changes, int seconds)
{
    int written = 0;
    const Clock::time_point start = Clock::now();
    while (msSince(start) < seconds * 1000.0) {
        if (!changes.write(service.ads()))
            return 0;
        ++written;
        QCoreApplication::processEvents();
    }
    return written / (msSince(start) / 1000.0);
}

std::optional<Figures1> measure(Backend backend, const Settings &settings)
{
    const char *name = backend == Backend::Sqlite ? "SQLite" : "PostgreSQL";
    std::printf("\n%s\n", name);
    ServiceTest::LocalService service(backend);
    if (!service.scratch.available()) {
        std::fprintf(stderr, "no %s database: %s\n", name, qPrintable(service.scratch.why()));
        return std::nullopt;
    }
    service.options.demoAds = settings.ads;
    // Every watcher on one loopback address, beside the searching clients.
    service.options.limits.maxConnections = settings.fanout + settings.clients + 100;
    service.options.limits.maxConnectionsPerAddress = service.options.limits.maxConnections;
    Figures1 f;
    const Clock::time_point loading = Clock::now();
    if (!service.start()) {
        std::fprintf(stderr, "the service did not start: %s\n", qPrintable(service->errorString()));
        return std::nullopt;
    }
    f["loading the ads"] = msSince(loading) / 1000.0;
    std::printf("  %d ads loaded in %.1f s\n", settings.ads, f["loading the ads"]);
    if (ServiceTest::seedAccount(
            service, ServiceTest::sampleAccount(QString::fromUtf8(kUser), QString::fromUtf8(kPassword))) == 0)
        return std::nullopt;

    double searchSum = 0;
    for (const char *key : kKeys) {
        const AdQuery query =
            AdQuery::parse(QString::fromUtf8(key), QStringLiteral("1"), QDate::currentDate());
        int matches = 0;
        const double ms = medianMs(3, [&] {
            service->ads().cache()->clearResults();
            matches = service->ads().searchAds(query, 1).total;
        });
        std::printf("    %-22s %8d matches  %8.2f ms\n", key, matches, ms);
        searchSum += ms;
    }
    f["one search, nothing cached (sum of keys)"] = searchSum;

    service->ads().cache()->clear();
    const Run r = searchWhileServing(service->dataPort(), settings.clients, settings.searches);
    print("logging in at once", r.logins);
    print("first pass", r.firstPass);
    print("searching after it", r.steady);
    f["clients: first pass p50"] = r.firstPass.p50;
    f["clients: first pass p99"] = r.firstPass.p99;
    f["clients: after it p50"] = r.steady.p50;
    f["clients: after it p99"] = r.steady.p99;

    DemoData games(service.options.seed, QDate::currentDate(), DemoData::gamesFor(settings.ads)); // as stored
    AdChanges written(service->ads(), games, games.gameWebs().at(1));
    f["writes: one address's ads replaced (more is better)"] =
        writeRate(*service, written, settings.writeSecs);
    std::printf("  %.0f changes/s of one address's ads\n",
                f["writes: one address's ads replaced (more is better)"]);

    AdChanges watched(service->ads(), games, games.gameWebs().at(0));
    const std::vector<FanOutClients::Login> logins = seedWatchers(*service, settings.fanout, watched.gameWeb);
    FanOutClients clients(service->dataPort(), logins);
    const Clock::time_point connecting = Clock::now();
    ServiceTest::waitFor([&] { return clients.settled(); }, 300000);
    std::printf("  %d watchers logged in in %.1f s (%d refused)\n", clients.loggedIn(),
                msSince(connecting) / 1000.0, clients.failed());
    if (logins.empty() || clients.loggedIn() != settings.fanout) {
        std::fprintf(stderr, "not every watcher could log in\n");
        return std::nullopt;
    }
    const FanOut local = fanOut(clients, *service, watched, "one instance");
    f["fan-out: the write"] = local.writeMs;
    f["fan-out: telling the watchers (adsChanged)"] = local.tellMs;
    f["fan-out: p50 client told"] = local.p50;
    f["fan-out: last client told"] = local.last;
    if (backend == Backend::Postgres) {
        ServiceTest::LocalService writer(backend);
        writer.database = service.databasePath();
        if (!writer.start()) {
            std::fprintf(stderr, "the second instance did not start: %s\n",
                         qPrintable(writer->errorString()));
        } else {
            const FanOut across = fanOut(clients, *writer, watched, "written through another instance");
            f["fan-out across instances: last client told"] = across.last;
        }
    }
    return f;
}

void printSideBySide(const Figures1 &sqlite, const Figures1 &postgres, const Settings &settings)
{
    std::printf("\n%d ads, %d searching clients, %d watchers\n", settings.ads, settings.clients,
                settings.fanout);
    std::printf("  %-52s %12s %12s %8s\n", "", "SQLite", "PostgreSQL", "PG/SQL");
    for (const auto &[row, unit] : kRows) {
        const auto a = sqlite.find(row);
        const auto b = postgres.find(row);
        const std::string sa =
            a == sqlite.end() ? "-" : QString::number(a->second, 'f', 1).toStdString() + " " + unit;
        const std::string sb =
            b == postgres.end() ? "-" : QString::number(b->second, 'f', 1).toStdString() + " " + unit;
        const std::string ratio = a != sqlite.end() && b != postgres.end() && a->second > 0
                                      ? QString::number(b->second / a->second, 'f', 2).toStdString() + "x"
                                      : "";
        std::printf("  %-52s %12s %12s %8s\n", row.c_str(), sa.c_str(), sb.c_str(), ratio.c_str());
    }
    // What the two back ends are held to.
    const auto pages = {"clients: first pass p50", "clients: first pass p99", "clients: after it p50",
                        "clients: after it p99"};
    double slowest = 0;
    for (const char *row : pages)
        slowest = std::max(slowest, postgres.at(row) / std::max(sqlite.at(row), 0.01));
    std::printf("\n  searches on PostgreSQL within 2x of SQLite (p50 and p99 per page): %s (at most %.2fx)\n",
                slowest <= 2 ? "yes" : "NO", slowest);
    const double fanSqlite = sqlite.at("fan-out: last client told");
    const double fanPostgres = postgres.at("fan-out: last client told");
    std::printf("  every watcher told within 200 ms: SQLite %s (%.1f ms), PostgreSQL %s (%.1f ms)\n",
                fanSqlite < 200 ? "yes" : "NO", fanSqlite, fanPostgres < 200 ? "yes" : "NO", fanPostgres);
}

} // namespace

int main(int argc, char **argv)
{
    const std::unique_ptr<QCoreApplication> app = TestSupport::makeApplication(argc, argv, false);
    ServiceLog::setEnabled(qEnvironmentVariableIsSet("KESTREL_BENCH_LOG"));
    const QStringList args = QCoreApplication::arguments();
    Settings settings;
    settings.ads = argument(args, QStringLiteral("--ads"), settings.ads);
    settings.clients = argument(args, QStringLiteral("--clients"), settings.clients);
    settings.searches = argument(args, QStringLiteral("--searches"), settings.searches);
    settings.fanout = argument(args, QStringLiteral("--fanout"), settings.fanout);
    settings.writeSecs = argument(args, QStringLiteral("--write-secs"), settings.writeSecs);

    std::optional<OwnCluster> cluster;
    if (ScratchDatabases::clusterAddress().isEmpty()) {
        cluster.emplace();
        if (cluster->address.isEmpty()) {
            std::fprintf(stderr, "could not start a PostgreSQL cluster (scripts/pgcluster)\n");
            return 1;
        }
        qputenv("KESTREL_TEST_POSTGRES", cluster->address.toUtf8());
    }
    const std::optional<Figures1> sqlite = measure(Backend::Sqlite, settings);
    const std::optional<Figures1> postgres = sqlite ? measure(Backend::Postgres, settings) : std::nullopt;
    if (!sqlite || !postgres)
        return 1;
    printSideBySide(*sqlite, *postgres, settings);
    return 0;
}
