// Receive path and connection costs.
//
//  - BM_ReceivePath vs BM_BareParse: cutting and decoding a stream of ad-change
//    notifications (10,000 ads each) the way the worker does, against a bare
//    ParseFromArray of the same bodies. The ratio is printed at the end.
//  - Idle cost and send latency of a connected session on loopback, printed
//    as plain figures after the benchmarks.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "net/ConnectSession.h"
#include "net/FrameCutter.h"
#include "tests/support/LoopbackPeer.h"

namespace {

constexpr int kAdsPerFrame = 10000;
constexpr int kFramesPerStream = 4;

std::string chineseServerName(std::mt19937 &rng)
{
    static const char *first[] = {"热血", "传奇", "至尊", "王者",   "神途",
                                  "复古", "微变", "合击", "单职业", "轻变"};
    static const char *second[] = {"一区", "二区", "三区", "新区", "龙城",
                                   "沙城", "盛世", "霸业", "天下", "归来"};
    return std::string(first[rng() % 10]) + second[rng() % 10] + std::to_string(rng() % 900 + 100) + "区";
}

std::string adBody(unsigned seed)
{
    std::mt19937 rng(seed);
    Proto::UserAdsChangeNtf ntf;
    ntf.set_ext("www.cq123.com;www.sf567.net");
    for (int i = 0; i < kAdsPerFrame; ++i) {
        Proto::OneAdInfo *ad = ntf.add_adslist();
        ad->set_strgameweb("www.game" + std::to_string(rng() % 500) + ".com");
        ad->set_stradvertisingweb(i % 2 ? "新开传奇发布网" : "找私服");
        ad->set_stradname(chineseServerName(rng));
        ad->set_strip(std::to_string(rng() % 223 + 1) + "." + std::to_string(rng() % 256) + "." +
                      std::to_string(rng() % 256) + "." + std::to_string(rng() % 256));
        ad->set_stropentime(std::to_string(rng() % 12 + 1) + "月" + std::to_string(rng() % 28 + 1) + "日/" +
                            std::to_string(rng() % 24) + ":30");
        ad->set_strotherinfo("无英雄 纯金币 装备全靠打 散人可玩 长久稳定 独家版本");
        ad->set_iadcount(1);
    }
    return ntf.SerializePartialAsString();
}

struct Stream {
    std::vector<std::string> bodies;
    std::string bytes;
};

const Stream &stream()
{
    static const Stream s = [] {
        Stream out;
        for (int i = 0; i < kFramesPerStream; ++i) {
            out.bodies.push_back(adBody(unsigned(i + 1)));
            out.bytes += frameBytes(kMsgUserAdsChangeNtf, out.bodies.back());
        }
        return out;
    }();
    return s;
}

double receiveNs = 0;
double bareNs = 0;

void BM_ReceivePath(benchmark::State &state)
{
    const Stream &s = stream();
    constexpr size_t kChunk = 65536; // what one recv hands over at most
    for (auto _ : state) {
        FrameCutter cutter;
        int delivered = 0;
        for (size_t at = 0; at < s.bytes.size(); at += kChunk) {
            cutter.append(s.bytes.data() + at, std::min(kChunk, s.bytes.size() - at));
            cutter.cut([&](const char *frame, int length) {
                const std::unique_ptr<MsgHeader> msg = ConnectSession::decodeFrame(frame, length);
                delivered += msg != nullptr;
                benchmark::DoNotOptimize(msg.get());
            });
        }
        if (delivered != kFramesPerStream)
            state.SkipWithError("frames lost");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(s.bytes.size()));
}
BENCHMARK(BM_ReceivePath)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_BareParse(benchmark::State &state)
{
    const Stream &s = stream();
    for (auto _ : state) {
        for (const std::string &body : s.bodies) {
            Proto::UserAdsChangeNtf ntf;
            ntf.ParsePartialFromArray(body.data(), int(body.size()));
            benchmark::DoNotOptimize(ntf);
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(s.bytes.size()));
}
BENCHMARK(BM_BareParse)->Unit(benchmark::kMillisecond)->MinTime(2.0);

class CaptureTimes : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs) {
            if (run.benchmark_name() == "BM_ReceivePath/min_time:2.000")
                receiveNs = run.GetAdjustedRealTime();
            if (run.benchmark_name() == "BM_BareParse/min_time:2.000")
                bareNs = run.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

double processCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

class NullHandler : public IConnectSessionHandler {
public:
    void OnMessage(std::unique_ptr<MsgHeader>) override {}
};

void measureIdleAndLatency(double idleSeconds, int samples)
{
    LoopbackPeer peer;
    NullHandler handler;
    ConnectSession session;
    session.configure("127.0.0.1", peer.port(), &handler);
    std::thread worker([&] { session.Run(); });
    if (!peer.accept()) {
        std::printf("idle: could not connect\n");
        session.stop();
        worker.join();
        return;
    }
    peer.write(frameBytes(kMsgConnected, ""));

    const double cpuBefore = processCpuSeconds();
    const auto wallBefore = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(idleSeconds));
    const double cpu = processCpuSeconds() - cpuBefore;
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
    std::printf(
        "idle: %.1f s connected without traffic used %.3f ms CPU = %.4f %% of one core (target < 1 %%)\n",
        wall, cpu * 1e3, 100.0 * cpu / wall);

    std::vector<double> micros;
    for (int i = 0; i < samples; ++i) {
        MsgAllHeartBeatNtf beat;
        const auto sent = std::chrono::steady_clock::now();
        session.Send(beat);
        if (peer.read(12).size() != 12)
            break;
        micros.push_back(
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - sent).count());
    }
    std::sort(micros.begin(), micros.end());
    if (!micros.empty())
        std::printf("latency: Send to bytes at the peer over %zu frames: median %.1f us, p99 %.1f us (target "
                    "median < "
                    "1000 us)\n",
                    micros.size(), micros[micros.size() / 2], micros[micros.size() * 99 / 100]);
    session.stop();
    worker.join();
}

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    CaptureTimes reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    if (bareNs > 0)
        std::printf("receive path / bare parse: %.3f (target <= 1.10)\n", receiveNs / bareNs);
    const char *quick = std::getenv("KESTREL_BENCH_QUICK");
    measureIdleAndLatency(quick ? 0.5 : 5.0, quick ? 200 : 2000);
    benchmark::Shutdown();
    return 0;
}
