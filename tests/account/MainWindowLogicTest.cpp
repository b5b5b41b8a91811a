#include <gtest/gtest.h>

#include "account/DomainEditing.h"
#include "account/MainWindowLogic.h"
#include "net/message.pb.h"

using namespace MainWindowLogic;

namespace {

DomainRecord record(const QString &url, const QString &remind, int updateTime = 0)
{
    DomainRecord r;
    r.url = url;
    r.remindType = remind;
    r.updateTime = updateTime;
    return r;
}

void addAd(Proto::UserAdsChangeNtf &ntf, const char *game, const char *site, const char *time)
{
    Proto::OneAdInfo *ad = ntf.add_adslist();
    ad->set_strgameweb(game);
    ad->set_stradvertisingweb(site);
    ad->set_stropentime(time);
    ad->set_stradname("热血传奇");
}

AccountData watching(std::initializer_list<DomainRecord> records)
{
    AccountData state;
    for (const DomainRecord &r : records)
        state.domains[r.url] = r;
    return state;
}

TEST(ApplyAdsChange, CountsEachMonitoredAddressAcrossRunsAndStoresEveryAd)
{
    AccountData state = watching({record("http://a.com", "1", 5), record("http://b.com", "3", 5)});
    state.domains["http://a.com"].adCount = 99;
    Proto::UserAdsChangeNtf ntf; // Ext empty: every address with ads counts as changed
    addAd(ntf, "http://a.com", "站一", "12月10日/19:30");
    addAd(ntf, "http://a.com", "站一", "12月10日/19:30");
    addAd(ntf, "http://a.com", "站二", "12月11日/20:00");
    addAd(ntf, "http://c.com", "站一", "12月10日/19:30"); // not monitored: stored, counted nowhere
    addAd(ntf, "http://b.com", "站一", "12月10日/19:30");
    addAd(ntf, "http://a.com", "站二", "12月11日/20:00"); // A again after others

    const QStringList changed = applyAdsChange(state, ntf, 1000);
    EXPECT_TRUE(changed.isEmpty());
    EXPECT_EQ(state.domains["http://a.com"].adCount, 4);
    EXPECT_EQ(state.domains["http://b.com"].adCount, 1);
    EXPECT_EQ(state.domains["http://a.com"].updateTime, 1000);
    EXPECT_EQ(state.domains["http://b.com"].updateTime, 1000);
    EXPECT_EQ(state.adStore.at("http://c.com").at("站一").at("12月10日/19:30").size(), 1u);
    EXPECT_EQ(state.adStore.at("http://a.com").at("站二").at("12月11日/20:00").size(), 2u);
}

TEST(ApplyAdsChange, ExtNamesTheChangedAddressesOnly)
{
    AccountData state = watching({record("http://a.com", "2", 7), record("http://b.com", "1", 7)});
    state.adStore["http://old.com"]["x"]["y"].push_back({});
    Proto::UserAdsChangeNtf ntf;
    ntf.set_ext("http://a.com;;http://zzz.com;");
    addAd(ntf, "http://a.com", "站一", "t");
    addAd(ntf, "http://b.com", "站一", "t");

    EXPECT_EQ(applyAdsChange(state, ntf, 2000), (QStringList{"http://a.com", "http://zzz.com"}));
    EXPECT_EQ(state.domains["http://a.com"].updateTime, 2000);
    EXPECT_EQ(state.domains["http://b.com"].updateTime, 7) << "not named by Ext";
    EXPECT_EQ(state.adStore.count("http://old.com"), 0u) << "the store is replaced, not merged";
}

TEST(ApplyAdsChange, EmptyListClearsCountsButKeepsUpdateTimes)
{
    AccountData state = watching({record("http://a.com", "1", 7)});
    state.domains["http://a.com"].adCount = 3;
    Proto::UserAdsChangeNtf ntf;
    EXPECT_TRUE(applyAdsChange(state, ntf, 9).isEmpty());
    EXPECT_EQ(state.domains["http://a.com"].adCount, 0);
    EXPECT_EQ(state.domains["http://a.com"].updateTime, 7);
    EXPECT_TRUE(state.adStore.empty());
}

TEST(ApplyAdsChange, SecondNotificationShowsItsOwnTextsNotTheFirstOnes)
{
    AccountData state = watching({record("http://a.com", "1")});
    Proto::UserAdsChangeNtf first;
    addAd(first, "http://a.com", "站一", "t");
    addAd(first, "http://a.com", "站一", "t");
    first.mutable_adslist(0)->set_strip("1.1.1.1");
    first.mutable_adslist(1)->set_strip("2.2.2.2");
    applyAdsChange(state, first, 1);

    // Same address, site and opening time: the texts at each position change,
    // one disappears, one ad is new.
    Proto::UserAdsChangeNtf second;
    addAd(second, "http://a.com", "站一", "t");
    addAd(second, "http://a.com", "站一", "t");
    addAd(second, "http://a.com", "站一", "t");
    second.mutable_adslist(0)->set_strip("1.1.1.1");
    second.mutable_adslist(1)->set_stradname("王者归来");
    second.mutable_adslist(2)->set_strip("3.3.3.3");
    second.mutable_adslist(0)->clear_stradname();
    applyAdsChange(state, second, 2);

    const auto &ads = state.adStore.at("http://a.com").at("站一").at("t");
    ASSERT_EQ(ads.size(), 3u);
    EXPECT_EQ(ads[0].strIp, QStringLiteral("1.1.1.1"));
    EXPECT_TRUE(ads[0].strAdName.isEmpty());
    EXPECT_EQ(ads[1].strAdName, QStringLiteral("王者归来"));
    EXPECT_TRUE(ads[1].strIp.isEmpty());
    EXPECT_EQ(ads[2].strIp, QStringLiteral("3.3.3.3"));
    EXPECT_EQ(state.domains["http://a.com"].adCount, 3);
}

TEST(PopupText, ListsOnlyAddressesThatWantALocalReminder)
{
    const AccountData state = watching({record("http://a.com", "2"), record("http://b.com", "1"),
                                        record("http://c.com", "3"), record("http://d.com", "4")});
    EXPECT_EQ(popupTextFor(state, {"http://c.com", "http://a.com", "http://gone.com", "http://b.com"}),
              QStringLiteral("更新的网址:\r\nhttp://c.com\r\nhttp://b.com"));
    EXPECT_TRUE(popupTextFor(state, {"http://a.com", "http://d.com"}).isEmpty());
}

TEST(SiteRows, OneRowPerSiteAndOpeningTimeInOrdinalOrder)
{
    AccountData state;
    auto &sites = state.adStore["http://a.com"];
    sites["站B"]["20:00"].resize(2);
    sites["站A"]["19:30"].resize(1);
    sites["站A"]["08:00"].resize(3);
    sites["站A"]["empty"];
    const std::vector<OneAdDataCount> rows = siteRowsOf(state, "http://a.com");
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].strAdvertisingWeb + rows[0].strOpenTime + rows[0].strCount,
              QStringLiteral("站A08:003"));
    EXPECT_EQ(rows[1].strOpenTime, QStringLiteral("19:30"));
    EXPECT_EQ(rows[2].strAdvertisingWeb + rows[2].strCount, QStringLiteral("站B2"));
    EXPECT_EQ(rows[2].iCount, 0);
    EXPECT_TRUE(siteRowsOf(state, "http://A.com").empty());
}

