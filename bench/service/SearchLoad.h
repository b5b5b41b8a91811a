#pragma once

// Clients that log in and page through ad searches, and the figures taken
// from them: shared by the programs that measure the service under search load.

#include <QStringList>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <functional>
#include <vector>

namespace SearchLoad {

using Clock = std::chrono::steady_clock;

// Terms of different reach: a rare one, a two-character Chinese one, one
// matching a twelfth of all ads, a common one, and with a day or a mark.
extern const char *const kKeys[7];
// Every client's first kKeys * kPagesPerKey searches make its first pass.
constexpr int kPagesPerKey = 3;

// The account the clients log in as.
extern const char *const kUser;
extern const char *const kPassword;

double msSince(Clock::time_point start);

struct Figures {
    double p50 = 0;
    double p99 = 0;
    double max = 0;
    size_t count = 0;
    size_t failed = 0;
    double seconds = 0;
};

// Median of a few runs of one in-process search.
template <class Search> double medianMs(int runs, Search &&search)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const Clock::time_point start = Clock::now();
        search();
        times.push_back(msSince(start));
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

Figures summarise(std::vector<double> times, size_t failed, double seconds);

struct Run {
    Figures logins; // all clients logging in at once
    // Once every client is in: each client's first pass over the keys and
    // pages (which meets keys nobody searched yet), and the searches after.
    Figures firstPass;
    Figures steady;
};

// Each client logs in, waits for the others, and searches `searches` pages:
// key after key, pages 1 to 3. Blocks the calling thread, so the service
// runs on another thread's event loop.
Run searchFromClients(quint16 port, int clients, int searches);

// searchFromClients on a thread of its own while this thread's event loop
// serves them; between events, whileWaiting runs (to change data meanwhile).
Run searchWhileServing(quint16 port, int clients, int searches,
                       const std::function<void()> &whileWaiting = {});

void print(const char *what, const Figures &f);

// The number after `name` on the command line, or the fallback.
int argument(const QStringList &args, const QString &name, int fallback);

} // namespace SearchLoad
