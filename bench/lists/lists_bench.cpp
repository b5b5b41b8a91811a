// Cost of the virtual list with a million rows: binding and painting must do no per-row
// work beyond one shading byte, and a header sort must cost little more than sorting the
// strings themselves. Also the notification pop-up: making, rendering and showing one,
// and what twenty live ones cost while nothing happens.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <random>

#include <QApplication>
#include <QImage>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QScrollBar>

#include "records/CtrlData.h"
#include "app/MsgWindow.h"
#include "lists/VirtualListCtrl.h"
#include "res/Resources.h"
#include "tests/support/TestApplication.h"

#if defined(__SANITIZE_ADDRESS__)
#include <cstddef>
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#else
#include <malloc.h>
#endif

namespace {

constexpr int MillionRows = 1000000;

// One text per row, so that the sort comparison measures the list and not the size of a record.
struct BenchRow {
    QString key;
};

// Bytes in use on the heap right now.
long long heapBytes()
{
#if defined(__SANITIZE_ADDRESS__)
    return static_cast<long long>(__sanitizer_get_current_allocated_bytes());
#else
    const struct mallinfo2 info = mallinfo2();
    return static_cast<long long>(info.uordblks + info.hblkhd);
#endif
}

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Keys with many repeats, like publishing sites or opening times.
std::vector<BenchRow> makeRows(int count)
{
    std::mt19937 random(20160524);
    std::uniform_int_distribution<int> pick(0, 99999);
    std::vector<BenchRow> rows;
    rows.reserve(size_t(count));
    for (int i = 0; i < count; ++i)
        rows.push_back(BenchRow{QStringLiteral("http://www.site%1.example.com").arg(pick(random))});
    return rows;
}

struct ListUnderTest {
    ListUnderTest()
    {
        list.resize(800, 600);
        list.SetColumns({QStringLiteral("网址")}, {500});
        list.show();
    }
    // Paints the visible rows now, as an expose of the window would.
    void repaint() { list.viewport()->render(&canvas); }

    CVirtualListCtrl list;
    QImage canvas{800, 600, QImage::Format_ARGB32_Premultiplied};
};

void BM_SetDataAndRepaint(benchmark::State &state)
{
    std::vector<BenchRow> emptyRows;
    std::vector<BenchRow> screenRows = makeRows(1000);
    std::vector<BenchRow> rows = makeRows(MillionRows);
    CtrlData<BenchRow> empty(&emptyRows, {&BenchRow::key});
    CtrlData<BenchRow> screen(&screenRows, {&BenchRow::key});
    CtrlData<BenchRow> full(&rows, {&BenchRow::key});
    ListUnderTest fixture;
    CVirtualListCtrl &list = fixture.list;

    double emptySeconds = 0;
    double screenSeconds = 0;
    double fullSeconds = 0;
    long long emptyBytes = 0;
    long long fullBytes = 0;
    for (auto _ : state) {
        list.SetData(nullptr);
        long long before = heapBytes();
        auto start = std::chrono::steady_clock::now();
        list.SetData(&empty);
        fixture.repaint();
        emptySeconds += secondsSince(start);
        emptyBytes += heapBytes() - before;

        // A thousand rows fill the window: the same painting as a million, fewer shading bytes.
        list.SetData(nullptr);
        start = std::chrono::steady_clock::now();
        list.SetData(&screen);
        fixture.repaint();
        screenSeconds += secondsSince(start);

        list.SetData(nullptr);
        before = heapBytes();
        start = std::chrono::steady_clock::now();
        list.SetData(&full);
        fixture.repaint();
        fullSeconds += secondsSince(start);
        fullBytes += heapBytes() - before;
        state.SetIterationTime(secondsSince(start));
    }
    const double n = double(state.iterations());
    state.counters["empty_us"] = emptySeconds / n * 1e6;
    state.counters["million_us"] = fullSeconds / n * 1e6;
    state.counters["thousand_us"] = screenSeconds / n * 1e6;
    state.counters["time_ratio"] = fullSeconds / std::max(emptySeconds, 1e-9);
    state.counters["time_ratio_vs_thousand"] = fullSeconds / std::max(screenSeconds, 1e-9);
    state.counters["empty_heap_bytes"] = double(emptyBytes) / n;
    state.counters["million_heap_bytes"] = double(fullBytes) / n;
    state.counters["extra_bytes_per_row"] = double(fullBytes - emptyBytes) / n / MillionRows;
    std::printf("SetData+repaint, 1,000,000 rows vs empty: time ratio %.1f (%.0f us vs %.0f us), "
                "vs 1,000 rows: %.2f (%.0f us); extra heap %.2f bytes per row\n",
                fullSeconds / std::max(emptySeconds, 1e-9), fullSeconds / n * 1e6, emptySeconds / n * 1e6,
                fullSeconds / std::max(screenSeconds, 1e-9), screenSeconds / n * 1e6,
                double(fullBytes - emptyBytes) / n / MillionRows);
}
BENCHMARK(BM_SetDataAndRepaint)->UseManualTime()->Iterations(5)->Unit(benchmark::kMicrosecond);

void BM_ScrollRepaint(benchmark::State &state)
{
    std::vector<BenchRow> rows = makeRows(MillionRows);
    CtrlData<BenchRow> data(&rows, {&BenchRow::key});
    ListUnderTest fixture;
    fixture.list.SetData(&data);
    int position = 0;
    for (auto _ : state) {
        position = (position + 7919) % MillionRows;
        fixture.list.verticalScrollBar()->setValue(position);
        fixture.repaint();
    }
}
BENCHMARK(BM_ScrollRepaint)->Unit(benchmark::kMicrosecond);

void BM_HeaderSortAgainstStdSort(benchmark::State &state)
{
    const std::vector<BenchRow> original = makeRows(MillionRows);
    std::vector<BenchRow> rows;
    std::vector<QString> strings;
    CtrlData<BenchRow> data(&rows, {&BenchRow::key});
    ListUnderTest fixture;

    double listSeconds = 0;
    double stdSeconds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        rows = original;
        strings.clear();
        for (const BenchRow &row : original)
            strings.push_back(row.key);
        fixture.list.SetData(&data);
        state.ResumeTiming();

        auto start = std::chrono::steady_clock::now();
        fixture.list.OnColumnClick(0); // first click: descending
        fixture.repaint();
        const double listTime = secondsSince(start);
        listSeconds += listTime;

        start = std::chrono::steady_clock::now();
        std::sort(strings.begin(), strings.end(),
                  [](const QString &a, const QString &b) { return compareOrdinal(a, b) > 0; });
        stdSeconds += secondsSince(start);
        benchmark::DoNotOptimize(strings.data());
        state.SetIterationTime(listTime);
        if (rows.front().key != strings.front())
            state.SkipWithError("the list sorted differently");
    }
    state.counters["list_ms"] = listSeconds / double(state.iterations()) * 1e3;
    state.counters["std_sort_ms"] = stdSeconds / double(state.iterations()) * 1e3;
    state.counters["ratio"] = listSeconds / stdSeconds;
    std::printf("Header sort of 1,000,000 rows vs std::sort of the same strings: ratio %.2f (limit 1.3)\n",
                listSeconds / stdSeconds);
}
BENCHMARK(BM_HeaderSortAgainstStdSort)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

double processCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// What the main window does for one notification: skin, create, texts, place, show.
CMsgWindow *showPopup()
{
    auto *popup = new CMsgWindow;
    popup->SetSkin(res::popupSkin());
    popup->CreatePopup(nullptr);
    popup->SetMessage(QStringLiteral("更新的网址:\r\nhttp://www.a-game.com\r\nhttp://www.b-game.com"),
                      {QStringLiteral("http://www.a-game.com"), QStringLiteral("http://www.b-game.com")});
    popup->placeAtCorner(QRect(0, 0, 1280, 984));
    popup->show();
    popup->update();
    QCoreApplication::processEvents();
    return popup;
}

void printPopupFigures()
{
    std::vector<double> ms;
    for (int run = 0; run < 41; ++run) {
        QElapsedTimer timer;
        timer.start();
        CMsgWindow *popup = showPopup();
        ms.push_back(double(timer.nsecsElapsed()) / 1e6);
        delete popup;
    }
    std::nth_element(ms.begin(), ms.begin() + long(ms.size() / 2), ms.end());
    std::printf("create+render+show one pop-up: median %.3f ms (target < 5 ms)\n", ms[ms.size() / 2]);
    QElapsedTimer skinTimer;
    skinTimer.start();
    for (int run = 0; run < 20; ++run)
        (void)res::popupSkin();
    std::printf("  of which drawing skin 141: %.3f ms\n", double(skinTimer.nsecsElapsed()) / 20e6);

    std::vector<CMsgWindow *> alive;
    for (int i = 0; i < 20; ++i)
        alive.push_back(showPopup());
    QElapsedTimer wall;
    wall.start();
    const double cpuBefore = processCpuSeconds();
    QEventLoop idle;
    QTimer::singleShot(2000, Qt::PreciseTimer, &idle, &QEventLoop::quit);
    idle.exec();
    const double cpu = processCpuSeconds() - cpuBefore;
    const double seconds = double(wall.elapsed()) / 1e3;
    std::printf("20 pop-ups alive: idle CPU over %.1f s: %.3f ms = %.4f %% of one core\n", seconds, cpu * 1e3,
                100.0 * cpu / seconds);
    for (CMsgWindow *popup : alive)
        delete popup;
}

} // namespace

int main(int argc, char **argv)
{
    const std::unique_ptr<QCoreApplication> app = TestSupport::makeApplication(argc, argv, true);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    printPopupFigures();
    return 0;
}
