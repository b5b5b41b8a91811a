#include <gtest/gtest.h>

#include <set>

#include "net/ReconnectBackoff.h"

namespace {

using namespace std::chrono_literals;
using Clock = ReconnectBackoff::Clock;

TEST(ReconnectBackoff, FastAtFirstThenGrowingWithJitterUpToTheCap)
{
    ReconnectBackoff backoff(7);
    const Clock::time_point t0{};
    std::vector<int> delays;
    for (int i = 0; i < 40; ++i)
        delays.push_back(backoff.failed(t0 + 1s * i, "x").delayMs);

    for (int i = 0; i < ReconnectBackoff::kFastAttempts; ++i)
        EXPECT_EQ(delays[size_t(i)], ReconnectBackoff::kFirstDelayMs) << i;
    // Each later delay lies in the upper half of its doubled base.
    int base = ReconnectBackoff::kFirstDelayMs;
    for (size_t i = ReconnectBackoff::kFastAttempts; i < delays.size(); ++i) {
        base = std::min(base * 2, ReconnectBackoff::kMaxDelayMs);
        EXPECT_GE(delays[i], base / 2) << i;
        EXPECT_LE(delays[i], base) << i;
    }
    // At the cap the delays still differ: clients do not come back in step.
    const std::set<int> capped(delays.end() - 10, delays.end());
    EXPECT_GT(capped.size(), 3u);
    EXPECT_EQ(backoff.failures(), 40);
}

TEST(ReconnectBackoff, OneLineWhenAnOutageStartsThenOneAMinuteThenWhenItEnds)
{
    ReconnectBackoff backoff(1);
    const Clock::time_point t0 = Clock::now();
    EXPECT_EQ(backoff.connected(t0), "") << "a first connection ends no outage";
    EXPECT_EQ(backoff.lost(t0 + 1h), 0) << "a connection that held reconnects at once";

    const Clock::time_point down = t0 + 2h;
    EXPECT_EQ(backoff.failed(down, "连接服务器出错！").line, "连接服务器出错！");
    int lines = 0;
    for (int s = 1; s < 60; ++s)
        lines += !backoff.failed(down + 1s * s, "连接服务器出错！").line.empty();
    EXPECT_EQ(lines, 0);
    EXPECT_EQ(backoff.failed(down + 61s, "连接服务器出错！").line, "连接服务器出错！ (61 failed attempts)");
    EXPECT_EQ(backoff.failed(down + 62s, "连接服务器出错！").line, "");
    EXPECT_EQ(backoff.connected(down + 75s), "reconnected after 75 s");
    EXPECT_EQ(backoff.connected(down + 76s), "") << "said once";

    // The outage is over: the next one is reported from its first failure again.
    EXPECT_EQ(backoff.lost(down + 1h), 0);
    EXPECT_EQ(backoff.failures(), 0);
    const ReconnectBackoff::Step again = backoff.failed(down + 2h, "连接服务器出错！");
    EXPECT_EQ(again.line, "连接服务器出错！");
    EXPECT_EQ(again.delayMs, ReconnectBackoff::kFirstDelayMs);
}

TEST(ReconnectBackoff, AConnectionThatEndsAtOnceKeepsTheGrownDelay)
{
    ReconnectBackoff backoff(3);
    const Clock::time_point t0 = Clock::now();
    for (int i = 0; i < 10; ++i)
        backoff.failed(t0, "x");
    backoff.connected(t0 + 1s);
    const int delay = backoff.lost(t0 + 2s); // accepted, then closed at once
    EXPECT_GE(delay, ReconnectBackoff::kMaxDelayMs / 2);
    EXPECT_EQ(backoff.failures(), 11);
}

} // namespace
