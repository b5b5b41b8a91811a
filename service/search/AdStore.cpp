#include "service/search/AdStore.h"

#include <QSqlQuery>
#include <QUrl>
#include <QVariant>

#include <algorithm>

#include "service/search/AdGroupIndex.h"
#include "service/store/Database.h"

namespace {

const QString kAdColumns = QStringLiteral("a.game_web, a.site, a.ad_name, a.ip, a.open_day, a.open_slot,"
                                          " a.other_info, a.ad_count");

AdRecord readAd(const QSqlQuery &query)
{
    AdRecord ad;
    ad.gameWeb = query.value(0).toString();
    ad.site = query.value(1).toString();
    ad.adName = query.value(2).toString();
    ad.ip = query.value(3).toString();
    ad.openDay = QDate::fromString(query.value(4).toString(), Qt::ISODate);
    ad.openSlot = query.value(5).toString();
    ad.otherInfo = query.value(6).toString();
    ad.adCount = query.value(7).toInt();
    return ad;
}

QString placeholders(qsizetype n)
{
    QStringList marks(n, QStringLiteral("?"));
    return marks.join(QLatin1Char(','));
}

qint64 offsetOf(int page)
{
    return qint64(page) * AdStore::kPageSize;
}

} // namespace

// A WHERE clause over ads aliased "a" with its bound values in order: the
// text conditions first.
struct AdStore::Filter {
    AdTextFilter text;
    QStringList conditions;
    QVariantList values;

    QString where() const
    {
        const QStringList all = text.conditions + conditions;
        return all.isEmpty() ? QString() : QStringLiteral(" WHERE ") + all.join(QStringLiteral(" AND "));
    }
    void bind(QSqlQuery &query) const
    {
        for (const QVariant &v : text.values + values)
            ::bind(query, v);
    }
    bool byIndex() const { return !text.idsStatement.isEmpty(); }
    bool scansText() const { return text.scansText; }
    bool impossible() const { return text.impossible; }
    // The text index's answer is the whole answer.
    bool indexOnly() const { return conditions.isEmpty() && byIndex() && !scansText(); }
};

AdStore::AdStore(Database &db, std::shared_ptr<AdSearchCache> cache) : db(db), searchCache(std::move(cache))
{
}

AdStore::Filter AdStore::adFilter(const AdQuery &q, bool useIndex) const
{
    Filter f;
    f.text = db.dialect().adTextFilter(db.handle(), q.terms, useIndex);
    for (const QList<QDate> &days : q.days) {
        f.conditions.append(
            QStringLiteral("a.open_day IN (%1)").arg(placeholders(std::max<qsizetype>(days.size(), 1))));
        if (days.isEmpty())
            f.values.append(QString());
        for (const QDate &d : days)
            f.values.append(d.toString(Qt::ISODate));
    }
    for (const QString &slot : q.marks) {
        f.conditions.append(QStringLiteral("a.open_slot = ?"));
        f.values.append(slot);
    }
    if (!q.sites.isEmpty()) {
        f.conditions.append(QStringLiteral("a.site IN (%1)").arg(placeholders(q.sites.size())));
        for (const QString &s : q.sites)
            f.values.append(s);
    }
    return f;
}

QString AdStore::domainOf(const QString &url)
{
    const QUrl parsed = QUrl::fromUserInput(url);
    const QString host = parsed.host();
    return host.isEmpty() ? url : host;
}

bool AdStore::replaceSites(const QList<SiteRecord> &sites)
{
    Transaction transaction(db);
    if (!transaction.active())
        return false;
    QSqlQuery query(db.handle());
    if (!query.exec(QStringLiteral("DELETE FROM sites")))
        return sqlFailed(QStringLiteral("replace sites"), query);
    query.prepare(
        QStringLiteral("INSERT INTO sites (name, domain, urls, start_type, update_time, size_real, ext_info)"
                       " VALUES (?, ?, ?, ?, ?, ?, ?)"));
    for (const SiteRecord &s : sites) {
        for (const QVariant &v :
             {QVariant(s.name), QVariant(s.domain), QVariant(s.urls.join(QLatin1Char('\n'))),
              QVariant(s.startType), QVariant(s.updateTime), QVariant(s.sizeReal), QVariant(s.extInfo)})
            bind(query, v);
        if (!query.exec())
            return sqlFailed(QStringLiteral("replace sites"), query);
    }
    return transaction.commit();
}

