#include "net/ReconnectBackoff.h"

#include <algorithm>

ReconnectBackoff::ReconnectBackoff(uint32_t seed) : random(seed)
{
}

int ReconnectBackoff::nextDelayMs()
{
    ++failureCount;
    if (failureCount <= kFastAttempts)
        return kFirstDelayMs;
    // 200, 400, 800 ... up to the cap, each drawn from its upper half so
    // that clients which lost the server together do not return together.
    const int doublings = std::min(failureCount - kFastAttempts, 16);
    const int base = int(std::min<int64_t>(int64_t(kFirstDelayMs) << doublings, kMaxDelayMs));
    std::uniform_int_distribution<int> spread(base / 2, base);
    return spread(random);
}

ReconnectBackoff::Step ReconnectBackoff::failed(Clock::time_point now, const std::string &what)
{
    Step step;
    step.delayMs = nextDelayMs();
    ++outageFailures;
    if (!inOutage) {
        inOutage = true;
        outageStart = now;
        lastReport = now;
        outageFailures = 1;
        step.line = what;
    } else if (now - lastReport >= kReportEvery) {
        lastReport = now;
        step.line = what + " (" + std::to_string(outageFailures) + " failed attempts)";
    }
    return step;
}

std::string ReconnectBackoff::connected(Clock::time_point now)
{
    connectedAt = now;
    if (!inOutage)
        return {};
    inOutage = false;
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(now - outageStart).count();
    return "reconnected after " + std::to_string(seconds) + " s";
}

int ReconnectBackoff::lost(Clock::time_point now)
{
    if (now - connectedAt >= kStableConnection) {
        failureCount = 0;
        return 0;
    }
    return nextDelayMs();
}
