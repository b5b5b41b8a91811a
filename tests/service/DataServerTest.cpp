#include <gtest/gtest.h>

#include <QDateTime>
#include <QElapsedTimer>
#include <QTcpSocket>

#include <map>

#include "service/store/AccountStore.h"
#include "service/search/AdStore.h"
#include "service/data/DataServer.h"
#include "net/FrameCutter.h"
#include "service/data/DataMessages.h"
#include "tests/support/NonReadingPeer.h"
#include "tests/support/ServiceTestSupport.h"
#include "webproto/WebText.h"

using namespace ServiceTest;

namespace {

const QString kWatched = QStringLiteral("http://www.watched.example");
const QString kOther = QStringLiteral("http://www.other.example");
const QString kSiteA = QStringLiteral("飞鹰发布站");
const QString kSiteB = QStringLiteral("龙门发布网");

QString str(const std::string &s)
{
    return QString::fromStdString(s);
}

class DataServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        configure(service.options.limits);
        ASSERT_TRUE(service.start()) << service->errorString().toStdString();
        accountId = seedAccount(service, sampleAccount(QStringLiteral("alice"), QStringLiteral("secret1")));
        ASSERT_NE(accountId, 0);
        ASSERT_TRUE(service->accounts().putAddress(
            accountId, {kWatched, QStringLiteral("1"), QStringLiteral("r"), QStringLiteral("1"), 0}));
        SiteRecord siteA;
        siteA.name = kSiteA;
        siteA.urls =
            QStringList{QStringLiteral("http://www.a.example/"), QStringLiteral("http://fb.a.example/")};
        SiteRecord siteB;
        siteB.name = kSiteB;
        siteB.urls = QStringList{QStringLiteral("http://www.b.example/")};
        ASSERT_TRUE(service->ads().replaceSites({siteA, siteB}));
        QList<AdRecord> ads;
        ads << makeAd(kWatched, kSiteA, QStringLiteral("雷霆1.76复古一区"), 0, QStringLiteral("19:30"))
            << makeAd(kWatched, kSiteB, QStringLiteral("雷霆1.76复古二区"), 5, QStringLiteral("通宵"));
        // 45 ads with 合击, on two sites, and a few without.
        for (int i = 0; i < 45; ++i)
            ads << makeAd(kOther, i % 3 ? kSiteA : kSiteB, QStringLiteral("龙腾合击%1区").arg(i), i % 10,
                          i < 20 ? QStringLiteral("10:30") : QStringLiteral("全天固顶"));
        for (int i = 0; i < 5; ++i)
            ads << makeAd(kOther, kSiteA, QStringLiteral("神龙复古"), 1, QStringLiteral("08:00"));
        ASSERT_TRUE(service->ads().addAds(ads));
        ASSERT_TRUE(service->ads().addForwards(forwards()));
        QList<HistoryRecord> history;
        for (int i = 0; i < 23; ++i)
            history << HistoryRecord{kWatched, QStringLiteral("www.watched.example"), kSiteA,
                                     QStringLiteral("12月01日/19:30"), 2};
        ASSERT_TRUE(service->ads().addHistory(history));
    }

    static QList<ForwardRecord> forwards()
    {
        QList<ForwardRecord> rows;
        for (int i = 0; i < 30; ++i)
            rows << ForwardRecord{
                kWatched + QStringLiteral("/%1").arg(i), QStringLiteral("www.watched.example"),
                QStringLiteral("http://jump%1.example/").arg(i), QStringLiteral("jump%1.example").arg(i),
                QStringLiteral("2024-12-%1 10:00:00").arg(10 + i % 10)};
        rows << ForwardRecord{kOther, QStringLiteral("www.other.example"),
                              QStringLiteral("http://x.example/"), QStringLiteral("x.example"),
                              QStringLiteral("2024-12-01 10:00:00")};
        return rows;
    }

    std::unique_ptr<MsgUserSearchAdsAck> searchAds(DataClient &client, const QString &key, int index,
                                                   const QString &adWeb = QStringLiteral("1"))
    {
        MsgUserSearchAdsReq req;
        req.body.set_key(key.toStdString());
        req.body.set_index(index);
        req.body.set_adweb(adWeb.toStdString());
        client.send(req);
        return client.next<MsgUserSearchAdsAck>();
    }

    virtual void configure(ServiceLimits &) {}

    LocalService service;
    qint64 accountId = 0;
};

TEST_F(DataServerTest, GreetsEveryConnectionFirst)
{
    DataClient client(service->dataPort());
    ASSERT_NE(client.next<MsgConnected>(), nullptr);
    EXPECT_TRUE(client.pendingTypes().empty());
}

