#include "service/search/SearchPool.h"

#include "service/search/AdStore.h"
#include "service/store/Database.h"

SearchPool::SearchPool(std::shared_ptr<AdSearchCache> cache, int threads)
    : cache(std::move(cache)), wanted(std::max(threads, 0))
{
}

SearchPool::~SearchPool()
{
    stop();
}

bool SearchPool::start(const QString &databasePath, QString *error)
{
    for (int i = 0; i < wanted; ++i) {
        std::promise<QString> opened;
        std::future<QString> result = opened.get_future();
        threads.emplace_back([this, databasePath, opened = std::move(opened)]() mutable {
            work(databasePath, std::move(opened));
        });
        const QString failure = result.get();
        if (!failure.isEmpty()) {
            *error = failure;
            stop();
            return false;
        }
    }
    return true;
}

void SearchPool::run(Job job)
{
    {
        std::lock_guard guard(lock);
        jobs.push_back(std::move(job));
    }
    queued.notify_one();
}

int SearchPool::waiting()
{
    std::lock_guard guard(lock);
    return int(jobs.size());
}

void SearchPool::stop()
{
    {
        std::lock_guard guard(lock);
        stopping = true;
        jobs.clear();
    }
    queued.notify_all();
    for (std::thread &t : threads)
        t.join();
    threads.clear();
}

void SearchPool::work(const QString &databasePath, std::promise<QString> opened)
{
    // The connection belongs to this thread: made, used and closed here.
    Database db;
    if (!db.open(databasePath)) {
        opened.set_value(db.errorString().isEmpty() ? QStringLiteral("cannot open the database")
                                                    : db.errorString());
        return;
    }
    AdStore store(db, cache);
    // Changes by other writers are looked for on the event loop before a
    // search is handed over; this connection would also take this
    // process's own writes for foreign ones.
    store.setWatchesOtherWriters(false);
    opened.set_value(QString());
    for (;;) {
        Job job;
        {
            std::unique_lock guard(lock);
            queued.wait(guard, [this] { return stopping || !jobs.empty(); });
            if (stopping)
                return;
            job = std::move(jobs.front());
            jobs.pop_front();
        }
        job(store);
    }
}
