#include <gtest/gtest.h>

#include <QDateTime>
#include <QSqlQuery>
#include <QUrl>

#include "service/store/AccountStore.h"
#include "service/search/AdStore.h"
#include "service/store/ChangeFeed.h"
#include "service/store/Database.h"
#include "tests/support/ScratchDatabase.h"
#include "tests/support/ServiceTestSupport.h"
#include "tests/support/TcpRelay.h"

using namespace ServiceTest;

namespace {

const QString kWatched = QStringLiteral("http://www.watched.example");
const QString kSite = QStringLiteral("站A");

QString str(const std::string &s)
{
    return QString::fromStdString(s);
}

// Adds (or changes) a monitored address through an instance's web service;
// "0|" is done.
HttpResult addThrough(LocalService &instance, const QString &url)
{
    const QByteArray query = signedQuery(QStringLiteral("alice"), QStringLiteral("secret1"),
                                         QStringLiteral("2"), QDateTime::currentSecsSinceEpoch()) +
                             "&monitor_url=" + encodeValue(url) +
                             "&monitor_type=3&monitor_remark=x&monitor_publishing=1&jinminhou=0";
    return httpGet(instance.webUrl(QStringLiteral("/tongji/common_login_for_monitor/add_domain.asp?") +
                                   QString::fromLatin1(query)));
}

bool acknowledged(const HttpResult &reply)
{
    return reply.status == 200 && reply.text().startsWith(QLatin1String("0|"));
}

// Two service instances on one PostgreSQL database: what one writes reaches
// the clients of the other.
class SharedDatabaseTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!first.scratch.available())
            GTEST_SKIP() << first.scratch.why().toStdString();
        ASSERT_TRUE(first.start()) << first->errorString().toStdString();
        const qint64 id =
            seedAccount(first, sampleAccount(QStringLiteral("alice"), QStringLiteral("secret1")));
        ASSERT_NE(id, 0);
        ASSERT_TRUE(first->accounts().putAddress(
            id, {kWatched, QStringLiteral("1"), QStringLiteral("r"), QStringLiteral("1"), 0}));
        ASSERT_TRUE(first->ads().addAds(
            {makeAd(kWatched, kSite, QStringLiteral("雷霆一区"), 0, QStringLiteral("19:30"))}));
    }

    LocalService first{Backend::Postgres};
};

} // namespace

TEST_F(SharedDatabaseTest, WritesThroughOneInstanceReachTheClientsOfTheOther)
{
    LocalService second{Backend::Postgres};
    second.database = first.databasePath();
    ASSERT_TRUE(second.start()) << second->errorString().toStdString();

    // The account made through the first instance logs in on the second.
    DataClient onFirst(first->dataPort());
    DataClient onSecond(second->dataPort());
    ASSERT_TRUE(onFirst.logIn(QStringLiteral("alice"), QStringLiteral("secret1")));
    ASSERT_TRUE(onSecond.logIn(QStringLiteral("alice"), QStringLiteral("secret1")));

    // An address added through the second instance's web service.
    const QString added = QStringLiteral("http://www.added.example");
    ASSERT_TRUE(acknowledged(addThrough(second, added)));
    for (DataClient *client : {&onFirst, &onSecond}) {
        const auto ntf = client->next<MsgUserAdsChangeNtf>(5000);
        ASSERT_NE(ntf, nullptr);
        EXPECT_EQ(str(ntf->body.ext()), added);
    }

    // New ads written by the second instance (as its demo or a collector
    // would): the first instance's client is told, and its searches see them.
    const AdQuery newName =
        AdQuery::parse(QStringLiteral("冰雪新区"), QStringLiteral("1"), QDate::currentDate());
    EXPECT_EQ(first->ads().searchAds(newName, 1).total, 0);
    ASSERT_TRUE(second->ads().replaceAdsOf(
        kWatched, {makeAd(kWatched, kSite, QStringLiteral("冰雪新区"), 1, QStringLiteral("20:00"))}));
    second->adsChanged({kWatched});
    for (DataClient *client : {&onFirst, &onSecond}) {
        const auto ntf = client->next<MsgUserAdsChangeNtf>(5000);
        ASSERT_NE(ntf, nullptr);
        EXPECT_EQ(str(ntf->body.ext()), kWatched);
        ASSERT_EQ(ntf->body.adslist_size(), 1);
        EXPECT_EQ(str(ntf->body.adslist(0).stradname()), QStringLiteral("冰雪新区"));
    }
    EXPECT_EQ(first->ads().searchAds(newName, 1).total, 1);
    // Each change reached each client once.
    EXPECT_EQ(onFirst.take(kMsgUserAdsChangeNtf, 300), nullptr);
    EXPECT_EQ(onSecond.take(kMsgUserAdsChangeNtf, 300), nullptr);
}

