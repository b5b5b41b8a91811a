#include <gtest/gtest.h>

#include <QSqlQuery>
#include <QTemporaryDir>

#include "service/store/AccountStore.h"
#include "service/search/AdGroupIndex.h"
#include "service/search/AdKey.h"
#include "service/search/AdStore.h"
#include "service/store/ChangeFeed.h"
#include "service/store/Database.h"
#include "service/demo/DemoData.h"
#include "service/demo/DemoTicker.h"
#include "webproto/ReplyText.h"
#include "tests/support/ScratchDatabase.h"
#include "tests/support/ServiceTestSupport.h"

using namespace ServiceTest;

namespace {

const QDate kToday(2024, 12, 30);

struct KeyCase {
    const char *name;
    QString key;
    QStringList terms;
    int days;
    QStringList marks;
};

class KeyParsing : public ::testing::TestWithParam<KeyCase> {};

TEST_P(KeyParsing, SplitsTermsFromFilters)
{
    const KeyCase &c = GetParam();
    const AdQuery q = AdQuery::parse(c.key, QStringLiteral("1"), kToday);
    EXPECT_EQ(q.terms, c.terms);
    EXPECT_EQ(q.days.size(), c.days);
    EXPECT_EQ(q.marks, c.marks);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, KeyParsing,
    ::testing::Values(
        KeyCase{"TwoTerms",
                QStringLiteral("1.76\\合击"),
                {QStringLiteral("1.76"), QStringLiteral("合击")},
                0,
                {}},
        KeyCase{"DateAndTime",
                QStringLiteral("1.76\\合击\\03/26\\10:30"),
                {QStringLiteral("1.76"), QStringLiteral("合击")},
                1,
                {QStringLiteral("10:30")}},
        KeyCase{"DateAndTimeInOnePiece",
                QStringLiteral("合击\\03/26 10:30"),
                {QStringLiteral("合击")},
                1,
                {QStringLiteral("10:30")}},
        KeyCase{"AllDayWords",
                QStringLiteral("abc\\通宵固顶"),
                {QStringLiteral("abc")},
                0,
                {QStringLiteral("通宵固顶")}},
        KeyCase{"LowerCasedAndTrimmed",
                QStringLiteral(" ABC \\\\Def"),
                {QStringLiteral("abc"), QStringLiteral("def")},
                0,
                {}},
        KeyCase{"NoSuchDateIsText", QStringLiteral("13/40"), {QStringLiteral("13/40")}, 0, {}},
        KeyCase{"NoSuchTimeIsText", QStringLiteral("25:00"), {QStringLiteral("25:00")}, 0, {}},
        KeyCase{"MixedPieceIsText", QStringLiteral("03/26 新区"), {QStringLiteral("03/26 新区")}, 0, {}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(AdKey, MonthDayCoversTheTurnOfTheYear)
{
    const QList<QDate> days = AdKey::daysFor(QStringLiteral("01/02"), kToday);
    EXPECT_TRUE(days.contains(QDate(2025, 1, 2)));
    EXPECT_TRUE(AdKey::daysFor(QStringLiteral("02/29"), kToday).contains(QDate(2024, 2, 29)));
    EXPECT_EQ(AdKey::timeMark(QStringLiteral("7:30")), QStringLiteral("07:30"));
    EXPECT_TRUE(AdKey::siteNames(QStringLiteral("~~")).isEmpty());
    EXPECT_EQ(AdKey::siteNames(QStringLiteral("站A~~站B~")),
              (QStringList{QStringLiteral("站A"), QStringLiteral("站B")}));
}

TEST(ReplyText, FieldsAreNeverEmptyAndCarryNoSeparator)
{
    EXPECT_EQ(ReplyText::field(QString()), QStringLiteral(" "));
    EXPECT_EQ(ReplyText::join({QStringLiteral("a|b"), QString(), QStringLiteral("c;d")}, QLatin1Char(';'))
                  .count(QLatin1Char(';')),
              2);
    EXPECT_FALSE(ReplyText::field(QStringLiteral("a|b;c")).contains(QLatin1Char('|')));
}

// Each test runs on both back ends over the same records.
class AdStoreTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override
    {
        if (!scratch.available())
            GTEST_SKIP() << scratch.why().toStdString();
        ASSERT_TRUE(db.open(scratch.address())) << db.errorString().toStdString();
        DemoData demo(11, QDate::currentDate(), 60);
        ads = demo.ads(8);
        ASSERT_TRUE(store.addAds(ads));
    }

    // What a search must find, worked out on the records themselves.
    int expected(const AdQuery &q) const
    {
        int n = 0;
        for (const AdRecord &ad : ads) {
            bool match = q.sites.isEmpty() || q.sites.contains(ad.site);
            for (const QString &t : q.terms)
                match = match && ad.searchText().contains(t);
            for (const QList<QDate> &d : q.days)
                match = match && d.contains(ad.openDay);
            for (const QString &m : q.marks)
                match = match && ad.openSlot == m;
            n += match ? 1 : 0;
        }
        return n;
    }

    bool onServer() const { return GetParam() == Backend::Postgres; }

    ScratchDatabase scratch{GetParam()};
    Database db;
    AdStore store{db};
    QList<AdRecord> ads;
};

INSTANTIATE_TEST_SUITE_P(Backends, AdStoreTest, ::testing::Values(Backend::Sqlite, Backend::Postgres),
                         [](const auto &info) { return ScratchDatabases::name(info.param); });

TEST_P(AdStoreTest, IndexedSearchFindsWhatTheRecordsHold)
{
    const QString day = QDate::currentDate().addDays(2).toString(QStringLiteral("MM/dd"));
    const QString site = ads.first().site;
    const QString web = ads.first().gameWeb;
    const QStringList keys = {QStringLiteral("合击"), QStringLiteral("1.76\\复古"), QStringLiteral("冰雪版"),
                              QStringLiteral("LEITING"), web, web.mid(11, 3), QStringLiteral("区\\") + day,
                              QStringLiteral("1.8\\全天固顶"), QStringLiteral("神器版\\通宵"),
                              QStringLiteral("不存在的内容"), QStringLiteral("\"quoted\" or"),
                              QStringLiteral("a%_b"),
                              // Short terms: one character, two at the very end
                              // of a text, two found nowhere.
                              QStringLiteral("区"), ads.first().otherInfo.right(2), QStringLiteral("龘龘"),
                              QStringLiteral("冰雪\\1.76")};
    const auto rows = [](const AdPage &page) {
        QStringList out;
        for (const AdRecord &ad : page.ads)
            out << ad.gameWeb + ad.site + ad.adName + ad.openTime();
        return out;
    };
    for (const QString &key : keys) {
        for (const QString &adWeb : {QStringLiteral("1"), site}) {
            const AdQuery q = AdQuery::parse(key, adWeb, QDate::currentDate());
            const std::string what = key.toStdString() + " / " + adWeb.toStdString();
            for (int index : {1, 2}) {
                const AdPage indexed = store.searchAds(q, index);
                const AdPage scanned = store.scanAds(q, index);
                EXPECT_EQ(indexed.total, expected(q)) << what;
                EXPECT_EQ(scanned.total, indexed.total) << what;
                EXPECT_EQ(rows(indexed), rows(scanned)) << what << " page " << index;
                EXPECT_EQ(indexed.last, scanned.last) << what;
                ASSERT_EQ(indexed.counts.size(), scanned.counts.size()) << what;
                for (qsizetype i = 0; i < indexed.counts.size(); ++i) {
                    EXPECT_EQ(indexed.counts[i].site, scanned.counts[i].site) << what;
                    EXPECT_EQ(indexed.counts[i].openTime, scanned.counts[i].openTime) << what;
                    EXPECT_EQ(indexed.counts[i].count, scanned.counts[i].count) << what;
                }
            }
        }
    }
    EXPECT_GT(
        store.searchAds(AdQuery::parse(QStringLiteral("合击"), QStringLiteral("1"), QDate::currentDate()), 1)
            .total,
        0);
    if (onServer()) {
        // The trigram index can answer a term on its own.
        QSqlQuery plan(db.handle());
        ASSERT_TRUE(plan.exec(QStringLiteral("SET enable_seqscan = off")));
        ASSERT_TRUE(
            plan.exec(QStringLiteral("EXPLAIN SELECT a.id FROM ads a WHERE a.search_text LIKE '%冰雪版%'")));
        QString lines;
        while (plan.next())
            lines += plan.value(0).toString() + QLatin1Char('\n');
        EXPECT_TRUE(lines.contains(QLatin1String("ads_text"))) << lines.toStdString();
    }
}

TEST_P(AdStoreTest, HostileKeysAnswerTheirFirstTermsInsteadOfFailing)
{
    const QString day = QDate::currentDate().addDays(2).toString(QStringLiteral("MM/dd"));
    const auto repeated = [](const QString &piece, int times, const QString &separator) {
        return QStringList(times, piece).join(separator);
    };
    const struct {
        const char *name;
        QString key;
        QString meaning; // what the key must find
        bool cut;
    } cases[] = {
        {"NulInsideATerm", QStringLiteral("合") + QChar(0) + QStringLiteral("击"), QStringLiteral("合击"),
         true},
        {"ThousandsOfTerms", repeated(QStringLiteral("合击"), 3000, QStringLiteral("\\")),
         QStringLiteral("合击"), true},
        {"ThousandsOfDates", repeated(day, 3000, QStringLiteral("\\")), day, true},
        {"ThousandsOfDatesInOnePiece", repeated(day, 3000, QStringLiteral(" ")), day, true},
        {"TermsUpToTheLimit", repeated(QStringLiteral("1.7"), 32, QStringLiteral("\\")),
         QStringLiteral("1.7"), false},
    };
    for (const auto &c : cases) {
        const AdQuery q = AdQuery::parse(c.key, QStringLiteral("1"), QDate::currentDate());
        EXPECT_EQ(q.cut, c.cut) << c.name;
        EXPECT_LE(q.terms.size() + q.days.size() + q.marks.size(), ServiceLimits().keyTerms) << c.name;
        const int wanted = expected(AdQuery::parse(c.meaning, QStringLiteral("1"), QDate::currentDate()));
        ASSERT_GT(wanted, 0) << c.name;
        const AdPage page = store.searchAds(q, 1);
        EXPECT_FALSE(page.failed) << c.name;
        EXPECT_EQ(page.total, wanted) << c.name;
    }
    // A long key is cut to the limit and still answered.
    const AdQuery huge =
        AdQuery::parse(QString(100000, QLatin1Char('x')), QStringLiteral("1"), QDate::currentDate());
    EXPECT_TRUE(huge.cut);
    EXPECT_EQ(huge.terms.value(0).size(), ServiceLimits().keyChars);
    EXPECT_FALSE(store.searchAds(huge, 1).failed);
}

TEST_P(AdStoreTest, FailedStatementsAreReportedNotAnsweredAsEmpty)
{
    // A search that the database refuses (the text index or the table is
    // gone) says so.
    ASSERT_TRUE(
        db.exec(onServer() ? QStringLiteral("DROP TABLE ads") : QStringLiteral("DROP TABLE ads_fts")));
    const AdPage page = store.searchAds(
        AdQuery::parse(QStringLiteral("冰雪版"), QStringLiteral("1"), QDate::currentDate()), 1);
    EXPECT_TRUE(page.failed);
    ASSERT_TRUE(db.exec(QStringLiteral("DROP TABLE forwards")));
    EXPECT_TRUE(store.searchForwards(QStringLiteral("a"), 0).failed);
    EXPECT_FALSE(store.searchHistory(QStringLiteral("a"), 0).failed);
}

// Replaced ads move to the history; trimming keeps the newest entries only.
TEST_P(AdStoreTest, HistoryKeepsTheNewestEntriesWhenTrimmed)
{
    const QString web = ads.first().gameWeb;
    const auto historyIds = [this] {
        QSqlQuery q(db.handle());
        std::vector<qint64> ids;
        if (q.exec(QStringLiteral("SELECT id FROM his_ads ORDER BY id")))
            while (q.next())
                ids.push_back(q.value(0).toLongLong());
        return ids;
    };
    const size_t before = historyIds().size();
    for (int round = 0; round < 3; ++round)
        ASSERT_TRUE(store.replaceAdsOf(web, {ads.first()}));
    const std::vector<qint64> grown = historyIds();
    ASSERT_GT(grown.size(), before + 2);
    ASSERT_TRUE(store.keepLatestHistory(2));
    EXPECT_EQ(historyIds(), std::vector<qint64>(grown.end() - 2, grown.end()));
    ASSERT_TRUE(store.keepLatestHistory(10));
    EXPECT_EQ(historyIds().size(), 2u) << "nothing more goes";
}

// Replacing an address's ads over and over does not move the ids on: the new
// ads take the old ones' ids, and a search still finds exactly the new ones.
TEST_P(AdStoreTest, ReplacedAdsTakeTheOldIds)
{
    const QString web = ads.first().gameWeb;
    const auto maxId = [this] {
        QSqlQuery q(db.handle());
        return q.exec(QStringLiteral("SELECT max(id) FROM ads")) && q.next() ? q.value(0).toLongLong() : -1;
    };
    QList<AdRecord> mine;
    for (const AdRecord &ad : ads)
        if (ad.gameWeb == web)
            mine.append(ad);
    ASSERT_FALSE(mine.isEmpty());
    const qint64 before = maxId();
    for (int round = 0; round < 5; ++round) {
        QList<AdRecord> next = mine;
        for (AdRecord &ad : next)
            ad.adName = QStringLiteral("轮换%1版").arg(round);
        ASSERT_TRUE(store.replaceAdsOf(web, next));
    }
    EXPECT_EQ(maxId(), before);
    const auto total = [this](const char *key) {
        return store
            .searchAds(AdQuery::parse(QString::fromUtf8(key), QStringLiteral("1"), QDate::currentDate()), 1)
            .total;
    };
    EXPECT_EQ(total("轮换4版"), mine.size());
    EXPECT_EQ(total("轮换3版"), 0);
    // One more ad than before takes one new id.
    QList<AdRecord> more = mine;
    more.append(mine.first());
    ASSERT_TRUE(store.replaceAdsOf(web, more));
    EXPECT_EQ(maxId(), before + 1);
    EXPECT_EQ(total("轮换4版"), 0);
}

TEST_P(AdStoreTest, PagesCoverEveryMatchOnce)
{
    const AdQuery q = AdQuery::parse(QStringLiteral("1.7"), QStringLiteral("1"), QDate::currentDate());
    const int total = expected(q);
    ASSERT_GT(total, 2 * AdStore::kPageSize);
    int rows = 0;
    int sum = 0;
    for (const SiteTimeCount &c : store.searchAds(q, 1).counts)
        sum += c.count;
    EXPECT_EQ(sum, total);
    for (int index = 1;; ++index) {
        const AdPage page = store.searchAds(q, index);
        EXPECT_EQ(page.total, total);
        rows += int(page.ads.size());
        EXPECT_EQ(page.last, rows >= total);
        if (index > 1) {
            EXPECT_TRUE(page.counts.isEmpty());
        }
        if (page.last)
            break;
        ASSERT_LT(index, 100);
    }
    EXPECT_EQ(rows, total);
    EXPECT_TRUE(store.searchAds(q, 1000000).ads.isEmpty());
    EXPECT_TRUE(store.searchAds(q, std::numeric_limits<int>::max()).last);
}

TEST_P(AdStoreTest, RepeatedSearchesComeFromTheCacheUntilTheAdsChange)
{
    const AdQuery q = AdQuery::parse(QStringLiteral("1.7"), QStringLiteral("1"), QDate::currentDate());
    const AdPage first = store.searchAds(q, 2);
    ASSERT_FALSE(first.ads.isEmpty());
    const int total = first.total;

    // Another writer of the same database: the cache must notice its
    // commit, which a server announces (a file's change counter moves).
    ChangeFeed feed(db);
    EXPECT_EQ(feed.start(), onServer());
    QStringList announced;
    QObject::connect(&feed, &ChangeFeed::adsChanged, [&](const QStringList &webs) {
        announced += webs;
        store.cache()->clear();
    });
    Database other;
    ASSERT_TRUE(other.open(scratch.address()));
    AdStore otherStore(other);
    AdRecord extra = ads.first();
    extra.adName = QStringLiteral("1.7新区");
    EXPECT_EQ(store.searchAds(q, 2).total, total) << "unchanged data, same answer";
    ASSERT_TRUE(otherStore.addAds({extra}));
    EXPECT_TRUE(ServiceTest::waitFor([&] { return store.searchAds(q, 2).total == total + 1; }, 5000));
    EXPECT_EQ(store.searchAds(q, 1).total, total + 1);
    if (onServer()) {
        EXPECT_EQ(announced, QStringList{extra.gameWeb});
    }

    // This store's own writes bring the kept matches up to date: every page
    // and count as a search from scratch gives them.
    const AdQuery onADay =
        AdQuery::parse(QStringLiteral("区\\") + extra.openDay.toString(QStringLiteral("MM/dd")),
                       QStringLiteral("1"), QDate::currentDate());
    const auto sameAsScan = [&](const AdQuery &query, const char *after) {
        for (int index : {1, 2}) {
            const AdPage kept = store.searchAds(query, index);
            const AdPage fresh = store.scanAds(query, index);
            EXPECT_EQ(kept.total, fresh.total) << after;
            ASSERT_EQ(kept.ads.size(), fresh.ads.size()) << after;
            for (qsizetype i = 0; i < kept.ads.size(); ++i)
                EXPECT_EQ(kept.ads[i].adName, fresh.ads[i].adName) << after;
            ASSERT_EQ(kept.counts.size(), fresh.counts.size()) << after;
            for (qsizetype i = 0; i < kept.counts.size(); ++i) {
                EXPECT_EQ(kept.counts[i].site, fresh.counts[i].site) << after;
                EXPECT_EQ(kept.counts[i].openTime, fresh.counts[i].openTime) << after;
                EXPECT_EQ(kept.counts[i].count, fresh.counts[i].count) << after;
            }
        }
    };
    sameAsScan(onADay, "before");
    ASSERT_TRUE(store.addAds({extra, extra}));
    EXPECT_EQ(store.searchAds(q, 2).total, total + 3);
    sameAsScan(q, "added");
    sameAsScan(onADay, "added");
    AdRecord elsewhere = extra;
    elsewhere.site = QStringLiteral("新站");
    ASSERT_TRUE(store.replaceAdsOf(extra.gameWeb, {elsewhere}));
    EXPECT_LT(store.searchAds(q, 2).total, total + 3);
    sameAsScan(q, "replaced");
    sameAsScan(onADay, "replaced");
}

TEST(AdSearchCache, KeepsTheMostRecentlyUsedPagesWithinItsBound)
{
    AdSearchCache cache(2);
    const auto query = [](const char *term) {
        return AdQuery::parse(QString::fromUtf8(term), QStringLiteral("1"), QDate(2026, 12, 10));
    };
    AdPage page;
    page.total = 7;
    cache.insert(query("a"), 1, page, cache.generation());
    cache.insert(query("a"), 2, page, cache.generation());
    ASSERT_TRUE(cache.find(query("a"), 1)); // now the most recent
    cache.insert(query("b"), 1, page, cache.generation());
    EXPECT_EQ(cache.size(), 2);
    EXPECT_FALSE(cache.find(query("a"), 2)) << "the least recently used went";
    ASSERT_TRUE(cache.find(query("a"), 1));
    EXPECT_EQ(cache.find(query("a"), 1)->total, 7);
    EXPECT_FALSE(cache.find(query("b"), 2));
    EXPECT_FALSE(
        cache.find(AdQuery::parse(QStringLiteral("a"), QStringLiteral("站A"), QDate(2026, 12, 10)), 1))
        << "other sites, other page";

    // A page searched before the data changed is not kept.
    const quint64 before = cache.generation();
    cache.clear();
    EXPECT_EQ(cache.size(), 0);
    cache.insert(query("a"), 1, page, before);
    EXPECT_EQ(cache.size(), 0);
}

TEST(AdSearchCache, MatchesAreSearchedOnceAndKeptWithinTheirIdBudget)
{
    AdSearchCache cache(8, 10);
    const auto query = [](const char *term) {
        return AdQuery::parse(QString::fromUtf8(term), QStringLiteral("1"), QDate(2026, 12, 10));
    };
    int searches = 0;
    const auto found = [&searches](size_t ids) {
        return [&searches, ids]() -> std::optional<AdMatches> {
            ++searches;
            AdMatches m;
            m.ids.assign(ids, 1);
            return m;
        };
    };
    EXPECT_EQ(cache.matches(query("a"), found(4))->ids.size(), 4u);
    EXPECT_EQ(cache.matches(query("a"), found(4))->ids.size(), 4u);
    EXPECT_EQ(searches, 1);
    cache.matches(query("b"), found(4)); // a and b: 10 ids with their entries
    EXPECT_EQ(cache.storedIds(), 10);
    cache.matches(query("c"), found(1)); // past the budget: a, the oldest, goes
    EXPECT_LE(cache.storedIds(), 10);
    searches = 0;
    cache.matches(query("b"), found(4));
    EXPECT_EQ(searches, 0);
    cache.matches(query("a"), found(4));
    EXPECT_EQ(searches, 1);

    // Larger than the budget, or searched while the data changed: answered, not kept.
    searches = 0;
    EXPECT_EQ(cache.matches(query("huge"), found(50))->ids.size(), 50u);
    cache.matches(query("huge"), found(50));
    EXPECT_EQ(searches, 2);
    const auto changing = [&]() -> std::optional<AdMatches> {
        ++searches;
        cache.clear();
        return AdMatches{};
    };
    EXPECT_TRUE(cache.matches(query("d"), changing));
    EXPECT_TRUE(cache.matches(query("d"), changing));
    EXPECT_EQ(searches, 4);
    EXPECT_EQ(cache.matches(query("e"), [] { return std::optional<AdMatches>(); }), nullptr) << "failed";
}

TEST_P(AdStoreTest, GroupIndexTakesInWritesMadeWhileItLoadsAndStaysOffWhenStale)
{
    AdGroupIndex &groups = store.cache()->groups();
    const AdQuery all = AdQuery::parse(QString(), QStringLiteral("1"), QDate::currentDate());
    const AdRecord extra = makeAd(QStringLiteral("http://www.late.example"), QStringLiteral("站L"),
                                  QStringLiteral("晚到"), 0, QStringLiteral("10:00"));

    // A write between the claim and the end of the load is in the result.
    groups.markStale();
    const std::optional<quint64> token = groups.claimLoad();
    ASSERT_TRUE(token);
    EXPECT_FALSE(groups.claimLoad()) << "one loader at a time";
    AdChange late;
    late.added = {{1000000, extra}};
    groups.apply(late);
    ASSERT_TRUE(groups.load(db.handle(), *token));
    const std::optional<AdMatches> found = groups.select(std::nullopt, all);
    ASSERT_TRUE(found);
    EXPECT_EQ(qsizetype(found->ids.size()), ads.size() + 1);
    EXPECT_EQ(found->ids.back(), 1000000);

    // Stale while loading: the load is thrown away and nothing is answered.
    groups.markStale();
    const std::optional<quint64> second = groups.claimLoad();
    ASSERT_TRUE(second);
    groups.markStale();
    EXPECT_FALSE(groups.load(db.handle(), *second));
    EXPECT_FALSE(groups.select(std::nullopt, all));
    // Searches still answer, and load the index again.
    EXPECT_EQ(store.searchAds(all, 1).total, expected(all));
    EXPECT_TRUE(groups.ready());
}

// A service runs for weeks: every day brings ads of new days and takes the old
// ones away. The groups of days without ads must not pile up, and the counts
// must stay right across the renumbering.
TEST_P(AdStoreTest, GroupIndexLetsGroupsWithoutAdsGo)
{
    AdGroupIndex &groups = store.cache()->groups();
    const AdQuery all = AdQuery::parse(QString(), QStringLiteral("1"), QDate::currentDate());
    ASSERT_EQ(store.searchAds(all, 1).total, expected(all)); // loads the index
    ASSERT_TRUE(groups.ready());
    const size_t atStart = groups.groupCount();

    // Two ads of our own that move on a day at a time; one stays on the first day.
    const QString site = QStringLiteral("站长流");
    AdRecord stays = makeAd(QStringLiteral("http://www.stays.example"), site, QStringLiteral("常在"), 0,
                            QStringLiteral("10:00"));
    AdChange first;
    first.added = {{900000, stays}};
    groups.apply(first);
    AdRecord moving = stays;
    for (int day = 1; day <= 3000; ++day) {
        AdChange next;
        if (day > 1)
            next.removed = {{900001, moving}, {900002, moving}};
        moving = makeAd(QStringLiteral("http://www.moving.example"), site, QStringLiteral("走"), day,
                        QStringLiteral("20:00"));
        next.added = {{900001, moving}, {900002, moving}};
        groups.apply(next);
    }
    EXPECT_LT(groups.groupCount(), atStart + 1100 + atStart);

    const std::optional<AdMatches> found = groups.select(std::nullopt, all);
    ASSERT_TRUE(found);
    EXPECT_EQ(qsizetype(found->ids.size()), ads.size() + 3);
    int ofOurSite = 0;
    for (const SiteTimeCount &count : found->counts) {
        if (count.site != site)
            continue;
        ++ofOurSite;
        const bool staying = count.openDay == stays.openDay.toString(Qt::ISODate);
        EXPECT_EQ(count.openDay, (staying ? stays : moving).openDay.toString(Qt::ISODate));
        EXPECT_EQ(count.count, staying ? 1 : 2);
    }
    EXPECT_EQ(ofOurSite, 2);
}

TEST(AdSearchCache, WritesDuringASearchAreTakenInOnceNotLost)
{
    AdSearchCache cache;
    const AdQuery query = AdQuery::parse(QStringLiteral("雷霆"), QStringLiteral("1"), QDate(2026, 12, 10));
    const AdRecord ad = makeAd(QStringLiteral("http://www.a.example"), QStringLiteral("站A"),
                               QStringLiteral("雷霆1.76"), 0, QStringLiteral("10:00"));
    const AdRecord other = makeAd(QStringLiteral("http://www.b.example"), QStringLiteral("站A"),
                                  QStringLiteral("龙腾1.80"), 0, QStringLiteral("10:00"));
    AdChange first;
    first.added = {{7, ad}, {8, other}};
    AdChange second;
    second.added = {{9, ad}};
    second.removed = {{3, ad}};
    int searches = 0;
    // The search saw ids 3 and 7 (the first write, but not the second).
    size_t loggedDuringSearch = 0;
    const auto search = [&]() -> std::optional<AdMatches> {
        ++searches;
        cache.apply(first);
        cache.apply(second);
        loggedDuringSearch = cache.loggedChangeCount();
        AdMatches m;
        m.ids = {3, 7};
        m.counts = {SiteTimeCount{ad.site, ad.openTime(), 2, ad.openDay.toString(Qt::ISODate), ad.openSlot}};
        return m;
    };
    const std::shared_ptr<const AdMatches> found = cache.matches(query, search);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->ids, (std::vector<qint64>{7, 9}));
    ASSERT_EQ(found->counts.size(), 1);
    EXPECT_EQ(found->counts[0].count, 2);
    EXPECT_EQ(cache.matches(query, search)->ids, (std::vector<qint64>{7, 9}));
    EXPECT_EQ(searches, 1) << "kept, not searched again";
    // Changes are logged only while a search that began before them runs.
    EXPECT_EQ(loggedDuringSearch, 2u);
    EXPECT_EQ(cache.loggedChangeCount(), 0u);

    // A kept entry follows later writes; a change applied twice counts once.
    AdChange third;
    third.added = {{10, ad}};
    cache.apply(third);
    cache.apply(third);
    const std::shared_ptr<const AdMatches> now = cache.matches(query, search);
    EXPECT_EQ(now->ids, (std::vector<qint64>{7, 9, 10}));
    EXPECT_EQ(now->counts[0].count, 3);
    EXPECT_EQ(searches, 1);
    EXPECT_EQ(cache.loggedChangeCount(), 0u) << "nothing is kept for a search that does not run";
}

TEST_P(AdStoreTest, MonitoredAddressHonoursSitesAndTheNextThreeDays)
{
    const QString web = QStringLiteral("http://www.watch.example");
    const QDate today = QDate::currentDate();
    ASSERT_TRUE(store.replaceAdsOf(
        web, {makeAd(web, QStringLiteral("站A"), QStringLiteral("a"), 0, QStringLiteral("10:00")),
              makeAd(web, QStringLiteral("站B"), QStringLiteral("b"), 2, QStringLiteral("10:00")),
              makeAd(web, QStringLiteral("站A"), QStringLiteral("c"), 3, QStringLiteral("10:00")),
              makeAd(web, QStringLiteral("站C"), QStringLiteral("d"), -1, QStringLiteral("10:00"))}));
    const auto names = [&](const MonitoredAddress &a) {
        QStringList out;
        for (const AdRecord &ad : store.adsForAddress(a, today))
            out << ad.adName;
        out.sort();
        return out;
    };
    EXPECT_EQ(names({web, {}, {}, QStringLiteral("1"), 0}).join(QString()), QStringLiteral("abcd"));
    EXPECT_EQ(names({web, {}, {}, QStringLiteral("1"), 1}).join(QString()), QStringLiteral("ab"));
    EXPECT_EQ(names({web, {}, {}, QStringLiteral("站A~站C"), 0}).join(QString()), QStringLiteral("acd"));
    EXPECT_EQ(names({web, {}, {}, QStringLiteral("站A"), 1}).join(QString()), QStringLiteral("a"));

    // Replacing moves the old ads to the history.
    ASSERT_TRUE(store.replaceAdsOf(web, {}));
    EXPECT_TRUE(store.adsOf(web).isEmpty());
    EXPECT_EQ(store.searchHistory(QStringLiteral("watch.example"), 0).total, 4);
}

class SchemaTest : public ::testing::TestWithParam<Backend> {};

INSTANTIATE_TEST_SUITE_P(Backends, SchemaTest, ::testing::Values(Backend::Sqlite, Backend::Postgres),
                         [](const auto &info) { return ScratchDatabases::name(info.param); });

TEST_P(SchemaTest, OlderSchemaIsUpgradedInPlaceWithItsAds)
{
    ScratchDatabase scratch(GetParam());
    if (!scratch.available())
        GTEST_SKIP() << scratch.why().toStdString();
    const QString path = scratch.address();
    {
        Database old;
        ASSERT_TRUE(old.open(path, 1));
        EXPECT_EQ(old.schemaVersion(), 1);
        AdStore oldStore(old);
        ASSERT_TRUE(oldStore.addAds({makeAd(QStringLiteral("http://www.old.example"), QStringLiteral("站A"),
                                            QStringLiteral("霸业1.80金币版"), 0, QStringLiteral("20:00"))}));
        // Texts of that time ended in their last field.
        ASSERT_TRUE(old.exec(QStringLiteral("UPDATE ads SET search_text = rtrim(search_text)")));
    }
    Database db;
    ASSERT_TRUE(db.open(path)) << db.errorString().toStdString();
    EXPECT_EQ(db.schemaVersion(), Database::kSchemaVersion);
    AdStore store(db);
    // A long term, and a short one at the very end of the old text.
    for (const QString &key : {QStringLiteral("1.80金币"), QStringLiteral("00")}) {
        EXPECT_EQ(store.searchAds(AdQuery::parse(key, QStringLiteral("1"), QDate::currentDate()), 1).total, 1)
            << key.toStdString();
    }
}

TEST(DemoDataTest, GeneratedAdsAreWrittenInBatchesAndGameCountsAreBounded)
{
    QTemporaryDir dir;
    Database db;
    ASSERT_TRUE(db.open(dir.filePath(QStringLiteral("generated.sqlite"))));
    AdStore store(db);
    DemoData generated(3, QDate(2026, 12, 10), DemoData::gamesFor(45000));
    ASSERT_TRUE(generated.writeAds(store, 45000)); // more than one batch
    EXPECT_EQ(store.adCount(), 45000);
    EXPECT_EQ(generated.gameWebs().size(), 900);
    ASSERT_TRUE(store.clearAds());
    EXPECT_EQ(store.adCount(), 0);
    EXPECT_EQ(
        store.searchAds(AdQuery::parse(QStringLiteral("传奇"), QStringLiteral("1"), QDate(2026, 12, 10)), 1)
            .total,
        0)
        << "the text index was emptied with the ads";

    // More addresses than the names can tell apart: as many as there are.
    EXPECT_EQ(DemoData(3, QDate(2026, 12, 10), DemoData::maxGames() + 500).gameWebs().size(),
              DemoData::maxGames());
}

// The demo data written to a scratch SQLite file, as the service's --demo does.
struct FilledDemo {
    explicit FilledDemo(quint32 seed) : demo(seed, QDate::currentDate())
    {
        filled = db.open(dir.filePath(QStringLiteral("demo.sqlite"))) && demo.fill(accounts, store);
    }
    QList<MonitoredAddress> watched() const
    {
        const std::optional<AccountRecord> account = accounts.verify(DemoData::kUser, DemoData::kPassword);
        return account ? accounts.addresses(account->id) : QList<MonitoredAddress>();
    }

    QTemporaryDir dir;
    Database db;
    AccountStore accounts{db};
    AdStore store{db};
    DemoData demo;
    bool filled = false;
};

// A demo left running for days: its addresses keep changing, but more ads
// arriving than going must not pile up on them.
TEST(DemoDataTest, ALongRunningDemoChangesItsAddressesWithoutPilingAdsUp)
{
    FilledDemo filled(7);
    ASSERT_TRUE(filled.filled);
    AdStore &store = filled.store;
    DemoTicker ticker(filled.demo, filled.accounts, store);
    const QList<MonitoredAddress> watched = filled.watched();
    ASSERT_FALSE(watched.isEmpty());
    const QString first = watched.first().url;

    // Days pass while it runs: new ads open from the day of the change on.
    const QDate later = QDate::currentDate().addDays(30);
    ticker.setCalendar([later] { return later; });
    for (int turn = 0; turn < 150; ++turn)
        ASSERT_FALSE(ticker.tick().isEmpty()) << "turn " << turn;
    for (const MonitoredAddress &m : watched) {
        const qsizetype held = store.adsOf(m.url).size();
        EXPECT_GT(held, 0) << m.url.toStdString();
        EXPECT_LE(held, DemoData::kMostAdsPerAddress) << m.url.toStdString();
    }
    // Still changing, with new ads of the new days: the first ads opened
    // within ten days of the start.
    int fresh = 0;
    for (const AdRecord &ad : store.adsOf(first)) {
        fresh += ad.openDay >= later;
        EXPECT_LE(ad.openDay, later.addDays(2)) << ad.searchText().toStdString();
    }
    EXPECT_GT(fresh, 0);
}

TEST(Database, CommittedWritesAreSyncedAndNewerOrForeignFilesRefused)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("db.sqlite"));
    {
        Database db;
        ASSERT_TRUE(db.open(path));
        QSqlQuery q(db.handle());
        ASSERT_TRUE(q.exec(QStringLiteral("PRAGMA journal_mode")) && q.next());
        EXPECT_EQ(q.value(0).toString(), QStringLiteral("wal"));
        ASSERT_TRUE(q.exec(QStringLiteral("PRAGMA synchronous")) && q.next());
        EXPECT_EQ(q.value(0).toInt(), 2); // FULL
        ASSERT_TRUE(db.exec(QStringLiteral("PRAGMA user_version = 99")));
    }
    Database newer;
    EXPECT_FALSE(newer.open(path));
    EXPECT_TRUE(newer.errorString().contains(QStringLiteral("99")));

