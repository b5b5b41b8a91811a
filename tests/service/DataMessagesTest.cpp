#include <gtest/gtest.h>

#include <QDate>

#include "service/search/AdStore.h"
#include "service/data/DataMessages.h"
#include "service/store/ServiceRecords.h"

using namespace DataMessages;

namespace {

// Every record field carries a value of its own, so that a field written
// into the wrong place, or not at all, shows.
TEST(DataMessagesTest, RecordFieldsLandInTheirOwnMessageFields)
{
    AdRecord ad;
    ad.site = QStringLiteral("飞鹰发布站");
    ad.adName = QStringLiteral("雷霆复古");
    ad.ip = QStringLiteral("10.0.0.7");
    ad.openDay = QDate(2024, 3, 9);
    ad.openSlot = QStringLiteral("19:30");
    ad.otherInfo = QStringLiteral("其它");
    ad.adCount = 7;
    Proto::OneAdInfo adInfo;
    fillAd(&adInfo, QStringLiteral("http://game.example"), ad);
    EXPECT_EQ(fromUtf8(adInfo.strgameweb()), QStringLiteral("http://game.example"));
    EXPECT_EQ(fromUtf8(adInfo.stradvertisingweb()), ad.site);
    EXPECT_EQ(fromUtf8(adInfo.stradname()), ad.adName);
    EXPECT_EQ(fromUtf8(adInfo.strip()), ad.ip);
    EXPECT_EQ(fromUtf8(adInfo.stropentime()), QStringLiteral("03月09日/19:30"));
    EXPECT_EQ(fromUtf8(adInfo.strotherinfo()), ad.otherInfo);
    EXPECT_EQ(adInfo.iadcount(), 7);

    SiteRecord site;
    site.name = QStringLiteral("龙门发布网");
    site.domain = QStringLiteral("longmen.example");
    site.urls = {QStringLiteral("http://a.longmen.example"), QStringLiteral("http://b.longmen.example")};
    site.startType = 2;
    site.updateTime = 1700000000;
    site.sizeReal = 3;
    site.adCount = 41;
    site.extInfo = QStringLiteral("ext");
    Proto::AdvertisingWebInfo siteInfo;
    fillSite(&siteInfo, site);
    EXPECT_EQ(fromUtf8(siteInfo.strwebmain()), site.name);
    EXPECT_EQ(fromUtf8(siteInfo.strdomain()), site.domain);
    ASSERT_EQ(siteInfo.hweburldetai_size(), 2);
    EXPECT_EQ(fromUtf8(siteInfo.hweburldetai(0)), site.urls[0]);
    EXPECT_EQ(fromUtf8(siteInfo.hweburldetai(1)), site.urls[1]);
    EXPECT_EQ(siteInfo.istarttype(), 2);
    EXPECT_EQ(siteInfo.iupdatetime(), 1700000000);
    EXPECT_EQ(siteInfo.isizereal(), 3);
    EXPECT_EQ(siteInfo.iadcount(), 41);
    EXPECT_EQ(fromUtf8(siteInfo.strextinfo()), site.extInfo);

    const SiteTimeCount count{QStringLiteral("飞鹰发布站"), QStringLiteral("03月09日/通宵"), 5, {}, {}};
    Proto::OneAdInfoCount countInfo;
    fillAdCount(&countInfo, count);
    EXPECT_EQ(fromUtf8(countInfo.stradvertisingweb()), count.site);
    EXPECT_EQ(fromUtf8(countInfo.stropentime()), count.openTime);
    EXPECT_EQ(countInfo.icount(), 5);

    const ForwardRecord forward{QStringLiteral("http://main.example/x"), QStringLiteral("main.example"),
                                QStringLiteral("http://fwd.example/y"), QStringLiteral("fwd.example"),
                                QStringLiteral("2024-12-19 08:00:00")};
    Proto::ForwardInfo forwardInfo;
    fillForward(&forwardInfo, forward);
    EXPECT_EQ(fromUtf8(forwardInfo.mainurl()), forward.mainUrl);
    EXPECT_EQ(fromUtf8(forwardInfo.maindomain()), forward.mainDomain);
    EXPECT_EQ(fromUtf8(forwardInfo.forwardurl()), forward.forwardUrl);
    EXPECT_EQ(fromUtf8(forwardInfo.forwarddomain()), forward.forwardDomain);
    EXPECT_EQ(fromUtf8(forwardInfo.updatetime()), forward.updateTime);

    const HistoryRecord history{QStringLiteral("http://game.example"), QStringLiteral("game.example"),
                                QStringLiteral("龙门发布网"), QStringLiteral("03月01日/20:00"), 4};
    Proto::HisAdInfo historyInfo;
    fillHistory(&historyInfo, history);
    EXPECT_EQ(fromUtf8(historyInfo.strgameweb()), history.gameWeb);
    EXPECT_EQ(fromUtf8(historyInfo.strgamewebdomain()), history.gameDomain);
    EXPECT_EQ(fromUtf8(historyInfo.stradvertisingweb()), history.site);
    EXPECT_EQ(fromUtf8(historyInfo.stropentime()), history.openTime);
    EXPECT_EQ(historyInfo.iadcount(), 4);
}

TEST(DataMessagesTest, EncodedFrameCarriesItsLengthTypeAndBody)
{
    MsgUserLoginAck ack;
    ack.body.set_code(1);
    ack.body.set_info(utf8(QStringLiteral("用户名或密码错误")));
    const QByteArray frame = encodeFrame(ack);
    ASSERT_GT(frame.size(), kFrameHeaderSize);
    EXPECT_EQ(readLe32(frame.constData()), frame.size());
    EXPECT_EQ(readLe32(frame.constData() + 4), kMsgUserLoginAck);
    MsgUserLoginAck back;
    ASSERT_TRUE(parseBody(back, frame.constData(), int(frame.size())));
    EXPECT_EQ(back.body.code(), 1);
    EXPECT_EQ(fromUtf8(back.body.info()), QStringLiteral("用户名或密码错误"));

    MsgDisconnect bare;
    const QByteArray header = encodeFrame(bare);
    EXPECT_EQ(header.size(), kFrameHeaderSize);
    EXPECT_EQ(readLe32(header.constData()), kFrameHeaderSize);
}

} // namespace
