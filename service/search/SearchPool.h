#pragma once

#include <QString>

#include <condition_variable>
#include <deque>
#include <future>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class AdSearchCache;
class AdStore;

// Threads that run searches beside the event loop, so that a slow search
// delays nobody else. Each has its own connection to the service's database
// (SQLite in WAL mode lets them read while the event loop writes) and an
// AdStore sharing the service's search cache.
class SearchPool {
public:
    using Job = std::function<void(AdStore &)>;

    SearchPool(std::shared_ptr<AdSearchCache> cache, int threads);
    // Lets the running jobs end; the queued ones are dropped.
    ~SearchPool();
    SearchPool(const SearchPool &) = delete;
    SearchPool &operator=(const SearchPool &) = delete;

    // Opens every thread's connection to the database file; false with an
    // error text when one cannot be opened (nothing runs then).
    bool start(const QString &databasePath, QString *error);
    // Runs job on the next free thread, in the order given.
    void run(Job job);
    int threadCount() const { return int(threads.size()); }
    // Jobs given and not yet begun.
    int waiting();

private:
    void work(const QString &databasePath, std::promise<QString> opened);
    void stop();

    std::shared_ptr<AdSearchCache> cache;
    const int wanted;
    std::mutex lock;
    std::condition_variable queued;
    std::deque<Job> jobs;
    bool stopping = false;
    std::vector<std::thread> threads;
};