TEST_F(DataServerTest, LoginIsFollowedByTheAdsOfTheMonitoredAddresses)
{
    DataClient client(service->dataPort());
    ASSERT_NE(client.next<MsgConnected>(), nullptr);
    client.sendLogIn(QStringLiteral("alice"), QStringLiteral("secret1"));
    const auto ack = client.next<MsgUserLoginAck>();
    ASSERT_NE(ack, nullptr);
    EXPECT_EQ(ack->body.code(), 0);
    const auto ntf = client.next<MsgUserAdsChangeNtf>();
    ASSERT_NE(ntf, nullptr);
    EXPECT_EQ(ntf->body.ext(), "");
    ASSERT_EQ(ntf->body.adslist_size(), 2);
    for (const auto &ad : ntf->body.adslist())
        EXPECT_EQ(str(ad.strgameweb()), kWatched);
    EXPECT_EQ(str(ntf->body.adslist(0).stradname()), QStringLiteral("雷霆1.76复古一区"));
}

TEST_F(DataServerTest, BadLoginsAreRefusedWithoutNotification)
{
    for (const auto &[user, password] :
         {std::pair("alice", "wrong"), std::pair("nobody", "secret1"), std::pair("", "")}) {
        DataClient client(service->dataPort());
        ASSERT_NE(client.next<MsgConnected>(), nullptr);
        MsgUserLoginReq req;
        req.body.set_username(user);
        req.body.set_password(password);
        client.send(req);
        const auto ack = client.next<MsgUserLoginAck>();
        ASSERT_NE(ack, nullptr);
        EXPECT_NE(ack->body.code(), 0) << user;
        // Nothing is answered for a connection that is not logged in.
        client.send(*std::make_unique<MsgGetAdvertisingWebInfoReq>());
        MsgAllHeartBeatNtf beat;
        client.send(beat);
        EXPECT_EQ(client.next<MsgGetAdvertisingWebInfoNtf>(300), nullptr);
        EXPECT_EQ(client.take(kMsgUserAdsChangeNtf, 0), nullptr);
    }
}

TEST_F(DataServerTest, CatalogueComesBeforeItsAcknowledgement)
{
    DataClient client(service->dataPort());
    ASSERT_TRUE(client.logIn(QStringLiteral("alice"), QStringLiteral("secret1")));
    MsgGetAdvertisingWebInfoReq req;
    client.send(req);
    ASSERT_TRUE(waitFor([&] { return client.pendingTypes().size() >= 2; }));
    EXPECT_EQ(client.pendingTypes(),
              (std::vector<int>{kMsgGetAdvertisingWebInfoNtf, kMsgGetAdvertisingWebInfoAck}));
    const auto ntf = client.next<MsgGetAdvertisingWebInfoNtf>();
    ASSERT_EQ(ntf->body.weblist_size(), 2);
    const auto &a = ntf->body.weblist(0);
    EXPECT_EQ(str(a.strwebmain()), kSiteA);
    EXPECT_EQ(a.hweburldetai_size(), 2);
    EXPECT_EQ(a.iadcount(), 1 + 30 + 5);
    EXPECT_EQ(ntf->body.weblist(1).iadcount(), 1 + 15);
}

TEST_F(DataServerTest, AdSearchPagesFromOneAndStopsOnTheLastPage)
{
    DataClient client(service->dataPort());
    ASSERT_TRUE(client.logIn(QStringLiteral("alice"), QStringLiteral("secret1")));
    QSet<QString> seen;
    for (int index = 1; index <= 3; ++index) {
        const auto ack = searchAds(client, QStringLiteral("合击"), index);
        ASSERT_NE(ack, nullptr);
        EXPECT_EQ(ack->body.count(), 45);
        EXPECT_EQ(ack->body.adslist_size(), index < 3 ? 20 : 5);
        EXPECT_EQ(ack->body.seachtype(), index < 3 ? 0 : 1) << index;
        for (const auto &ad : ack->body.adslist())
            seen.insert(str(ad.stradname()));
        if (index == 1) {
            int sum = 0;
            for (const auto &c : ack->body.adslistcount())
                sum += c.icount();
            EXPECT_EQ(sum, 45);
        }
    }
    EXPECT_EQ(seen.size(), 45);

    const auto single = searchAds(client, QStringLiteral("神龙复古"), 1);
    EXPECT_EQ(single->body.count(), 5);
    EXPECT_EQ(single->body.seachtype(), 1);
    ASSERT_EQ(single->body.adslistcount_size(), 1);
    EXPECT_EQ(single->body.adslistcount(0).icount(), 5);
    EXPECT_EQ(str(single->body.adslistcount(0).stradvertisingweb()), kSiteA);
}

