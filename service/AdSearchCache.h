#pragma once

#include <QHash>
#include <QString>

#include <list>

#include "service/AdKey.h"

struct AdPage;

// Recent ad search pages, so that the popular keys many clients search (and
// the later pages of one key, which need the same count) are answered
// without running the search again. Bounded by entries; emptied whenever
// the ads change, by this process or by another writer of the database.
class AdSearchCache {
public:
    static constexpr int kDefaultEntries = 256;

    explicit AdSearchCache(int maxEntries = kDefaultEntries);
    ~AdSearchCache();

    // A page as it was stored for the query and index, or null.
    const AdPage *find(const AdQuery &query, int index);
    void insert(const AdQuery &query, int index, const AdPage &page);
    void clear();
    // Empties the cache when the database's change counter moved on.
    void checkVersion(qint64 dataVersion);

    int size() const { return int(entries.size()); }

private:
    static QString keyOf(const AdQuery &query, int index);

    struct Entry;
    int maxEntries;
    std::list<Entry> entries; // most recently used first
    QHash<QString, std::list<Entry>::iterator> byKey;
    qint64 version = -1;
};
