// One page of ad search results arriving at a window that already shows
// 100,000 rows: the window's whole handling of the answer (rows converted,
// appended, lists told) beside the bare conversion of the same 1,000 rows
// in the same run. The handling must not grow with the rows already shown.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QComboBox>

#include <cstdio>
#include <map>
#include <string>

#include "account/AccountState.h"
#include "net/message.pb.h"
#include "search/windows/QueryAdsDlg.h"
#include "search/SearchKeys.h"
#include "tests/support/TestApplication.h"

namespace {

constexpr int kShownRows = 100000;
constexpr int kPageRows = 1000;

MsgUserSearchAdsAck makePage()
{
    MsgUserSearchAdsAck ack;
    for (int i = 0; i < kPageRows; ++i) {
        Proto::OneAdInfo *ad = ack.body.add_adslist();
        ad->set_strgameweb("http://www.game" + std::to_string(i % 300) + ".example.com");
        ad->set_stradvertisingweb(i % 3 ? "找服网" : "新开发布站");
        ad->set_stradname("雷霆复古" + std::to_string(i % 50) + "区");
        ad->set_strip("10.0.0." + std::to_string(i % 250));
        ad->set_stropentime("12月10日/19:30");
        ad->set_strotherinfo("1.76合击 今日新开 无英雄 纯复古");
    }
    ack.body.set_count(kShownRows + 10 * kPageRows);
    ack.body.set_seachtype(0);
    return ack;
}

void BM_PageIntoAWindowShowing100k(benchmark::State &state)
{
    SearchContext context;
    context.account = &AccountState::Instance();
    context.send = [](MsgHeader &) {};
    QueryAdsDlg window(context);
    window.Create();
    const MsgUserSearchAdsAck page = makePage();
    // The window asks for a second page, so the answer is a later one.
    window.keyBox()->setEditText(QStringLiteral("1.76"));
    window.StartSearch();
    MsgUserSearchAdsAck first = makePage();
    window.Activate(nullptr, true);
    for (int i = 0; i < kShownRows / kPageRows; ++i)
        window.OnSearchAdsAck(nullptr, first);
    window.RequestMore();
    MsgUserSearchAdsAck ack;
    for (auto _ : state) {
        state.PauseTiming();
        window.ads.resize(kShownRows);
        ack = page;
        state.ResumeTiming();
        window.OnSearchAdsAck(nullptr, ack);
    }
    state.counters["rows shown"] = double(window.ads.size());
}

void BM_ConvertThePageOnly(benchmark::State &state)
{
    const MsgUserSearchAdsAck page = makePage();
    std::vector<OneAdData> rows;
    rows.reserve(kPageRows);
    for (auto _ : state) {
        rows.clear();
        for (const Proto::OneAdInfo &info : page.body.adslist()) {
            OneAdData row = OneAdData::fromProto(info);
            row.strOtherInfo = SearchKeys::clipCellText(row.strOtherInfo);
            rows.push_back(std::move(row));
        }
        benchmark::DoNotOptimize(rows.data());
    }
}

BENCHMARK(BM_PageIntoAWindowShowing100k)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_ConvertThePageOnly)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

class MedianReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs)
            if (run.aggregate_name == "median")
                medians[run.run_name.function_name] = run.GetAdjustedCPUTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> medians; // milliseconds
};

} // namespace

int main(int argc, char **argv)
{
    const std::unique_ptr<QCoreApplication> app = TestSupport::makeApplication(argc, argv, true);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    const auto window = reporter.medians.find("BM_PageIntoAWindowShowing100k");
    const auto convert = reporter.medians.find("BM_ConvertThePageOnly");
    if (window != reporter.medians.end() && convert != reporter.medians.end() && convert->second > 0)
        std::printf("a 1,000-row page into a window showing 100,000 rows: median %.2f ms, "
                    "%.2fx the bare conversion of its rows (%.2f ms)\n",
                    window->second, window->second / convert->second, convert->second);
    return 0;
}