    const QString text = dir.filePath(QStringLiteral("notes.txt"));
    QFile file(text);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(4096, 'x'));
    file.close();
    Database foreign;
    EXPECT_FALSE(foreign.open(text));
    Database nowhere;
    EXPECT_FALSE(nowhere.open(dir.filePath(QStringLiteral("missing/dir/db.sqlite"))));
}

TEST(DemoDataTest, SameSeedSameDataAndTheDemoAccountWatchesAdsOfEachKind)
{
    DemoData first(5, QDate(2024, 12, 10));
    DemoData second(5, QDate(2024, 12, 10));
    const QList<AdRecord> a = first.ads(10);
    const QList<AdRecord> b = second.ads(10);
    ASSERT_EQ(a.size(), b.size());
    EXPECT_GT(a.size(), 2000);
    for (qsizetype i = 0; i < a.size(); ++i)
        ASSERT_EQ(a[i].searchText(), b[i].searchText());
    EXPECT_NE(DemoData(6, QDate(2024, 12, 10)).ads(10).first().searchText(), a.first().searchText());

    FilledDemo filled(5);
    ASSERT_TRUE(filled.filled);
    const AdStore &store = filled.store;
    const QList<MonitoredAddress> watched = filled.watched();
    ASSERT_EQ(watched.size(), 5);
    QSet<QString> codes;
    for (const MonitoredAddress &m : watched) {
        codes.insert(m.remindType);
        EXPECT_FALSE(store.adsForAddress(m, QDate::currentDate()).isEmpty()) << m.url.toStdString();
    }
    EXPECT_EQ(codes.size(), 4);
    EXPECT_GE(store.catalogue().size(), 10);
    // Every opening time is a mark the client's time box offers.
    const QStringList marks = {QStringLiteral("全天固顶"), QStringLiteral("通宵"),
                               QStringLiteral("通宵固顶")};
    for (const AdRecord &ad : a)
        ASSERT_TRUE(marks.contains(ad.openSlot) ||
                    (AdKey::timeMark(ad.openSlot) == ad.openSlot && ad.openSlot >= QStringLiteral("07:00") &&
                     ad.openSlot.endsWith(QStringLiteral("0"))))
            << ad.openSlot.toStdString();
}

} // namespace
