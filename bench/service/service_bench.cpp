// Ad search over 200,000 stored ads: the first search of a key on the
// trigram index against a full scan of the same table, median of repeated
// runs, and the ratio of the two.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include "service/search/AdKey.h"
#include "service/search/AdStore.h"
#include "service/store/Database.h"
#include "service/demo/DemoData.h"
#include "service/ServiceLog.h"
#include "tests/support/TestApplication.h"

namespace {

struct Fixture {
    QTemporaryDir dir;
    Database db;
    std::unique_ptr<AdStore> store;
    int ads = 0;
};

// Lives in main, so that the database closes before the application object goes.
Fixture *current = nullptr;

Fixture &fixture()
{
    return *current;
}

const char *const kTerms[] = {"76复", "冰雪版"};

void search(benchmark::State &state, bool indexed)
{
    const QString term = QString::fromUtf8(kTerms[state.range(0)]);
    const AdQuery query = AdQuery::parse(term, QStringLiteral("1"), QDate::currentDate());
    AdStore &store = *fixture().store;
    int total = 0;
    for (auto _ : state) {
        store.cache()->clearResults(); // a key nobody searched yet
        const AdPage page = indexed ? store.searchAds(query, 1) : store.scanAds(query, 1);
        total = page.total;
        benchmark::DoNotOptimize(page.ads.size());
    }
    state.counters["matches"] = total;
    state.SetLabel(kTerms[state.range(0)]);
}

void BM_AdSearchIndexed(benchmark::State &state)
{
    search(state, true);
}

void BM_AdSearchScan(benchmark::State &state)
{
    search(state, false);
}

BENCHMARK(BM_AdSearchIndexed)
    ->DenseRange(0, 1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_AdSearchScan)
    ->DenseRange(0, 1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// Keeps the console output and notes every median.
class MedianReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs) {
            if (run.aggregate_name == "median")
                medians[run.run_name.str()] = run.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> medians; // milliseconds
};

} // namespace

int main(int argc, char **argv)
{
    const std::unique_ptr<QCoreApplication> app = TestSupport::makeApplication(argc, argv, false);
    ServiceLog::setEnabled(false);
    benchmark::Initialize(&argc, argv);

    Fixture f;
    current = &f;
    const int wanted = qEnvironmentVariableIsSet("KESTREL_BENCH_ADS")
                           ? qEnvironmentVariableIntValue("KESTREL_BENCH_ADS")
                           : 200000;
    if (!f.db.open(f.dir.filePath(QStringLiteral("bench.sqlite")))) {
        std::fprintf(stderr, "cannot open the database: %s\n", qPrintable(f.db.errorString()));
        return 1;
    }
    f.store = std::make_unique<AdStore>(f.db);
    QElapsedTimer fill;
    fill.start();
    DemoData demo(42, QDate::currentDate(), wanted / 10 + 100);
    QList<AdRecord> ads = demo.ads(10);
    ads.resize(std::min<qsizetype>(ads.size(), wanted));
    if (!f.store->addAds(ads))
        return 1;
    f.ads = f.store->adCount();
    std::printf("stored %d ads in %.1f s\n", f.ads, double(fill.elapsed()) / 1000.0);

    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    for (int i = 0; i < int(std::size(kTerms)); ++i) {
        const std::string suffix = "/" + std::to_string(i) + "/repeats:5/real_time";
        const auto indexed = reporter.medians.find("BM_AdSearchIndexed" + suffix);
        const auto scan = reporter.medians.find("BM_AdSearchScan" + suffix);
        if (indexed == reporter.medians.end() || scan == reporter.medians.end())
            continue; // filtered out
        std::printf("term %s over %d ads: indexed %.2f ms per page, full scan %.2f ms, %.1fx faster\n",
                    kTerms[i], f.ads, indexed->second, scan->second, scan->second / indexed->second);
    }
    std::fflush(stdout);
    f.store.reset();
    f.db.close();
    current = nullptr;
    return 0;
}