TEST_F(DataServerTest, AdSearchFiltersByDateTimeAndSites)
{
    DataClient client(service->dataPort());
    ASSERT_TRUE(client.logIn(QStringLiteral("alice"), QStringLiteral("secret1")));
    const QString day3 = QDate::currentDate().addDays(3).toString(QStringLiteral("MM/dd"));
    // Ads i = 3, 13, 23, 33, 43 open on day 3; those below 20 at 10:30.
    EXPECT_EQ(searchAds(client, QStringLiteral("合击\\") + day3, 1)->body.count(), 5);
    EXPECT_EQ(searchAds(client, QStringLiteral("合击\\") + day3 + QStringLiteral("\\10:30"), 1)->body.count(),
              2);
    EXPECT_EQ(searchAds(client, QStringLiteral("合击\\") + day3 + QStringLiteral(" 10:30"), 1)->body.count(),
              2);
    EXPECT_EQ(searchAds(client, QStringLiteral("合击\\全天固顶"), 1)->body.count(), 25);
    EXPECT_EQ(searchAds(client, QStringLiteral("合击"), 1, kSiteB)->body.count(), 15);
    EXPECT_EQ(
        searchAds(client, QStringLiteral("合击"), 1, kSiteA + QStringLiteral("~") + kSiteB)->body.count(),
        45);
    EXPECT_EQ(searchAds(client, QStringLiteral("合击"), 1, QString())->body.count(), 45);
    EXPECT_EQ(searchAds(client, QStringLiteral("合击\\雷霆"), 1)->body.count(), 0);
    const auto both = searchAds(client, QStringLiteral("1.76\\复古"), 1);
    ASSERT_EQ(both->body.count(), 2);
    EXPECT_EQ(str(both->body.adslist(1).stropentime()),
              QDate::currentDate().addDays(5).toString(QStringLiteral("MM月dd日/")) + QStringLiteral("通宵"));
}

TEST_F(DataServerTest, RedirectAndHistorySearchesPageFromZero)
{
    DataClient client(service->dataPort());
    ASSERT_TRUE(client.logIn(QStringLiteral("alice"), QStringLiteral("secret1")));
    int forwardRows = 0;
    for (int index = 0; index < 2; ++index) {
        MsgUserSearchForwardReq req;
        req.body.set_key("watched.example");
        req.body.set_index(index);
        client.send(req);
        const auto ack = client.next<MsgUserSearchForwardAck>();
        ASSERT_NE(ack, nullptr);
        EXPECT_EQ(ack->body.count(), 30);
        forwardRows += ack->body.forwardlist_size();
        if (index == 0) {
            EXPECT_EQ(str(ack->body.forwardlist(0).updatetime()).left(10), QStringLiteral("2024-12-19"));
        }
    }
    EXPECT_EQ(forwardRows, 30);

    MsgUserSearchHisReq his;
    his.body.set_key("WWW.WATCHED.EXAMPLE");
    his.body.set_index(1);
    client.send(his);
    const auto ack = client.next<MsgUserSearchHisAck>();
    ASSERT_NE(ack, nullptr);
    EXPECT_EQ(ack->body.count(), 23);
    ASSERT_EQ(ack->body.adslist_size(), 3);
    EXPECT_EQ(ack->body.adslist(0).iadcount(), 2);
    EXPECT_EQ(str(ack->body.adslist(0).strgameweb()), kWatched);
}

// Searches run on the event loop (0) or on search threads: the same answers,
// sent in the order they were asked for.
class SearchThreadsTest : public DataServerTest, public ::testing::WithParamInterface<int> {
protected:
    void configure(ServiceLimits &limits) override { limits.searchThreads = GetParam(); }
};

TEST_P(SearchThreadsTest, AnswersLeaveInTheOrderAskedWithTheSameContent)
{
    DataClient client(service->dataPort());
    ASSERT_TRUE(client.logIn(QStringLiteral("alice"), QStringLiteral("secret1")));
    MsgUserSearchHisReq his;
    his.body.set_key("watched.example");
    his.body.set_index(0);
    MsgUserSearchAdsReq firstPage;
    firstPage.body.set_key("合击");
    firstPage.body.set_index(1);
    firstPage.body.set_adweb("1");
    MsgUserSearchForwardReq forwards;
    forwards.body.set_key("watched.example");
    forwards.body.set_index(1);
    MsgUserSearchAdsReq lastPage = firstPage;
    lastPage.body.set_index(3);
    for (MsgHeader *req : std::initializer_list<MsgHeader *>{&his, &firstPage, &forwards, &lastPage})
        client.send(*req);
    ASSERT_TRUE(waitFor([&] { return client.pendingTypes().size() >= 4; }, 10000));
    EXPECT_EQ(client.pendingTypes(), (std::vector<int>{kMsgUserSearchHisAck, kMsgUserSearchAdsAck,
                                                       kMsgUserSearchForwardAck, kMsgUserSearchAdsAck}));

    const auto hisAck = client.next<MsgUserSearchHisAck>();
    EXPECT_EQ(hisAck->body.count(), 23);
    EXPECT_EQ(hisAck->body.adslist_size(), 20);
    const auto first = client.next<MsgUserSearchAdsAck>();
    EXPECT_EQ(first->body.count(), 45);
    EXPECT_EQ(first->body.adslist_size(), 20);
    EXPECT_GT(first->body.adslistcount_size(), 0);
    EXPECT_EQ(first->body.seachtype(), 0);
    const auto forwardAck = client.next<MsgUserSearchForwardAck>();
    EXPECT_EQ(forwardAck->body.count(), 30);
    EXPECT_EQ(forwardAck->body.forwardlist_size(), 10);
    const auto last = client.next<MsgUserSearchAdsAck>();
    EXPECT_EQ(last->body.adslist_size(), 5);
    EXPECT_EQ(last->body.adslistcount_size(), 0);
    EXPECT_EQ(last->body.seachtype(), 1);
}

