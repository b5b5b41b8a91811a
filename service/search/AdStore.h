#pragma once

#include <QDate>
#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "service/search/AdKey.h"
#include "service/search/AdSearchCache.h"
#include "service/search/AdValues.h"
#include "service/store/ServiceRecords.h"
#include "service/store/SqlDialect.h"

class Database;
class QSqlQuery;

// The collected data: publishing sites, ads, redirects and ad history, with
// the three paged searches.
class AdStore {
public:
    static constexpr int kPageSize = 20;

    // Stores on other connections to the same database may share the cache.
    explicit AdStore(Database &db, std::shared_ptr<AdSearchCache> cache = std::make_shared<AdSearchCache>());

    bool replaceSites(const QList<SiteRecord> &sites);
    // In stored order, each with the number of ads held for it.
    QList<SiteRecord> catalogue() const;

    bool addAds(const QList<AdRecord> &ads);
    // Adds many ads at once: batches until an empty one.
    bool loadAds(const std::function<QList<AdRecord>()> &nextBatch);
    // The ads of one game address are replaced as a whole; the ones it had
    // move to the history.
    bool replaceAdsOf(const QString &gameWeb, const QList<AdRecord> &ads);
    // Deletes all but the newest `rows` history entries (the demo's bound:
    // its changes would otherwise grow the history without end).
    bool keepLatestHistory(int rows);
    QList<AdRecord> adsOf(const QString &gameWeb) const;
    // What a monitored address shows: its ads on the chosen sites, and with
    // jinminhou only those opening today, tomorrow or the day after.
    QList<AdRecord> adsForAddress(const MonitoredAddress &address, const QDate &today) const;
    int adCount() const;

    bool addForwards(const QList<ForwardRecord> &rows);
    bool addHistory(const QList<HistoryRecord> &rows);
    // Empties every data table (demo start).
    bool clear();
    // Empties the ads alone.
    bool clearAds();

    // Page numbers: ads from 1, redirects and history from 0. Recent pages
    // and the matches of recent keys come from a cache that this store's
    // writes keep up to date and other writers' changes empty.
    AdPage searchAds(const AdQuery &query, int index) const;
    // The page if the cache holds it: answered without searching.
    std::optional<AdPage> cachedAds(const AdQuery &query, int index) const;
    // The same answer without the text index or the cache (for comparison).
    AdPage scanAds(const AdQuery &query, int index) const;
    ForwardPage searchForwards(const QString &key, int index) const;
    HistoryPage searchHistory(const QString &key, int index) const;

    static QString domainOf(const QString &url);

    const std::shared_ptr<AdSearchCache> &cache() const { return searchCache; }
    // Loads the in-memory site, day and mark of every ad unless another
    // store is at it or it is loaded; true when this call loaded it.
    bool prepareGroups() const;
    // Whether searches look for changes by other connections first (on by
    // default). Off for stores whose process tells the cache of every change
    // itself before they search.
    void setWatchesOtherWriters(bool watch) { watchOthers = watch; }

private:
    struct Filter;
    Filter adFilter(const AdQuery &query, bool useIndex) const;
    std::optional<AdMatches> findMatches(const AdQuery &query) const;
    // The ids of the ads the text index finds for the terms, ascending.
    std::optional<std::vector<qint64>> idsFromIndex(const AdTextFilter &text) const;
    // The same from SQLite alone, reading every matching row.
    std::optional<AdMatches> matchesByStatements(const Filter &filter) const;
    bool readAdsById(const std::vector<qint64> &ids, QList<AdRecord> &out) const;
    // Empties the cache when another connection changed the database.
    void noticeOtherWriters() const;
    // Records what it inserted in change, when given.
    // Inserts the ads, the first ones with the ids of freeIds.
    bool insertAds(QSqlQuery &query, const QList<AdRecord> &ads, AdChange *change,
                   const std::vector<qint64> &freeIds = {});
    bool emptyAds(QSqlQuery &query);
    // The number of rows of `from` (a table and a condition taking the key)
    // and one page of them, handed to read one by one; nullopt when a
    // statement failed.
    std::optional<int> pageOf(const QString &from, const QString &columns, const QString &order,
                              const QString &key, int index,
                              const std::function<void(const QSqlQuery &)> &read) const;

    // The change counter of the database as other connections see it.
    qint64 dataVersion() const;

    Database &db;
    std::shared_ptr<AdSearchCache> searchCache;
    mutable qint64 seenVersion = -1;
    bool watchOthers = true;
};
