// A data server that stays away: how many connection attempts and log lines
// one client makes during the outage, beside the fixed 100 ms retry it
// replaced (ten attempts and ten lines a second), and how soon it is back once
// the server listens again.
//
// usage: bench_outage [--seconds N]   (default 30)
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "net/ConnectSession.h"
#include "tests/support/LoopbackPeer.h"

namespace {

class Ignore : public IConnectSessionHandler {
public:
    void OnMessage(std::unique_ptr<MsgHeader>) override {}
};

} // namespace

int main(int argc, char **argv)
{
    int seconds = 30;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            seconds = std::atoi(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: bench_outage [--seconds N]\n");
            return 2;
        }
    }
    LoopbackPeer peer;
    peer.stopListening();
    std::mutex linesLock;
    std::vector<std::string> lines;
    Ignore handler;
    ConnectSession session;
    session.setDiagnosticSink([&](const std::string &line) {
        std::lock_guard lock(linesLock);
        lines.push_back(line);
    });
    session.configure("127.0.0.1", peer.port(), &handler);
    std::thread worker([&] { session.Run(); });

    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const int attempts = session.connectAttempts();
    size_t outageLines = 0;
    {
        std::lock_guard lock(linesLock);
        outageLines = lines.size();
    }
    peer.listenAgain();
    const auto back = std::chrono::steady_clock::now();
    const bool accepted = peer.accept(std::chrono::milliseconds(3 * ReconnectBackoff::kMaxDelayMs));
    const auto healMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - back)
            .count();
    // The worker says it is back once its side of the connection completes.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (accepted && std::chrono::steady_clock::now() < until) {
        {
            std::lock_guard lock(linesLock);
            if (lines.size() > outageLines)
                break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    session.stop();
    worker.join();

    std::printf(
        "outage of %d s: %d connection attempts (fixed 100 ms retry: %d), %zu log lines (fixed: %d)\n",
        seconds, attempts, seconds * 10, outageLines, seconds * 10);
    if (accepted)
        std::printf("connected again %lld ms after the server listened (cap %d ms)\n", (long long)healMs,
                    ReconnectBackoff::kMaxDelayMs);
    else
        std::printf("NOT connected again within %d ms\n", 3 * ReconnectBackoff::kMaxDelayMs);
    std::lock_guard lock(linesLock);
    for (const std::string &line : lines)
        std::printf("  log: %s\n", line.c_str());
    return accepted ? 0 : 1;
}