QList<SiteRecord> AdStore::catalogue() const
{
    QList<SiteRecord> out;
    QSqlQuery query(db.handle());
    query.setForwardOnly(true);
    if (!query.exec(
            QStringLiteral("SELECT s.name, s.domain, s.urls, s.start_type, s.update_time, s.size_real,"
                           " s.ext_info, (SELECT count(*) FROM ads a WHERE a.site = s.name)"
                           " FROM sites s ORDER BY s.id")))
        return sqlFailed(QStringLiteral("read catalogue"), query), out;
    while (query.next()) {
        SiteRecord s;
        s.name = query.value(0).toString();
        s.domain = query.value(1).toString();
        s.urls = query.value(2).toString().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        s.startType = query.value(3).toInt();
        s.updateTime = query.value(4).toLongLong();
        s.sizeReal = query.value(5).toInt();
        s.extInfo = query.value(6).toString();
        s.adCount = query.value(7).toInt();
        out.append(s);
    }
    return out;
}

bool AdStore::insertAds(QSqlQuery &query, const QList<AdRecord> &ads, AdChange *change,
                        const std::vector<qint64> &freeIds)
{
    query.prepare(QStringLiteral("INSERT INTO ads (id, game_web, site, ad_name, ip, open_day, open_slot,"
                                 " open_time, other_info, ad_count, search_text)"
                                 " VALUES (%1, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
                      .arg(db.dialect().adIdOrNew()) +
                  QLatin1String(change ? " RETURNING id" : ""));
    size_t reused = 0;
    for (const AdRecord &ad : ads) {
        query.addBindValue(reused < freeIds.size() ? QVariant(freeIds[reused++])
                                                   : QVariant(QMetaType::fromType<qint64>()));
        for (const QVariant &v :
             {QVariant(ad.gameWeb), QVariant(ad.site), QVariant(ad.adName), QVariant(ad.ip),
              QVariant(ad.openDay.toString(Qt::ISODate)), QVariant(ad.openSlot), QVariant(ad.openTime()),
              QVariant(ad.otherInfo), QVariant(ad.adCount), QVariant(ad.searchText())})
            bind(query, v);
        if (!query.exec())
            return sqlFailed(QStringLiteral("insert ad"), query);
        if (change) {
            if (!query.next())
                return sqlFailed(QStringLiteral("insert ad"), query);
            change->added.emplace_back(query.value(0).toLongLong(), ad);
        }
    }
    // A returning statement stays open until told, and holds up the commit.
    query.finish();
    return true;
}

bool AdStore::loadAds(const std::function<QList<AdRecord>()> &nextBatch)
{
    searchCache->clear();
    // The text index is built once at the end; one transaction keeps it in
    // step with the ads.
    Transaction transaction(db);
    if (!transaction.active())
        return false;
    QSqlQuery query(db.handle());
    for (const QString &sql : db.dialect().bulkLoadBegin()) {
        if (!query.exec(sql))
            return sqlFailed(QStringLiteral("load ads"), query);
    }
    for (QList<AdRecord> batch = nextBatch(); !batch.isEmpty(); batch = nextBatch()) {
        if (!insertAds(query, batch, nullptr))
            return false;
    }
    for (const QString &sql : db.dialect().bulkLoadEnd()) {
        if (!query.exec(sql))
            return sqlFailed(QStringLiteral("load ads"), query);
    }
    const bool committed = transaction.commit();
    searchCache->clear(); // what searches kept meanwhile is gone too
    return committed;
}

bool AdStore::addAds(const QList<AdRecord> &ads)
{
    Transaction transaction(db);
    if (!transaction.active())
        return false;
    QSqlQuery query(db.handle());
    AdChange change;
    if (!insertAds(query, ads, &change) || !transaction.commit())
        return false;
    searchCache->apply(change);
    return true;
}

bool AdStore::replaceAdsOf(const QString &gameWeb, const QList<AdRecord> &ads)
{
    Transaction transaction(db);
    if (!transaction.active())
        return false;
    QSqlQuery query(db.handle());
    AdChange change;
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT ") + kAdColumns +
                  QStringLiteral(", a.id FROM ads a WHERE a.game_web = ?"));
    bind(query, gameWeb);
    if (!query.exec())
        return sqlFailed(QStringLiteral("read ads to replace"), query);
    while (query.next())
        change.removed.emplace_back(query.value(8).toLongLong(), readAd(query));
    query.prepare(
        QStringLiteral("INSERT INTO his_ads (game_web, game_domain, site, open_time, ad_count)"
                       " SELECT game_web, ?, site, open_time, ad_count FROM ads WHERE game_web = ?"));
    bind(query, domainOf(gameWeb));
    bind(query, gameWeb);
    if (!query.exec())
        return sqlFailed(QStringLiteral("keep history"), query);
    query.prepare(QStringLiteral("DELETE FROM ads WHERE game_web = ?"));
    bind(query, gameWeb);
    if (!query.exec())
        return sqlFailed(QStringLiteral("replace ads"), query);
    // The new ads take the old ones' ids first: under constant replacing, ids
    // then grow with the number of ads, not with the number of changes (the
    // in-memory index by id stays as large as the ads it describes).
    std::vector<qint64> freeIds;
    freeIds.reserve(change.removed.size());
    for (const auto &[id, ad] : change.removed)
        freeIds.push_back(id);
    std::sort(freeIds.begin(), freeIds.end());
    if (!insertAds(query, ads, &change, freeIds) || !transaction.commit())
        return false;
    searchCache->apply(change);
    return true;
}