INSTANTIATE_TEST_SUITE_P(OnTheLoopAndOnThreads, SearchThreadsTest, ::testing::Values(0, 2));

TEST_F(DataServerTest, AddDomainNotifiesEveryConnectionOfThatUser)
{
    DataClient first(service->dataPort());
    DataClient second(service->dataPort());
    DataClient stranger(service->dataPort());
    AccountRecord bob;
    bob.user = QStringLiteral("bob");
    bob.password = QStringLiteral("pw");
    ASSERT_NE(service->accounts().save(bob), 0);
    ASSERT_TRUE(first.logIn(QStringLiteral("alice"), QStringLiteral("secret1")));
    ASSERT_TRUE(second.logIn(QStringLiteral("alice"), QStringLiteral("secret1")));
    ASSERT_TRUE(stranger.logIn(QStringLiteral("bob"), QStringLiteral("pw")));

    const QByteArray query = signedQuery(QStringLiteral("alice"), QStringLiteral("secret1"),
                                         QStringLiteral("2"), QDateTime::currentSecsSinceEpoch()) +
                             "&monitor_url=" + encodeValue(kOther) +
                             "&monitor_type=3&monitor_remark=x&monitor_publishing=" + encodeValue(kSiteB) +
                             "&jinminhou=0";
    const HttpResult add = httpGet(service.webUrl(
        QStringLiteral("/tongji/common_login_for_monitor/add_domain.asp?") + QString::fromLatin1(query)));
    ASSERT_EQ(add.status, 200);
    for (DataClient *client : {&first, &second}) {
        const auto ntf = client->next<MsgUserAdsChangeNtf>();
        ASSERT_NE(ntf, nullptr);
        EXPECT_EQ(str(ntf->body.ext()), kOther);
        int other = 0;
        for (const auto &ad : ntf->body.adslist()) {
            if (str(ad.strgameweb()) == kOther) {
                ++other;
                EXPECT_EQ(str(ad.stradvertisingweb()), kSiteB);
            }
        }
        EXPECT_EQ(other, 15); // only the chosen site
        EXPECT_EQ(ntf->body.adslist_size(), 2 + 15);
    }
    EXPECT_EQ(stranger.take(kMsgUserAdsChangeNtf, 300), nullptr);

    const HttpResult del = httpGet(service.webUrl(
        QStringLiteral("/tongji/common_login_for_monitor/del_domain.asp?") +
        QString::fromLatin1(signedQuery(QStringLiteral("alice"), QStringLiteral("secret1"),
                                        QStringLiteral("2"), QDateTime::currentSecsSinceEpoch()) +
                            "&monitor_url=" + encodeValue(kWatched))));
    ASSERT_EQ(del.status, 200);
    const auto gone = first.next<MsgUserAdsChangeNtf>();
    ASSERT_NE(gone, nullptr);
    EXPECT_EQ(str(gone->body.ext()), kWatched);
    EXPECT_EQ(gone->body.adslist_size(), 15);
}

TEST_F(DataServerTest, NewAdDataNotifiesWatchersWithTheChangedAddress)
{
    DataClient client(service->dataPort());
    ASSERT_TRUE(client.logIn(QStringLiteral("alice"), QStringLiteral("secret1")));
    ASSERT_TRUE(service->ads().replaceAdsOf(
        kWatched, {makeAd(kWatched, kSiteA, QStringLiteral("新区"), 1, QStringLiteral("20:00"))}));
    service->adsChanged({kWatched, kOther});
    const auto ntf = client.next<MsgUserAdsChangeNtf>();
    ASSERT_NE(ntf, nullptr);
    EXPECT_EQ(str(ntf->body.ext()), kWatched); // kOther is not watched by alice
    ASSERT_EQ(ntf->body.adslist_size(), 1);
    EXPECT_EQ(str(ntf->body.adslist(0).stradname()), QStringLiteral("新区"));
}