// The database goes away for a few seconds under an instance: writes in the
// outage are refused, the instance comes back by itself, and everything it
// acknowledged is there.
TEST_F(SharedDatabaseTest, OutageLosesNoAcknowledgedWriteAndRecoversByItself)
{
    LogCapture log;
    const QUrl direct(first.databasePath());
    TcpRelay relay(quint16(direct.port()));
    ASSERT_NE(relay.port(), 0);
    QUrl relayed = direct;
    relayed.setPort(relay.port());
    LocalService behindRelay{Backend::Postgres};
    behindRelay.database = relayed.toString();
    ASSERT_TRUE(behindRelay.start()) << behindRelay->errorString().toStdString();
    DataClient client(behindRelay->dataPort());
    ASSERT_TRUE(client.logIn(QStringLiteral("alice"), QStringLiteral("secret1")));

    QStringList acknowledgedUrls;
    const auto add = [&](const QString &url) {
        const bool done = acknowledged(addThrough(behindRelay, url));
        if (done)
            acknowledgedUrls << url;
        return done;
    };
    ASSERT_TRUE(add(QStringLiteral("http://www.before.example")));
    ASSERT_NE(client.next<MsgUserAdsChangeNtf>(5000), nullptr);

    relay.cut();
    EXPECT_FALSE(add(QStringLiteral("http://www.during.example"))) << "refused, not acknowledged";
    // Logins in the outage are refused as the server's trouble, and not
    // counted against the name.
    const auto tryLogIn = [&] {
        DataClient other(behindRelay->dataPort());
        EXPECT_NE(other.next<MsgConnected>(), nullptr);
        other.sendLogIn(QStringLiteral("alice"), QStringLiteral("secret1"));
        return other.next<MsgUserLoginAck>(10000);
    };
    for (int attempt = 0; attempt < 5; ++attempt) {
        const auto ack = tryLogIn();
        ASSERT_NE(ack, nullptr);
        EXPECT_NE(ack->body.code(), 0);
        EXPECT_EQ(QString::fromStdString(ack->body.info()), QStringLiteral("服务器繁忙，请稍后再试"));
    }
    MsgUserSearchAdsReq search;
    search.body.set_key("雷霆");
    search.body.set_index(1);
    search.body.set_adweb("1");
    client.send(search);
    const auto answer = client.next<MsgUserSearchAdsAck>(10000);
    ASSERT_NE(answer, nullptr) << "a search in the outage is answered";
    EXPECT_EQ(answer->body.adslist_size(), 0);
    // A few seconds without the database.
    ServiceTest::waitFor([] { return false; }, 2500);
    ASSERT_TRUE(relay.restore());

    // It recovers by itself: the next writes are acknowledged again.
    const QString after = QStringLiteral("http://www.after.example");
    EXPECT_TRUE(ServiceTest::waitFor([&] { return add(after); }, 15000));
    // The client hears of the new address and, as the instance heard
    // nothing from the others meanwhile, gets its complete list to compare.
    bool toldOfAddress = false;
    bool toldAll = false;
    while (!(toldOfAddress && toldAll)) {
        const auto told = client.next<MsgUserAdsChangeNtf>(5000);
        ASSERT_NE(told, nullptr) << "address " << toldOfAddress << ", complete list " << toldAll;
        toldOfAddress = toldOfAddress || str(told->body.ext()) == after;
        toldAll = toldAll || told->body.ext().empty();
    }
    const auto back = tryLogIn();
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->body.code(), 0) << "not held back for the outage's attempts";

    // Listening again: a change written through another instance reaches
    // this instance's client.
    ASSERT_TRUE(first->ads().replaceAdsOf(
        kWatched, {makeAd(kWatched, kSite, QStringLiteral("恢复后"), 1, QStringLiteral("20:00"))}));
    const auto ntf = client.next<MsgUserAdsChangeNtf>(5000);
    ASSERT_NE(ntf, nullptr);
    EXPECT_EQ(str(ntf->body.ext()), kWatched);

    // Everything acknowledged is stored (read past the relay).
    const std::optional<AccountRecord> alice = first->accounts().account(QStringLiteral("alice"));
    ASSERT_TRUE(alice);
    QStringList stored;
    for (const MonitoredAddress &a : first->accounts().addresses(alice->id))
        stored << a.url;
    for (const QString &url : acknowledgedUrls)
        EXPECT_TRUE(stored.contains(url)) << url.toStdString();
    EXPECT_EQ(acknowledgedUrls.size(), 2);

    // One line when the connection went, one when it was back.
    EXPECT_EQ(log.matching(QStringLiteral("connection to the server lost")).size(), 1)
        << log.lines().join('\n').toStdString();
    EXPECT_EQ(log.matching(QStringLiteral("connected to the server again")).size(), 1);
    EXPECT_EQ(log.matching(QStringLiteral(" failed: ")).size(), 0) << "not one line per failed statement";
}