bool AdStore::keepLatestHistory(int rows)
{
    QSqlQuery query(db.handle());
    query.prepare(QStringLiteral("DELETE FROM his_ads WHERE id <= (SELECT max(id) FROM his_ads) - ?"));
    bind(query, rows);
    return query.exec() || sqlFailed(QStringLiteral("trim history"), query);
}

QList<AdRecord> AdStore::adsOf(const QString &gameWeb) const
{
    return adsForAddress(MonitoredAddress{gameWeb, {}, {}, QStringLiteral("1"), 0}, QDate());
}

QList<AdRecord> AdStore::adsForAddress(const MonitoredAddress &address, const QDate &today) const
{
    QList<AdRecord> out;
    QString sql = QStringLiteral("SELECT ") + kAdColumns + QStringLiteral(" FROM ads a WHERE a.game_web = ?");
    QVariantList values{address.url};
    if (address.jinminhou == 1 && today.isValid()) {
        sql += QStringLiteral(" AND a.open_day BETWEEN ? AND ?");
        values << today.toString(Qt::ISODate) << today.addDays(2).toString(Qt::ISODate);
    }
    const QStringList sites = AdKey::siteNames(address.publishing);
    if (!sites.isEmpty()) {
        sql += QStringLiteral(" AND a.site IN (%1)").arg(placeholders(sites.size()));
        for (const QString &s : sites)
            values.append(s);
    }
    sql += QStringLiteral(" ORDER BY a.site, a.open_day, a.open_slot, a.id");
    QSqlQuery query(db.handle());
    query.setForwardOnly(true);
    query.prepare(sql);
    for (const QVariant &v : values)
        bind(query, v);
    if (!query.exec())
        return sqlFailed(QStringLiteral("read ads of address"), query), out;
    while (query.next())
        out.append(readAd(query));
    return out;
}

int AdStore::adCount() const
{
    QSqlQuery query(db.handle());
    if (!query.exec(QStringLiteral("SELECT count(*) FROM ads")) || !query.next())
        return 0;
    return query.value(0).toInt();
}

bool AdStore::addForwards(const QList<ForwardRecord> &rows)
{
    Transaction transaction(db);
    if (!transaction.active())
        return false;
    QSqlQuery query(db.handle());
    query.prepare(QStringLiteral("INSERT INTO forwards (main_url, main_domain, forward_url, forward_domain,"
                                 " update_time) VALUES (?, ?, ?, ?, ?)"));
    for (const ForwardRecord &r : rows) {
        for (const QString &v : {r.mainUrl, r.mainDomain, r.forwardUrl, r.forwardDomain, r.updateTime})
            bind(query, v);
        if (!query.exec())
            return sqlFailed(QStringLiteral("insert redirect"), query);
    }
    return transaction.commit();
}

