#include "service/search/AdSearchCache.h"

#include <QStringList>

#include <algorithm>
#include <iterator>

#include "service/search/AdGroupIndex.h"

struct AdSearchCache::PageEntry {
    QString key;
    AdPage page;
};

struct AdSearchCache::MatchEntry {
    QString key;
    AdQuery query;
    std::shared_ptr<const AdMatches> matches;
};

namespace {

qint64 weightOf(const AdMatches &m)
{
    return qint64(m.ids.size()) + 1;
}

void count(QList<SiteTimeCount> &counts, const AdRecord &ad, int delta)
{
    const QString day = ad.openDay.toString(Qt::ISODate);
    const QByteArray group = countOrder(ad.site, day, ad.openSlot);
    const auto at = std::lower_bound(counts.begin(), counts.end(), group,
                                     [](const SiteTimeCount &c, const QByteArray &g) {
                                         return countOrder(c.site, c.openDay, c.openSlot) < g;
                                     });
    if (at != counts.end() && countOrder(at->site, at->openDay, at->openSlot) == group) {
        at->count += delta;
        if (at->count <= 0)
            counts.erase(at);
    } else if (delta > 0) {
        counts.insert(at, SiteTimeCount{ad.site, ad.openTime(), delta, day, ad.openSlot});
    }
}

} // namespace

AdSearchCache::AdSearchCache(int maxPages, qint64 maxMatchIds)
    : maxPages(std::max(maxPages, 1)), maxMatchIds(std::max<qint64>(maxMatchIds, 0)),
      groupIndex(std::make_unique<AdGroupIndex>())
{
}

AdSearchCache::~AdSearchCache() = default;

QString AdSearchCache::keyOf(const AdQuery &query, int index)
{
    // Unit and record separators cannot occur in a cleaned key.
    const QChar unit(0x1F);
    QStringList days;
    for (const QList<QDate> &choice : query.days) {
        QStringList one;
        for (const QDate &day : choice)
            one.append(day.toString(Qt::ISODate));
        days.append(one.join(QLatin1Char(',')));
    }
    return QStringList{query.terms.join(unit), days.join(unit), query.marks.join(unit),
                       query.sites.join(unit), QString::number(index)}
        .join(QChar(0x1E));
}

std::optional<AdPage> AdSearchCache::find(const AdQuery &query, int index)
{
    const QString key = keyOf(query, index);
    std::lock_guard guard(lock);
    const auto hit = pageByKey.constFind(key);
    if (hit == pageByKey.constEnd())
        return std::nullopt;
    pages.splice(pages.begin(), pages, *hit);
    return pages.front().page;
}

void AdSearchCache::insert(const AdQuery &query, int index, const AdPage &page, quint64 generation)
{
    const QString key = keyOf(query, index);
    std::lock_guard guard(lock);
    if (generation != currentGeneration)
        return; // searched on data that has changed since
    if (const auto old = pageByKey.constFind(key); old != pageByKey.constEnd()) {
        pages.erase(*old);
        pageByKey.remove(key);
    }
    pages.push_front(PageEntry{key, page});
    pageByKey.insert(key, pages.begin());
    while (int(pages.size()) > maxPages) {
        pageByKey.remove(pages.back().key);
        pages.pop_back();
    }
}

std::shared_ptr<const AdMatches>
AdSearchCache::matches(const AdQuery &query, const std::function<std::optional<AdMatches>()> &search)
{
    const QString key = keyOf(query, 0);
    std::unique_lock guard(lock);
    for (;;) {
        if (const auto hit = matchByKey.constFind(key); hit != matchByKey.constEnd()) {
            matchList.splice(matchList.begin(), matchList, *hit);
            return matchList.front().matches;
        }
        if (!searching.contains(key))
            break;
        searched.wait(guard);
    }
    searching.insert(key);
    const quint64 generation = currentGeneration;
    const auto started = searchStarts.insert(generation);
    guard.unlock();
    std::optional<AdMatches> found = search();
    guard.lock();
    searching.remove(key);
    searchStarts.erase(started);
    searched.notify_all();
    if (!found) {
        trimChangeLog();
        return nullptr;
    }
    // Writes of this process while it searched are taken in from the log;
    // past an emptying, or beyond what the log holds, it is not kept.
    bool keep = generation == currentGeneration;
    if (!keep && generation >= clearedAt && !recentChanges.empty() &&
        recentChanges.front().first <= generation + 1) {
        // A change that gave a removed ad's id to a new one cannot be told
        // apart from the search having seen it already.
        keep = std::none_of(recentChanges.begin(), recentChanges.end(), [generation](const auto &logged) {
            return logged.first > generation && logged.second->reusesIds();
        });
        for (const auto &[at, change] : recentChanges) {
            if (keep && at > generation)
                patch(*found, query, *change);
        }
    }
    trimChangeLog();
    auto shared = std::make_shared<const AdMatches>(std::move(*found));
    if (keep)
        storeMatches(MatchEntry{key, query, shared});
    return shared;
}

