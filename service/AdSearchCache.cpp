#include "service/AdSearchCache.h"

#include <QStringList>

#include "service/AdStore.h"

struct AdSearchCache::Entry {
    QString key;
    AdPage page;
};

AdSearchCache::AdSearchCache(int maxEntries) : maxEntries(std::max(maxEntries, 1))
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

const AdPage *AdSearchCache::find(const AdQuery &query, int index)
{
    const auto hit = byKey.constFind(keyOf(query, index));
    if (hit == byKey.constEnd())
        return nullptr;
    entries.splice(entries.begin(), entries, *hit);
    return &entries.front().page;
}

void AdSearchCache::insert(const AdQuery &query, int index, const AdPage &page)
{
    const QString key = keyOf(query, index);
    if (const auto old = byKey.constFind(key); old != byKey.constEnd()) {
        entries.erase(*old);
        byKey.remove(key);
    }
    entries.push_front(Entry{key, page});
    byKey.insert(key, entries.begin());
    while (int(entries.size()) > maxEntries) {
        byKey.remove(entries.back().key);
        entries.pop_back();
    }
}

void AdSearchCache::clear()
{
    entries.clear();
    byKey.clear();
}

void AdSearchCache::checkVersion(qint64 dataVersion)
{
    // An unknown version trusts nothing.
    if (dataVersion < 0 || dataVersion != version)
        clear();
    version = dataVersion;
}