bool AdStore::addHistory(const QList<HistoryRecord> &rows)
{
    Transaction transaction(db);
    if (!transaction.active())
        return false;
    QSqlQuery query(db.handle());
    query.prepare(QStringLiteral("INSERT INTO his_ads (game_web, game_domain, site, open_time, ad_count)"
                                 " VALUES (?, ?, ?, ?, ?)"));
    for (const HistoryRecord &r : rows) {
        for (const QVariant &v : {QVariant(r.gameWeb), QVariant(r.gameDomain), QVariant(r.site),
                                  QVariant(r.openTime), QVariant(r.adCount)})
            bind(query, v);
        if (!query.exec())
            return sqlFailed(QStringLiteral("insert history"), query);
    }
    return transaction.commit();
}

bool AdStore::clear()
{
    searchCache->clear();
    Transaction transaction(db);
    if (!transaction.active())
        return false;
    QSqlQuery query(db.handle());
    if (!emptyAds(query))
        return false;
    for (const char *table : {"sites", "forwards", "his_ads"}) {
        if (!query.exec(QStringLiteral("DELETE FROM %1").arg(QLatin1String(table))))
            return sqlFailed(QStringLiteral("clear"), query);
    }
    const bool committed = transaction.commit();
    searchCache->clear();
    return committed;
}

bool AdStore::clearAds()
{
    searchCache->clear();
    Transaction transaction(db);
    if (!transaction.active())
        return false;
    QSqlQuery query(db.handle());
    const bool emptied = emptyAds(query) && transaction.commit();
    searchCache->clear();
    return emptied;
}

bool AdStore::emptyAds(QSqlQuery &query)
{
    for (const QString &sql : db.dialect().emptyAdsStatements()) {
        if (!query.exec(sql))
            return sqlFailed(QStringLiteral("empty ads"), query);
    }
    return true;
}

void AdStore::noticeOtherWriters() const
{
    if (!watchOthers)
        return;
    const qint64 version = dataVersion();
    // An unknown version trusts nothing; the first one seen may follow
    // changes other connections made before.
    if (version < 0 || version != seenVersion)
        searchCache->clear();
    seenVersion = version;
}

std::optional<AdPage> AdStore::cachedAds(const AdQuery &query, int index) const
{
    noticeOtherWriters();
    return searchCache->find(query, index);
}

AdPage AdStore::searchAds(const AdQuery &query, int index) const
{
    if (std::optional<AdPage> cached = cachedAds(query, index))
        return std::move(*cached);
    const quint64 generation = searchCache->generation();
    AdPage page;
    const std::shared_ptr<const AdMatches> matches =
        searchCache->matches(query, [&] { return findMatches(query); });
    if (!matches) {
        page.failed = true;
        return page;
    }
    const qint64 total = qint64(matches->ids.size());
    const qint64 first = offsetOf(std::max(index, 1) - 1);
    page.total = int(total);
    if (first == 0)
        page.counts = matches->counts;
    if (first < total) {
        const auto from = matches->ids.begin() + first;
        const std::vector<qint64> ids(from, from + std::min<qint64>(kPageSize, total - first));
        page.failed = !readAdsById(ids, page.ads);
    }
    page.last = first + kPageSize >= total;
    if (!page.failed)
        searchCache->insert(query, index, page, generation);
    return page;
}

qint64 AdStore::dataVersion() const
{
    // Commits of this connection do not move it: the writers below empty
    // the cache themselves.
    const QString statement = db.dialect().dataVersionStatement();
    if (statement.isEmpty())
        return 0;
    QSqlQuery query(db.handle());
    if (!query.exec(statement) || !query.next())
        return -1;
    return query.value(0).toLongLong();
}

bool AdStore::prepareGroups() const
{
    AdGroupIndex &groups = searchCache->groups();
    const std::optional<quint64> token = groups.claimLoad();
    if (!token)
        return false;
    // What other writers commit from here on is noticed by the next search;
    // everything before is in the load.
    if (watchOthers)
        seenVersion = dataVersion();
    return groups.load(db.handle(), *token);
}