// Watchers of one address are told together: each with the ads of all of
// their own addresses, on their own choice of sites, on every connection.
TEST_F(DataServerTest, ChangeOfASharedAddressTellsEachWatcherOnTheirOwnSites)
{
    const auto makeUser = [this](const char *name, const QString &sites) {
        AccountRecord a;
        a.user = QString::fromLatin1(name);
        a.password = QStringLiteral("pw");
        const qint64 id = service->accounts().save(a);
        EXPECT_NE(id, 0);
        EXPECT_TRUE(service->accounts().putAddress(id, {kWatched, QStringLiteral("1"), {}, sites, 0}));
        return id;
    };
    const qint64 bob = makeUser("bob", kSiteA);
    makeUser("carol", kSiteB);
    ASSERT_TRUE(
        service->accounts().putAddress(bob, {kOther, QStringLiteral("1"), {}, QStringLiteral("1"), 0}));
    DataClient bobFirst(service->dataPort());
    DataClient bobSecond(service->dataPort());
    DataClient carol(service->dataPort());
    DataClient alice(service->dataPort());
    ASSERT_TRUE(bobFirst.logIn(QStringLiteral("bob"), QStringLiteral("pw")));
    ASSERT_TRUE(bobSecond.logIn(QStringLiteral("bob"), QStringLiteral("pw")));
    ASSERT_TRUE(carol.logIn(QStringLiteral("carol"), QStringLiteral("pw")));
    ASSERT_TRUE(alice.logIn(QStringLiteral("alice"), QStringLiteral("secret1")));

    ASSERT_TRUE(service->ads().replaceAdsOf(
        kWatched, {makeAd(kWatched, kSiteA, QStringLiteral("甲站新区"), 1, QStringLiteral("20:00")),
                   makeAd(kWatched, kSiteB, QStringLiteral("乙站新区"), 1, QStringLiteral("20:00"))}));
    service->adsChanged({kWatched});
    const auto names = [](const MsgUserAdsChangeNtf &ntf, const QString &web) {
        QStringList out;
        for (const auto &ad : ntf.body.adslist())
            if (str(ad.strgameweb()) == web)
                out << str(ad.stradname());
        out.sort();
        return out;
    };
    for (DataClient *client : {&bobFirst, &bobSecond}) {
        const auto ntf = client->next<MsgUserAdsChangeNtf>();
        ASSERT_NE(ntf, nullptr);
        EXPECT_EQ(str(ntf->body.ext()), kWatched);
        EXPECT_EQ(names(*ntf, kWatched), QStringList{QStringLiteral("甲站新区")});
        EXPECT_EQ(names(*ntf, kOther).size(), 50) << "all of bob's addresses";
    }
    const auto carols = carol.next<MsgUserAdsChangeNtf>();
    ASSERT_NE(carols, nullptr);
    EXPECT_EQ(names(*carols, kWatched), QStringList{QStringLiteral("乙站新区")});
    EXPECT_EQ(carols->body.adslist_size(), 1);
    const auto alices = alice.next<MsgUserAdsChangeNtf>();
    ASSERT_NE(alices, nullptr);
    EXPECT_EQ(names(*alices, kWatched).size(), 2);
    for (DataClient *client : {&bobFirst, &bobSecond, &carol, &alice})
        EXPECT_EQ(client->take(kMsgUserAdsChangeNtf, 200), nullptr) << "told once";
}

// A raw socket for sending what the client never would.
class RawPeer {
public:
    explicit RawPeer(quint16 port, const QString &from = QString())
    {
        if (!from.isEmpty())
            socket.bind(QHostAddress(from));
        QObject::connect(&socket, &QTcpSocket::connected, &socket, [this] { connected = true; });
        socket.connectToHost(QHostAddress::LocalHost, port);
        // A refused peer can be connected and closed again within one turn of
        // the event loop, so that ConnectedState is never there to be seen.
        waitFor([&] { return connected || socket.state() == QAbstractSocket::UnconnectedState; });
    }
    bool closedByServer(int timeoutMs = 5000)
    {
        return waitFor(
            [&] {
                socket.readAll();
                return socket.state() == QAbstractSocket::UnconnectedState;
            },
            timeoutMs);
    }
    void sendHeader(int32_t length, int32_t type, const QByteArray &body = {})
    {
        QByteArray frame(12, '\0');
        writeLe32(frame.data(), length);
        writeLe32(frame.data() + 4, type);
        socket.write(frame + body);
    }
    void sendMessage(MsgHeader &msg) { socket.write(encodeFrame(msg)); }
    void logIn()
    {
        MsgUserLoginReq req;
        req.body.set_username("alice");
        req.body.set_password("secret1");
        sendMessage(req);
    }
    // Reads what has arrived and counts the frames of each type.
    void readFrames()
    {
        const QByteArray bytes = socket.readAll();
        cutter.append(bytes.constData(), size_t(bytes.size()));
        cutter.cut([this](const char *frame, int) { ++framesOfType[readLe32(frame + 4)]; });
    }
    // count frames of the type arrived (true), or the wait ended first.
    bool receive(int type, int count, int timeoutMs = 10000)
    {
        return waitFor(
                   [&] {
                       readFrames();
                       return framesOfType[type] >= count ||
                              socket.state() == QAbstractSocket::UnconnectedState;
                   },
                   timeoutMs) &&
               framesOfType[type] >= count;
    }
    // The greeting arrived (true) or the server closed the connection first.
    bool greeted()
    {
        waitFor([&] {
            readFrames();
            return framesOfType[kMsgConnected] > 0 || socket.state() == QAbstractSocket::UnconnectedState;
        });
        return framesOfType[kMsgConnected] > 0;
    }
    QTcpSocket socket;
    bool connected = false;
    FrameCutter cutter;
    std::map<int, int> framesOfType;
};