// The connection an instance listens on is cut: what other instances wrote
// meanwhile was announced to no one, so once it listens again each of its
// logged-in clients gets its complete list to compare.
TEST_F(SharedDatabaseTest, AfterItsFeedWasCutAnInstanceSendsEachWatcherItsCompleteList)
{
    LogCapture log;
    DataClient watcher(first->dataPort());
    ASSERT_TRUE(watcher.logIn(QStringLiteral("alice"), QStringLiteral("secret1")));
    DataClient notLoggedIn(first->dataPort());
    ASSERT_NE(notLoggedIn.next<MsgConnected>(), nullptr);

    QSqlQuery backend(first->database().handle());
    ASSERT_TRUE(backend.exec(QStringLiteral("SELECT pg_backend_pid()")) && backend.next());
    const qint64 listener = backend.value(0).toLongLong();

    // Cut, and a change written by another writer before the instance can
    // notice: its event loop does not run in between.
    Database other;
    ASSERT_TRUE(other.open(first.databasePath())) << other.errorString().toStdString();
    QSqlQuery cut(other.handle());
    ASSERT_TRUE(cut.exec(QStringLiteral("SELECT pg_terminate_backend(%1)").arg(listener)));
    AdStore otherAds(other);
    ASSERT_TRUE(otherAds.replaceAdsOf(
        kWatched, {makeAd(kWatched, kSite, QStringLiteral("断线时开区"), 1, QStringLiteral("20:00"))}));

    const auto list = watcher.next<MsgUserAdsChangeNtf>(15000);
    ASSERT_NE(list, nullptr) << log.lines().join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(list->body.ext().empty()) << list->body.ext();
    ASSERT_EQ(list->body.adslist_size(), 1);
    EXPECT_EQ(str(list->body.adslist(0).stradname()), QStringLiteral("断线时开区"));
    EXPECT_EQ(log.matching(QStringLiteral("listening for other instances' changes again")).size(), 1);
    // Once, and to logged-in clients alone.
    EXPECT_EQ(watcher.take(kMsgUserAdsChangeNtf, 500), nullptr);
    EXPECT_EQ(notLoggedIn.take(kMsgUserAdsChangeNtf, 0), nullptr);

    // It listens again: the next change through another writer comes as usual.
    ASSERT_TRUE(otherAds.replaceAdsOf(
        kWatched, {makeAd(kWatched, kSite, QStringLiteral("恢复后"), 1, QStringLiteral("20:00"))}));
    const auto change = watcher.next<MsgUserAdsChangeNtf>(5000);
    ASSERT_NE(change, nullptr);
    EXPECT_EQ(str(change->body.ext()), kWatched);
}

// The database outlives a change feed; opening it again afterwards must not
// call into the feed that is gone.
TEST_F(SharedDatabaseTest, AFeedThatIsGoneIsNotCalledAfterAReconnect)
{
    Database db;
    ASSERT_TRUE(db.open(first.databasePath())) << db.errorString().toStdString();
    int resynced = 0;
    {
        ChangeFeed feed(db);
        ASSERT_TRUE(feed.start());
        QObject::connect(&feed, &ChangeFeed::resynced, [&] { ++resynced; });
        ASSERT_TRUE(db.reconnect());
        EXPECT_EQ(resynced, 1);
    }
    // Reconnects are at most one a second.
    EXPECT_TRUE(ServiceTest::waitFor([&] { return db.reconnect(); }, 5000));
    EXPECT_EQ(resynced, 1);
}