std::optional<AdMatches> AdStore::findMatches(const AdQuery &q) const
{
    const Filter filter = adFilter(q, true);
    if (filter.impossible())
        return AdMatches();
    if (!filter.scansText() && (searchCache->groups().ready() || prepareGroups())) {
        // The text index gives the candidates (every ad when there are no
        // terms); days, marks and sites are checked and counted in memory.
        std::optional<std::vector<qint64>> candidates;
        if (filter.byIndex()) {
            candidates = idsFromIndex(filter.text);
            if (!candidates)
                return std::nullopt;
        }
        if (std::optional<AdMatches> found = searchCache->groups().select(candidates, q))
            return found;
    }
    return matchesByStatements(filter);
}

std::optional<std::vector<qint64>> AdStore::idsFromIndex(const AdTextFilter &text) const
{
    QSqlQuery query(db.handle());
    query.setForwardOnly(true);
    query.prepare(text.idsStatement);
    for (const QVariant &v : text.idsValues)
        bind(query, v);
    if (!query.exec()) {
        sqlFailed(QStringLiteral("search ads"), query);
        return std::nullopt;
    }
    std::vector<qint64> ids;
    while (query.next())
        ids.push_back(query.value(0).toLongLong());
    return ids;
}

std::optional<AdMatches> AdStore::matchesByStatements(const Filter &filter) const
{
    // One snapshot for the ids and the counts, so that they agree.
    Transaction snapshot(db);
    if (!snapshot.active())
        return std::nullopt;
    QSqlQuery query(db.handle());
    query.setForwardOnly(true);
    for (const QString &sql : db.dialect().snapshotStatements()) {
        if (!query.exec(sql))
            return sqlFailed(QStringLiteral("count ads"), query), std::nullopt;
    }
    AdMatches matches;
    // SQLite groups and sorts far faster than rows can be handed over one by one.
    query.prepare(
        QStringLiteral("SELECT a.site, min(a.open_time), count(*), a.open_day, a.open_slot FROM ads a") +
        filter.where() +
        QStringLiteral(" GROUP BY a.site, a.open_day, a.open_slot ORDER BY a.site, a.open_day, a.open_slot"));
    filter.bind(query);
    if (!query.exec()) {
        sqlFailed(QStringLiteral("count ads"), query);
        return std::nullopt;
    }
    qint64 total = 0;
    while (query.next()) {
        matches.counts.append(SiteTimeCount{query.value(0).toString(), query.value(1).toString(),
                                            query.value(2).toInt(), query.value(3).toString(),
                                            query.value(4).toString()});
        total += matches.counts.last().count;
    }
    // Terms alone: the ids come straight from the text index, in order.
    if (filter.indexOnly()) {
        std::optional<std::vector<qint64>> ids = idsFromIndex(filter.text);
        if (!ids)
            return std::nullopt;
        matches.ids = std::move(*ids);
        return matches;
    }
    query.prepare(QStringLiteral("SELECT a.id FROM ads a") + filter.where() +
                  QStringLiteral(" ORDER BY a.id"));
    filter.bind(query);
    if (!query.exec()) {
        sqlFailed(QStringLiteral("search ads"), query);
        return std::nullopt;
    }
    matches.ids.reserve(size_t(total));
    while (query.next())
        matches.ids.push_back(query.value(0).toLongLong());
    return matches;
}

bool AdStore::readAdsById(const std::vector<qint64> &ids, QList<AdRecord> &out) const
{
    if (ids.empty())
        return true;
    QSqlQuery query(db.handle());
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT ") + kAdColumns +
                  QStringLiteral(" FROM ads a WHERE a.id IN (%1) ORDER BY a.id")
                      .arg(placeholders(qsizetype(ids.size()))));
    for (qint64 id : ids)
        query.addBindValue(id);
    if (!query.exec())
        return sqlFailed(QStringLiteral("read ads"), query);
    while (query.next())
        out.append(readAd(query));
    return true;
}