QByteArray searchFrame(const char *key)
{
    MsgUserSearchAdsReq req;
    req.body.set_key(key);
    req.body.set_index(1);
    req.body.set_adweb("1");
    return encodeFrame(req);
}

TEST_F(DataServerTest, BadFramesCloseOnlyTheirOwnConnection)
{
    DataClient good(service->dataPort());
    ASSERT_TRUE(good.logIn(QStringLiteral("alice"), QStringLiteral("secret1")));

    struct Bad {
        const char *name;
        int32_t length;
        int32_t type;
        QByteArray body;
    };
    const QByteArray garbage("\xff\xff\xff\xff\xff", 5);
    for (const Bad &bad : {Bad{"short", 5, kMsgUserLoginReq, {}}, Bad{"negative", -1, kMsgUserLoginReq, {}},
                           Bad{"huge", kMaxFrameLength + 1, kMsgUserSearchAdsReq, {}},
                           Bad{"large before login", ServiceLimits().preLoginFrameBytes + 1, 17, {}},
                           Bad{"unparsable", 12 + 5, kMsgUserSearchAdsReq, garbage}}) {
        RawPeer peer(service->dataPort());
        ASSERT_TRUE(peer.connected);
        peer.sendHeader(bad.length, bad.type, bad.body);
        EXPECT_TRUE(peer.closedByServer()) << bad.name;
    }

    // An unknown type is skipped and the connection goes on.
    RawPeer unknown(service->dataPort());
    unknown.sendHeader(12, 17);
    unknown.sendHeader(12, kMsgAllHeartBeatNtf);
    EXPECT_FALSE(unknown.closedByServer(300));

    const auto ack = searchAds(good, QStringLiteral("神龙复古"), 1);
    ASSERT_NE(ack, nullptr);
    EXPECT_EQ(ack->body.count(), 5);
}

TEST_F(DataServerTest, HostileInputKeepsTheLogShortAndOneEventPerLine)
{
    LogCapture log;
    // 12 kB of frames of an unknown type: one connection's lines are capped.
    RawPeer junk(service->dataPort());
    ASSERT_TRUE(junk.connected);
    for (int i = 0; i < 1000; ++i)
        junk.sendHeader(12, 777);
    ASSERT_TRUE(waitFor([&] { return log.matching(QStringLiteral("type 777")).size() >= 3; }));
    // A frame after the junk shows that all of it has been read.
    DataClient client(service->dataPort());
    ASSERT_TRUE(client.logIn(QStringLiteral("alice"), QStringLiteral("secret1")));
    EXPECT_LE(log.matching(QStringLiteral("type 777")).size(), ServiceLimits().logLines);

    // A user name with a line break and a huge search key.
    MsgUserLoginReq forged;
    forged.body.set_username("x\n2024-01-01 00:00:00.000 data #1 127.0.0.1:1 login root accepted");
    forged.body.set_password("pw");
    DataClient forger(service->dataPort());
    ASSERT_NE(forger.next<MsgConnected>(), nullptr);
    forger.send(forged);
    ASSERT_NE(forger.next<MsgUserLoginAck>(), nullptr);
    const QString hugeKey(50000, QLatin1Char('k')); // as much as the client sends in one frame
    MsgUserSearchForwardReq search;
    search.body.set_key(hugeKey.toStdString());
    client.send(search);
    ASSERT_NE(client.next<MsgUserSearchForwardAck>(), nullptr);

    const QStringList lines = log.lines();
    qsizetype bytes = 0;
    for (const QString &line : lines) {
        EXPECT_FALSE(line.contains(QLatin1Char('\n'))) << line.toStdString();
        EXPECT_FALSE(line.contains(QStringLiteral("login root accepted")) &&
                     !line.contains(QStringLiteral("\\n")))
            << line.toStdString();
        EXPECT_LT(line.size(), 2 * ServiceLimits().logValueChars + 200) << line.left(300).toStdString();
        bytes += line.toUtf8().size();
    }
    EXPECT_EQ(log.matching(QStringLiteral("login x\\n2024")).size(), 1);
    // Far less than the 12 kB that came in.
    EXPECT_LT(bytes, 12 * 1024);
}

