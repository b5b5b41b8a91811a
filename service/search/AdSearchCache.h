#pragma once

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <condition_variable>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

#include "service/search/AdKey.h"
#include "service/search/AdValues.h"

class AdGroupIndex;

// Recent search results shared by every connection of the service to one
// database: whole pages, answered without touching the database, and the
// matches of recent keys, so that a key is searched once however many pages
// and clients ask for it. Bounded by pages and by stored ids. A write of
// this process brings the kept matches up to date; a change by another
// writer of the database empties the cache. Safe to use from several threads.
class AdSearchCache {
public:
    static constexpr int kDefaultPages = 256;
    static constexpr qint64 kDefaultMatchIds = 4 * 1000 * 1000;

    explicit AdSearchCache(int maxPages = kDefaultPages, qint64 maxMatchIds = kDefaultMatchIds);
    ~AdSearchCache();
    AdSearchCache(const AdSearchCache &) = delete;
    AdSearchCache &operator=(const AdSearchCache &) = delete;

    // A copy of the page stored for the query and index.
    std::optional<AdPage> find(const AdQuery &query, int index);
    // Stores a page unless the cache was emptied since `generation` (the
    // value of generation() read before the page was searched).
    void insert(const AdQuery &query, int index, const AdPage &page, quint64 generation);

    // The matches of a query, from the cache or made by `search` (null when
    // it failed). While one caller searches a query, others asking for the
    // same one wait for its answer instead of searching it again.
    std::shared_ptr<const AdMatches> matches(const AdQuery &query,
                                             const std::function<std::optional<AdMatches>()> &search);

    quint64 generation() const;
    // Empties the cache and makes the group index stale.
    void clear();
    // Forgets pages and matches alone (the group index stays).
    void clearResults();
    // Where searches count their matches without reading rows.
    AdGroupIndex &groups() { return *groupIndex; }
    // After this process committed a write: the kept matches, and those of
    // searches under way, take its ads in or let them go. Applying a change
    // twice does no harm.
    void apply(const AdChange &change);

    int size() const;
    qint64 storedIds() const;

    // Changes held for searches that are running; for tests.
    size_t loggedChangeCount() const;

private:
    static QString keyOf(const AdQuery &query, int index);
    void dropPages();
    // Drops the logged changes that no running search needs: those before the
    // eldest one's start, all of them when none runs.
    void trimChangeLog();
    // Brings matches up to date with a change; false when it touches none.
    static bool patch(AdMatches &matches, const AdQuery &query, const AdChange &change);
    struct PageEntry;
    struct MatchEntry;
    void storeMatches(MatchEntry entry);
    void trimMatches();
    const int maxPages;
    const qint64 maxMatchIds;

    const std::unique_ptr<AdGroupIndex> groupIndex;
    mutable std::mutex lock;
    std::condition_variable searched; // a search of `searching` ended
    std::list<PageEntry> pages;       // most recently used first
    QHash<QString, std::list<PageEntry>::iterator> pageByKey;
    std::list<MatchEntry> matchList; // most recently used first
    QHash<QString, std::list<MatchEntry>::iterator> matchByKey;
    QSet<QString> searching;
    qint64 idCount = 0;
    // Each apply() and clear() moves the generation on by one.
    quint64 currentGeneration = 0;
    quint64 clearedAt = 0;
    // The latest applied changes with their generations, for searches that
    // were under way meanwhile.
    static constexpr size_t kLoggedChanges = 256;
    std::deque<std::pair<quint64, std::shared_ptr<const AdChange>>> recentChanges;
    // Generations at which the searches running now began.
    std::multiset<quint64> searchStarts;
};
