#pragma once

#include <chrono>
#include <cstdint>
#include <random>
#include <string>

// Paces the connection worker while the data server cannot be reached, and
// decides which failures deserve a log line. A short blip heals at once (the
// first attempts come 100 ms apart); a longer outage spreads the attempts out,
// exponentially and with random jitter up to a cap, so that a crowd of clients
// does not hammer a server that is trying to start. The log gets one line when
// an outage starts, one a minute while it lasts and one when it is over.
class ReconnectBackoff {
public:
    using Clock = std::chrono::steady_clock;

    static constexpr int kFastAttempts = 3;
    static constexpr int kFirstDelayMs = 100;
    static constexpr int kMaxDelayMs = 5000;
    static constexpr std::chrono::seconds kReportEvery{60};
    // A connection that ends sooner than this did not heal the outage: the
    // next attempts keep the grown delay (a server that accepts and closes at
    // once is not reconnected to in a tight loop).
    static constexpr std::chrono::seconds kStableConnection{10};

    explicit ReconnectBackoff(uint32_t seed = std::random_device{}());

    struct Step {
        int delayMs = 0;  // before the next attempt
        std::string line; // to log, or empty
    };

    // An attempt failed at `now`; `what` names the failure for the log.
    Step failed(Clock::time_point now, const std::string &what);
    // An attempt succeeded: the line that ends an outage, or empty.
    std::string connected(Clock::time_point now);
    // The connection ended: the delay before the next attempt (0 after a
    // connection that held).
    int lost(Clock::time_point now);

    // Failed attempts since the last stable connection.
    int failures() const { return failureCount; }

private:
    int nextDelayMs();

    std::minstd_rand random;
    int failureCount = 0;
    int outageFailures = 0; // failed attempts in the outage being logged
    bool inOutage = false;
    Clock::time_point outageStart;
    Clock::time_point lastReport;
    Clock::time_point connectedAt;
};