TEST_F(DataServerTest, LargeFrameIsSkippedAfterLogin)
{
    RawPeer peer(service->dataPort());
    ASSERT_TRUE(peer.greeted());
    peer.logIn();
    ASSERT_TRUE(peer.receive(kMsgUserAdsChangeNtf, 1));
    peer.sendHeader(12 + (1 << 20), 17, QByteArray(1 << 20, 'x'));
    peer.socket.write(searchFrame("神龙复古"));
    EXPECT_TRUE(peer.receive(kMsgUserSearchAdsAck, 1));
    EXPECT_EQ(peer.socket.state(), QAbstractSocket::ConnectedState);
}

// Small limits, so that deadlines pass and output backs up quickly.
class DataServerLimitsTest : public DataServerTest {
protected:
    void configure(ServiceLimits &limits) override
    {
        limits.dataIdleTimeoutMs = 600;
        limits.loginDeadlineMs = 600;
        limits.framesPerTurn = 4;
        limits.outputPauseBytes = 16 * 1024;
        limits.dataOutputCapBytes = 128 * 1024;
    }
};

TEST_F(DataServerLimitsTest, SilentConnectionIsClosedAndHeartbeatsKeepOneOpen)
{
    RawPeer silent(service->dataPort());
    RawPeer beating(service->dataPort());
    ASSERT_TRUE(silent.connected && beating.connected);
    silent.logIn();
    beating.logIn();
    QElapsedTimer sinceBeat;
    sinceBeat.start();
    const bool silentClosed = waitFor([&] {
        if (sinceBeat.elapsed() > 150) {
            beating.sendHeader(12, kMsgAllHeartBeatNtf);
            sinceBeat.restart();
        }
        silent.socket.readAll();
        beating.socket.readAll();
        return silent.socket.state() == QAbstractSocket::UnconnectedState;
    });
    EXPECT_TRUE(silentClosed);
    // Both were opened together, so the beating one has outlived the interval.
    EXPECT_EQ(beating.socket.state(), QAbstractSocket::ConnectedState);
}

TEST_F(DataServerLimitsTest, HeartbeatsAndRefusedLoginsDoNotPutOffTheLoginDeadline)
{
    RawPeer beating(service->dataPort());
    RawPeer guessing(service->dataPort());
    ASSERT_TRUE(beating.connected && guessing.connected);
    QElapsedTimer sinceBeat;
    sinceBeat.start();
    const bool bothClosed = waitFor([&] {
        if (sinceBeat.elapsed() > 100) {
            beating.sendHeader(12, kMsgAllHeartBeatNtf);
            MsgUserLoginReq wrong;
            wrong.body.set_username("alice");
            wrong.body.set_password("guess");
            guessing.sendMessage(wrong);
            sinceBeat.restart();
        }
        beating.socket.readAll();
        guessing.socket.readAll();
        return beating.socket.state() == QAbstractSocket::UnconnectedState &&
               guessing.socket.state() == QAbstractSocket::UnconnectedState;
    });
    EXPECT_TRUE(bothClosed);
}

// Far more answers than the output cap, asked for in one write: the server
// stops reading while they wait instead of dropping the peer, and serves
// others meanwhile.
TEST_F(DataServerLimitsTest, FloodOfSearchesIsHeldBackNotDroppedAndOthersAreServed)
{
    constexpr int kSearches = 600;
    RawPeer flooder(service->dataPort());
    ASSERT_TRUE(flooder.greeted());
    flooder.logIn();
    ASSERT_TRUE(flooder.receive(kMsgUserAdsChangeNtf, 1));
    QByteArray flood;
    for (int i = 0; i < kSearches; ++i)
        flood += searchFrame("合击");
    flooder.socket.write(flood);

    // The flooder reads nothing while another client logs in and searches.
    DataClient other(service->dataPort());
    ASSERT_TRUE(other.logIn(QStringLiteral("alice"), QStringLiteral("secret1")));
    const auto ack = searchAds(other, QStringLiteral("神龙复古"), 1);
    ASSERT_NE(ack, nullptr);
    EXPECT_EQ(ack->body.count(), 5);
    EXPECT_EQ(flooder.socket.state(), QAbstractSocket::ConnectedState);

    EXPECT_TRUE(flooder.receive(kMsgUserSearchAdsAck, kSearches, 60000))
        << flooder.framesOfType[kMsgUserSearchAdsAck];
    EXPECT_EQ(flooder.socket.state(), QAbstractSocket::ConnectedState);
}

