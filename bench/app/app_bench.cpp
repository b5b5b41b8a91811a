// The main window's handling of an ad-change notification: 100,000 ads over 50
// monitored addresses, rebuilding the ad store and counts and refilling both
// lists. Printed: end to end, from the frame's bytes on the connection worker
// to the lists repainted (targets: 150 ms for the usual case, most ads as
// before, and 250 ms when every text is new); the GUI thread's part alone;
// and as the baseline, a bare ParseFromArray of the same body, measured in
// the same run.
#include <benchmark/benchmark.h>

#include <QApplication>

#include <thread>

#include "net/ConnectSession.h"
#include "net/FrameCutter.h"
#include "tests/support/LoopbackPeer.h"
#include "account/AccountState.h"
#include "account/ServiceBase.h"
#include "app/KestrelDlg.h"
#include "bench/app/LoopbackWindow.h"
#include "tests/support/TestApplication.h"

namespace {

constexpr int kAddresses = 50;
constexpr int kAds = 100000;

QString address(int i)
{
    return LoopbackWindow::addressOf(i);
}

const Proto::UserAdsChangeNtf &notification()
{
    static const Proto::UserAdsChangeNtf ntf = [] {
        Proto::UserAdsChangeNtf n;
        const char *sites[] = {"新开传奇发布网", "找服网", "99发布站", "传奇开服表", "私服之家", "今日新服"};
        for (int i = 0; i < kAds; ++i) {
            Proto::OneAdInfo *ad = n.add_adslist();
            ad->set_strgameweb(address(i / (kAds / kAddresses)).toStdString());
            ad->set_stradvertisingweb(sites[i % 6]);
            ad->set_stradname("热血传奇" + std::to_string(i % 97) + "区");
            ad->set_strip("61.160." + std::to_string(i % 256) + "." + std::to_string(i % 199));
            ad->set_stropentime(std::to_string(12) + "月" + std::to_string(i % 10 + 10) + "日/" +
                                std::to_string(i % 17 + 7) + ":30");
            ad->set_strotherinfo("无英雄 纯金币 装备全靠打");
            ad->set_iadcount(1);
        }
        n.set_ext(address(3).toStdString() + ";" + address(7).toStdString());
        return n;
    }();
    return ntf;
}

// The notification with every ad's texts marked by n: two of them, n = 0
// and 1, share no text.
Proto::UserAdsChangeNtf allNewNotification(int n)
{
    Proto::UserAdsChangeNtf ntf = notification();
    for (Proto::OneAdInfo &ad : *ntf.mutable_adslist()) {
        ad.set_stradname(ad.stradname() + std::to_string(n));
        ad.set_strip(std::to_string(n) + ad.strip());
        ad.set_strotherinfo(ad.strotherinfo() + std::to_string(n));
    }
    return ntf;
}

struct Window {
    ConnectSession session;
    std::unique_ptr<CKestrelDlg> dlg = makeBenchWindow(session, kAddresses);
};

std::unique_ptr<Window> window; // made on first use, gone before the application object

void BM_OnAdsChange(benchmark::State &state)
{
    if (!window)
        window = std::make_unique<Window>();
    MsgUserAdsChangeNtf msg;
    msg.body = notification();
    for (auto _ : state) {
        window->dlg->OnAdsChange(&window->session, msg);
        QCoreApplication::processEvents(); // let the lists repaint
    }
    if (AccountState::Instance().domains.at(address(5)).adCount != kAds / kAddresses)
        state.SkipWithError("wrong count");
    state.counters["site_rows"] = double(window->dlg->siteRows().size());
}
BENCHMARK(BM_OnAdsChange)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);

// Every ad text differs from the notification before: nothing can be shared.
void BM_OnAdsChangeAllNew(benchmark::State &state)
{
    if (!window)
        window = std::make_unique<Window>();
    MsgUserAdsChangeNtf msgs[2];
    for (int n = 0; n < 2; ++n)
        msgs[n].body = allNewNotification(n);
    int next = 0;
    for (auto _ : state) {
        window->dlg->OnAdsChange(&window->session, msgs[next]);
        next ^= 1;
        QCoreApplication::processEvents();
    }
}
BENCHMARK(BM_OnAdsChangeAllNew)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);

// From the last byte of a frame to the lists repainted: the worker cuts and
// decodes the frame and hands the message over as a connection does, the
// GUI thread merges it and refills both lists.
void endToEnd(benchmark::State &state, const std::vector<std::string> &frames)
{
    if (!window)
        window = std::make_unique<Window>();
    DomainRecord &watched = AccountState::Instance().domains.at(address(5));
    size_t next = 0;
    for (auto _ : state) {
        watched.adCount = -1; // set again once the notification went through
        const std::string &frame = frames[next++ % frames.size()];
        std::thread worker([&] {
            FrameCutter cutter;
            cutter.append(frame.data(), frame.size());
            cutter.cut([&](const char *bytes, int length) {
                window->dlg->OnMessage(ConnectSession::decodeFrame(bytes, length));
            });
        });
        while (watched.adCount == -1)
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        QCoreApplication::processEvents(); // the repaint
        worker.join();
    }
    if (watched.adCount != kAds / kAddresses)
        state.SkipWithError("wrong count");
}

std::string frameOf(const Proto::UserAdsChangeNtf &ntf)
{
    return frameBytes(kMsgUserAdsChangeNtf, ntf.SerializePartialAsString());
}

void BM_EndToEnd(benchmark::State &state)
{
    endToEnd(state, {frameOf(notification())});
}
BENCHMARK(BM_EndToEnd)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);

void BM_EndToEndAllNew(benchmark::State &state)
{
    std::vector<std::string> frames;
    for (int n = 0; n < 2; ++n)
        frames.push_back(frameOf(allNewNotification(n)));
    endToEnd(state, frames);
}
BENCHMARK(BM_EndToEndAllNew)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);

// The baseline: a bare ParseFromArray of the same body.
void BM_BareParse(benchmark::State &state)
{
    const std::string body = notification().SerializePartialAsString();
    for (auto _ : state) {
        Proto::UserAdsChangeNtf n;
        benchmark::DoNotOptimize(n.ParseFromArray(body.data(), int(body.size())));
    }
}
BENCHMARK(BM_BareParse)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char **argv)
{
    const std::unique_ptr<QCoreApplication> app = TestSupport::makeApplication(argc, argv, true);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    window.reset();
    return 0;
}
