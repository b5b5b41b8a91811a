#include "service/AdSearchCache.h"

#include <QStringList>

#include "service/AdStore.h"

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

// Counts are ordered as SQLite orders their site, day and mark: by UTF-8 bytes.
auto groupOf(const QString &site, const QString &day, const QString &slot)
{
    return std::make_tuple(site.toUtf8(), day.toUtf8(), slot.toUtf8());
}

void count(QList<SiteTimeCount> &counts, const AdRecord &ad, int delta)
{
    const QString day = ad.openDay.toString(Qt::ISODate);
    const auto group = groupOf(ad.site, day, ad.openSlot);
    const auto at =
        std::lower_bound(counts.begin(), counts.end(), group, [](const SiteTimeCount &c, const auto &g) {
            return groupOf(c.site, c.openDay, c.openSlot) < g;
        });
    if (at != counts.end() && groupOf(at->site, at->openDay, at->openSlot) == group) {
        at->count += delta;
        if (at->count <= 0)
            counts.erase(at);
    } else if (delta > 0) {
        counts.insert(at, SiteTimeCount{ad.site, ad.openTime(), delta, day, ad.openSlot});
    }
}

} // namespace

AdSearchCache::AdSearchCache(int maxPages, qint64 maxMatchIds)
    : maxPages(std::max(maxPages, 1)), maxMatchIds(std::max<qint64>(maxMatchIds, 0))
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
    guard.unlock();
    std::optional<AdMatches> found = search();
    guard.lock();
    searching.remove(key);
    searched.notify_all();
    if (!found)
        return nullptr;
    auto shared = std::make_shared<const AdMatches>(std::move(*found));
    if (generation == currentGeneration)
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

void AdSearchCache::writing()
{
    std::lock_guard guard(lock);
    dropPages();
}

void AdSearchCache::apply(const AdChange &change)
{
    std::lock_guard guard(lock);
    dropPages();
    for (MatchEntry &entry : matchList) {
        // Readers may hold the old matches: changes go to a copy.
        std::optional<AdMatches> edited;
        const auto ids = [&]() -> const std::vector<qint64> & {
            return edited ? edited->ids : entry.matches->ids;
        };
        const auto edit = [&]() -> AdMatches & {
            if (!edited)
                edited = *entry.matches;
            return *edited;
        };
        for (const auto &[id, ad] : change.removed) {
            const auto at = std::lower_bound(ids().begin(), ids().end(), id);
            if (at == ids().end() || *at != id)
                continue;
            const auto offset = at - ids().begin();
            AdMatches &m = edit();
            m.ids.erase(m.ids.begin() + offset);
            count(m.counts, ad, -1);
        }
        for (const auto &[id, ad] : change.added) {
            const auto at = std::lower_bound(ids().begin(), ids().end(), id);
            if ((at != ids().end() && *at == id) || !entry.query.matches(ad))
                continue;
            const auto offset = at - ids().begin();
            AdMatches &m = edit();
            m.ids.insert(m.ids.begin() + offset, id);
            count(m.counts, ad, 1);
        }
        if (edited) {
            idCount += weightOf(*edited) - weightOf(*entry.matches);
            entry.matches = std::make_shared<const AdMatches>(std::move(*edited));
        }
    }
    trimMatches();
}

void AdSearchCache::dropPages()
{
    ++currentGeneration;
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
    std::lock_guard guard(lock);
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