TEST(DomainRowTexts, ReminderJinminhouCountsAndTime)
{
    DomainRecord r = record("http://a.com", "5");
    r.remark = "备注";
    EXPECT_EQ(domainRowTexts(r), (QStringList{"http://a.com", "备注", "", "否", "0", ""}));
    r.remindType = "2";
    r.jinminhou = 1;
    r.adCount = 12;
    r.updateTime = 1;
    const QStringList texts = domainRowTexts(r);
    EXPECT_EQ(texts[2], QStringLiteral("QQ提醒"));
    EXPECT_EQ(texts[3], QStringLiteral("是"));
    EXPECT_EQ(texts[4], QStringLiteral("12"));
    EXPECT_EQ(texts[5], formatLocalTime(1));
    for (const char *code : {"1", "2", "3", "4"})
        EXPECT_EQ(remindTypeCode(remindTypeText(code)), QString(code));
    EXPECT_TRUE(remindTypeCode("随便").isEmpty());
}

TEST(PlanModify, SendsOnlyWhatChanged)
{
    const DomainRecord before = record("http://a.com", "1");
    DomainRecord same = before;
    same.adCount = 50; // counters are not settings
    EXPECT_FALSE(planModify(before, same).addNew);
    EXPECT_FALSE(planModify(before, same).deleteOld);

    DomainRecord remark = before;
    remark.remark = "新";
    EXPECT_TRUE(planModify(before, remark).addNew);
    EXPECT_FALSE(planModify(before, remark).deleteOld);

    DomainRecord moved = before;
    moved.url = "http://b.com";
    EXPECT_TRUE(planModify(before, moved).addNew);
    EXPECT_TRUE(planModify(before, moved).deleteOld);
}

TEST(Heartbeat, ThirtyOneTicksApart)
{
    int counter = 0;
    std::vector<int> sentAt;
    for (int tick = 1; tick <= 93; ++tick)
        if (heartbeatDue(counter))
            sentAt.push_back(tick);
    EXPECT_EQ(sentAt, (std::vector<int>{31, 62, 93}));
}

TEST(WindowTitle, EmptyFieldsStayEmpty)
{
    EXPECT_TRUE(mainWindowTitle("", "").endsWith(QStringLiteral("账号: 接受提醒QQ邮箱:")));
    EXPECT_TRUE(
        mainWindowTitle("demo", "d@qq.com").endsWith(QStringLiteral("  账号:demo 接受提醒QQ邮箱:d@qq.com")));
}

} // namespace