AdPage AdStore::scanAds(const AdQuery &q, int index) const
{
    AdPage page;
    const int pageNumber = std::max(index, 1) - 1;
    const Filter filter = adFilter(q, false);
    QSqlQuery query(db.handle());
    query.setForwardOnly(true);

    if (pageNumber == 0) {
        query.prepare(
            QStringLiteral("SELECT a.site, min(a.open_time), count(*) FROM ads a") + filter.where() +
            QStringLiteral(
                " GROUP BY a.site, a.open_day, a.open_slot ORDER BY a.site, a.open_day, a.open_slot"));
        filter.bind(query);
        if (!query.exec()) {
            page.failed = true;
            sqlFailed(QStringLiteral("count ads"), query);
            return page;
        }
        while (query.next()) {
            SiteTimeCount c{
                query.value(0).toString(), query.value(1).toString(), query.value(2).toInt(), {}, {}};
            page.total += c.count;
            page.counts.append(c);
        }
    } else {
        query.prepare(QStringLiteral("SELECT count(*) FROM ads a") + filter.where());
        filter.bind(query);
        if (!query.exec() || !query.next()) {
            page.failed = true;
            sqlFailed(QStringLiteral("count ads"), query);
            return page;
        }
        page.total = query.value(0).toInt();
    }

    query.prepare(QStringLiteral("SELECT ") + kAdColumns + QStringLiteral(" FROM ads a") + filter.where() +
                  QStringLiteral(" ORDER BY a.id LIMIT ? OFFSET ?"));
    filter.bind(query);
    bind(query, kPageSize);
    bind(query, offsetOf(pageNumber));
    if (!query.exec()) {
        page.failed = true;
        sqlFailed(QStringLiteral("search ads"), query);
        return page;
    }
    while (query.next())
        page.ads.append(readAd(query));
    page.last = offsetOf(pageNumber + 1) >= page.total;
    return page;
}

ForwardPage AdStore::searchForwards(const QString &key, int index) const
{
    ForwardPage page;
    const std::optional<int> total =
        pageOf(QStringLiteral("forwards WHERE ") +
                   db.dialect().contains(QStringLiteral("lower(main_url || ' ' || main_domain || ' ' ||"
                                                        " forward_url || ' ' || forward_domain)"),
                                         QStringLiteral("lower(?)")),
               QStringLiteral("main_url, main_domain, forward_url, forward_domain, update_time"),
               QStringLiteral("update_time DESC, id DESC"), key, index, [&page](const QSqlQuery &q) {
                   page.rows.append(ForwardRecord{q.value(0).toString(), q.value(1).toString(),
                                                  q.value(2).toString(), q.value(3).toString(),
                                                  q.value(4).toString()});
               });
    page.total = total.value_or(0);
    page.failed = !total;
    return page;
}

HistoryPage AdStore::searchHistory(const QString &key, int index) const
{
    HistoryPage page;
    const std::optional<int> total = pageOf(
        QStringLiteral("his_ads WHERE ") +
            db.dialect().contains(QStringLiteral("lower(game_web || ' ' || game_domain)"),
                                  QStringLiteral("lower(?)")),
        QStringLiteral("game_web, game_domain, site, open_time, ad_count"), QStringLiteral("id DESC"), key,
        index, [&page](const QSqlQuery &q) {
            page.rows.append(HistoryRecord{q.value(0).toString(), q.value(1).toString(),
                                           q.value(2).toString(), q.value(3).toString(), q.value(4).toInt()});
        });
    page.total = total.value_or(0);
    page.failed = !total;
    return page;
}

std::optional<int> AdStore::pageOf(const QString &from, const QString &columns, const QString &order,
                                   const QString &key, int index,
                                   const std::function<void(const QSqlQuery &)> &read) const
{
    QSqlQuery query(db.handle());
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT count(*) FROM ") + from);
    bind(query, key);
    if (!query.exec() || !query.next())
        return sqlFailed(QStringLiteral("count ") + from.section(QLatin1Char(' '), 0, 0), query),
               std::nullopt;
    const int total = query.value(0).toInt();
    query.prepare(QStringLiteral("SELECT %1 FROM %2 ORDER BY %3 LIMIT ? OFFSET ?").arg(columns, from, order));
    bind(query, key);
    bind(query, kPageSize);
    bind(query, offsetOf(std::max(index, 0)));
    if (!query.exec())
        return sqlFailed(QStringLiteral("search ") + from.section(QLatin1Char(' '), 0, 0), query),
               std::nullopt;
    while (query.next())
        read(query);
    return total;
}
