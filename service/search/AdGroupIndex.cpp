#include "service/search/AdGroupIndex.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>
#include <mutex>

namespace {

QString groupKey(const QString &site, const QString &day, const QString &slot)
{
    return site + QChar(0x1F) + day + QChar(0x1F) + slot;
}

} // namespace

quint32 AdGroupIndex::Data::codeFor(const QString &site, const QString &day, const QString &slot,
                                    const QString &openTime)
{
    const QString key = groupKey(site, day, slot);
    if (const auto hit = codeByKey.constFind(key); hit != codeByKey.constEnd())
        return hit.value();
    groups.push_back(
        Group{site, day, QDate::fromString(day, Qt::ISODate), slot, openTime, countOrder(site, day, slot)});
    adsIn.push_back(0);
    ++emptyGroups;
    const auto code = quint32(groups.size());
    codeByKey.insert(key, code);
    return code;
}

void AdGroupIndex::Data::set(qint64 id, quint32 code)
{
    if (id < 0)
        return;
    if (size_t(id) >= codeOf.size()) {
        if (code == 0)
            return;
        codeOf.resize(std::max(size_t(id) + 1, codeOf.size() + codeOf.size() / 2), 0);
    }
    quint32 &slot = codeOf[size_t(id)];
    ads += (code != 0) - (slot != 0);
    if (slot != 0 && --adsIn[slot - 1] == 0)
        ++emptyGroups;
    if (code != 0 && adsIn[code - 1]++ == 0)
        --emptyGroups;
    slot = code;
}

void AdGroupIndex::Data::apply(const AdChange &change)
{
    for (const auto &[id, ad] : change.removed)
        set(id, 0);
    for (const auto &[id, ad] : change.added)
        set(id, codeFor(ad.site, ad.openDay.toString(Qt::ISODate), ad.openSlot, ad.openTime()));
    constexpr size_t kEmptyGroupsKept = 1024;
    if (emptyGroups > kEmptyGroupsKept && emptyGroups * 2 > groups.size())
        dropEmptyGroups();
}

void AdGroupIndex::Data::dropEmptyGroups()
{
    std::vector<quint32> newCode(groups.size() + 1, 0);
    std::vector<Group> kept;
    std::vector<qint64> keptAds;
    kept.reserve(groups.size() - emptyGroups);
    keptAds.reserve(groups.size() - emptyGroups);
    codeByKey.clear();
    for (size_t i = 0; i < groups.size(); ++i) {
        if (adsIn[i] == 0)
            continue;
        kept.push_back(std::move(groups[i]));
        keptAds.push_back(adsIn[i]);
        newCode[i + 1] = quint32(kept.size());
        const Group &g = kept.back();
        codeByKey.insert(groupKey(g.site, g.day, g.slot), newCode[i + 1]);
    }
    for (quint32 &code : codeOf)
        code = newCode[code];
    groups = std::move(kept);
    adsIn = std::move(keptAds);
    emptyGroups = 0;
}

bool AdGroupIndex::ready() const
{
    std::shared_lock guard(lock);
    return state == State::Ready;
}

std::optional<quint64> AdGroupIndex::claimLoad()
{
    std::unique_lock guard(lock);
    if (state != State::Stale)
        return std::nullopt;
    state = State::Loading;
    duringLoad.clear();
    return ++loadToken;
}

bool AdGroupIndex::load(const QSqlDatabase &db, quint64 token)
{
    Data loaded;
    QSqlQuery query(db);
    query.setForwardOnly(true);
    bool ok = query.exec(QStringLiteral("SELECT max(id), count(*) FROM ads")) && query.next();
    const qint64 maxId = ok ? query.value(0).toLongLong() : 0;
    const qint64 count = ok ? query.value(1).toLongLong() : 0;
    ok = ok && maxId <= kMaxSparseness * count + 1000000;
    if (ok) {
        loaded.codeOf.assign(size_t(std::max<qint64>(maxId, 0)) + 1, 0);
        ok = query.exec(QStringLiteral("SELECT id, site, open_day, open_slot, open_time FROM ads"));
        while (ok && query.next())
            loaded.set(query.value(0).toLongLong(),
                       loaded.codeFor(query.value(1).toString(), query.value(2).toString(),
                                      query.value(3).toString(), query.value(4).toString()));
    }
    std::unique_lock guard(lock);
    if (token != loadToken || state != State::Loading)
        return false; // stale again meanwhile: whoever claims next loads afresh
    if (!ok) {
        state = State::Stale;
        return false;
    }
    data = std::move(loaded);
    for (const AdChange &change : duringLoad)
        data.apply(change);
    duringLoad.clear();
    state = State::Ready;
    return true;
}

void AdGroupIndex::markStale()
{
    std::unique_lock guard(lock);
    state = State::Stale;
    ++loadToken;
    data = Data();
    duringLoad.clear();
}

void AdGroupIndex::apply(const AdChange &change)
{
    std::unique_lock guard(lock);
    if (state == State::Ready)
        data.apply(change);
    else if (state == State::Loading)
        duringLoad.push_back(change);
}

size_t AdGroupIndex::groupCount() const
{
    std::shared_lock guard(lock);
    return state == State::Ready ? data.groups.size() : 0;
}

std::optional<AdMatches> AdGroupIndex::select(const std::optional<std::vector<qint64>> &candidates,
                                              const AdQuery &query) const
{
    std::shared_lock guard(lock);
    if (state != State::Ready)
        return std::nullopt;
    std::vector<char> passes(data.groups.size());
    for (size_t i = 0; i < data.groups.size(); ++i) {
        const Group &g = data.groups[i];
        passes[i] = query.passes(g.site, g.date, g.slot);
    }
    AdMatches matches;
    std::vector<int> counts(data.groups.size(), 0);
    const auto take = [&](qint64 id) {
        if (id < 0 || size_t(id) >= data.codeOf.size())
            return;
        const quint32 code = data.codeOf[size_t(id)];
        if (code == 0 || !passes[code - 1])
            return;
        matches.ids.push_back(id);
        ++counts[code - 1];
    };
    if (candidates) {
        matches.ids.reserve(candidates->size());
        for (qint64 id : *candidates)
            take(id);
    } else {
        for (size_t id = 0; id < data.codeOf.size(); ++id)
            take(qint64(id));
    }
    std::vector<size_t> used;
    for (size_t i = 0; i < counts.size(); ++i) {
        if (counts[i] > 0)
            used.push_back(i);
    }
    std::sort(used.begin(), used.end(),
              [this](size_t a, size_t b) { return data.groups[a].order < data.groups[b].order; });
    for (size_t i : used) {
        const Group &g = data.groups[i];
        matches.counts.append(SiteTimeCount{g.site, g.openTime, counts[i], g.day, g.slot});
    }
    return matches;
}