// Caps shared by both servers, overall and per address (127.0.0.x are all loopback).
class ConnectionCapsTest : public DataServerTest {
protected:
    void configure(ServiceLimits &limits) override
    {
        limits.maxConnectionsPerAddress = 2;
        limits.maxConnections = 4;
        // The admitted peers never log in; they must stay for the whole test.
        limits.loginDeadlineMs = 120000;
    }
};

TEST_F(ConnectionCapsTest, ClientsPastTheCapsAreRefusedAtOnce)
{
    const quint16 port = service->dataPort();
    RawPeer first(port, QStringLiteral("127.0.0.1"));
    RawPeer second(port, QStringLiteral("127.0.0.1"));
    ASSERT_TRUE(first.greeted());
    ASSERT_TRUE(second.greeted());
    RawPeer thirdFromOne(port, QStringLiteral("127.0.0.1"));
    EXPECT_FALSE(thirdFromOne.greeted());
    EXPECT_TRUE(thirdFromOne.closedByServer());

    RawPeer fromTwo(port, QStringLiteral("127.0.0.2"));
    RawPeer fromThree(port, QStringLiteral("127.0.0.3"));
    ASSERT_TRUE(fromTwo.greeted());
    ASSERT_TRUE(fromThree.greeted());
    RawPeer overall(port, QStringLiteral("127.0.0.4"));
    EXPECT_FALSE(overall.greeted());
}

// Frames many times the output cap: the login's complete list and a search
// page of ads with long names.
class DataServerLargeFrameTest : public DataServerTest {
protected:
    static constexpr int kLongAds = 300;

    void configure(ServiceLimits &limits) override
    {
        limits.outputPauseBytes = 2 * 1024;
        limits.dataOutputCapBytes = 4 * 1024;
        limits.outputStallMs = stallMs();
        limits.dataIdleTimeoutMs = 10 * 60 * 1000;
        limits.loginDeadlineMs = 10 * 60 * 1000;
    }
    virtual int stallMs() const { return ServiceLimits().outputStallMs; }

    void SetUp() override
    {
        DataServerTest::SetUp();
        QList<AdRecord> ads;
        for (int i = 0; i < kLongAds; ++i)
            ads << makeAd(kWatched, kSiteA, QStringLiteral("长名广告%1").arg(i) + QString(150, QChar(0x9F99)),
                          i % 5, QStringLiteral("19:30"));
        ASSERT_TRUE(service->ads().addAds(ads));
    }
};

TEST_F(DataServerLargeFrameTest, ReadingClientGetsItsCompleteListAndSearchPagesWhole)
{
    const qint64 cap = service->options().limits.dataOutputCapBytes;
    DataClient client(service->dataPort());
    ASSERT_NE(client.next<MsgConnected>(), nullptr);
    client.sendLogIn(QStringLiteral("alice"), QStringLiteral("secret1"));
    const auto ack = client.next<MsgUserLoginAck>();
    ASSERT_NE(ack, nullptr);
    EXPECT_EQ(ack->body.code(), 0);
    const auto list = client.next<MsgUserAdsChangeNtf>();
    ASSERT_NE(list, nullptr) << "the complete list did not arrive";
    EXPECT_EQ(list->body.adslist_size(), kLongAds + 2);
    EXPECT_GT(qint64(list->body.ByteSizeLong()), 10 * cap);

    const auto page = searchAds(client, QStringLiteral("长名广告"), 1);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->body.count(), kLongAds);
    EXPECT_EQ(page->body.adslist_size(), 20);
    EXPECT_GT(qint64(page->body.ByteSizeLong()), cap);
    EXPECT_EQ(service->data().connectionCount(), 1);
}

class DataServerStallTest : public DataServerLargeFrameTest {
protected:
    int stallMs() const override { return 300; }
};

TEST_F(DataServerStallTest, PeerThatStopsTakingItsListIsDropped)
{
    LogCapture log;
    NonReadingPeer peer;
    ASSERT_TRUE(peer.open(
        service->dataPort(), [&] { return service->data().connectionCount(); }, false));
    MsgUserLoginReq login;
    login.body.set_username("alice");
    login.body.set_password("secret1");
    const QByteArray frame = encodeFrame(login);
    peer.sendMore(frame);
    ASSERT_EQ(peer.sent, frame.size());
    // Neither its login deadline nor its idle timeout is near.
    EXPECT_TRUE(waitFor([&] { return service->data().connectionCount() == 0; }, 20000));
    EXPECT_EQ(log.matching(QStringLiteral("none taken within 300 ms")).size(), 1)
        << log.lines().join(QLatin1Char('\n')).toStdString();
}

} // namespace