void AdSearchCache::storeMatches(MatchEntry entry)
{
    if (weightOf(*entry.matches) > maxMatchIds)
        return; // larger than the whole budget: searched again when asked again
    idCount += weightOf(*entry.matches);
    const QString key = entry.key;
    matchByKey.insert(key, matchList.insert(matchList.begin(), std::move(entry)));
    trimMatches();
}

void AdSearchCache::trimMatches()
{
    while (idCount > maxMatchIds && !matchList.empty()) {
        idCount -= weightOf(*matchList.back().matches);
        matchByKey.remove(matchList.back().key);
        matchList.pop_back();
    }
}

bool AdSearchCache::patch(AdMatches &m, const AdQuery &query, const AdChange &change)
{
    std::vector<qint64> gone;
    std::vector<qint64> come;
    const auto holds = [&m](qint64 id) { return std::binary_search(m.ids.begin(), m.ids.end(), id); };
    for (const auto &[id, ad] : change.removed) {
        if (holds(id)) {
            gone.push_back(id);
            count(m.counts, ad, -1);
        }
    }
    for (const auto &[id, ad] : change.added) {
        // An id can come back at once: SQLite gives a new row the highest id + 1.
        const bool free = !holds(id) || std::find(gone.begin(), gone.end(), id) != gone.end();
        if (free && query.matches(ad)) {
            come.push_back(id);
            count(m.counts, ad, 1);
        }
    }
    if (gone.empty() && come.empty())
        return false;
    std::sort(gone.begin(), gone.end());
    std::sort(come.begin(), come.end());
    std::vector<qint64> kept;
    kept.reserve(m.ids.size() - gone.size());
    std::set_difference(m.ids.begin(), m.ids.end(), gone.begin(), gone.end(), std::back_inserter(kept));
    m.ids.clear();
    std::merge(kept.begin(), kept.end(), come.begin(), come.end(), std::back_inserter(m.ids));
    return true;
}

void AdSearchCache::apply(const AdChange &change)
{
    groupIndex->apply(change);
    std::lock_guard guard(lock);
    ++currentGeneration;
    dropPages();
    // Kept for the searches running now, which began before this change.
    if (!searchStarts.empty()) {
        recentChanges.emplace_back(currentGeneration, std::make_shared<const AdChange>(change));
        while (recentChanges.size() > kLoggedChanges)
            recentChanges.pop_front();
    }
    for (MatchEntry &entry : matchList) {
        // Readers may hold the old matches: changes go to a copy.
        AdMatches edited = *entry.matches;
        if (!patch(edited, entry.query, change))
            continue;
        idCount += weightOf(edited) - weightOf(*entry.matches);
        entry.matches = std::make_shared<const AdMatches>(std::move(edited));
    }
    trimMatches();
}

size_t AdSearchCache::loggedChangeCount() const
{
    std::lock_guard guard(lock);
    return recentChanges.size();
}

void AdSearchCache::trimChangeLog()
{
    const quint64 eldest = searchStarts.empty() ? currentGeneration : *searchStarts.begin();
    while (!recentChanges.empty() && recentChanges.front().first <= eldest)
        recentChanges.pop_front();
}

void AdSearchCache::dropPages()
{
    pages.clear();
    pageByKey.clear();
}

quint64 AdSearchCache::generation() const
{
    std::lock_guard guard(lock);
    return currentGeneration;
}

void AdSearchCache::clear()
{
    groupIndex->markStale();
    clearResults();
}

void AdSearchCache::clearResults()
{
    std::lock_guard guard(lock);
    clearedAt = ++currentGeneration;
    recentChanges.clear();
    dropPages();
    matchList.clear();
    matchByKey.clear();
    idCount = 0;
}

int AdSearchCache::size() const
{
    std::lock_guard guard(lock);
    return int(pages.size());
}

qint64 AdSearchCache::storedIds() const
{
    std::lock_guard guard(lock);
    return idCount;
}
