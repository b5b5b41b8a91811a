#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <ctime>

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "records/AdRecords.h"
#include "net/message.pb.h"

namespace {

QStringList column(const ICtrlData &data, int col)
{
    QStringList texts;
    for (int row = 0; row < data.GetCount(); ++row)
        texts.append(data.GetText(row, col));
    return texts;
}

std::vector<OneAdDataCount> countRows(const QStringList &counts)
{
    std::vector<OneAdDataCount> rows;
    for (const QString &count : counts) {
        OneAdDataCount row;
        row.strCount = count;
        rows.push_back(row);
    }
    return rows;
}

} // namespace

TEST(RecordBuilding, OneAdDataTakesPresentFieldsAndLeavesAbsentOnesEmpty)
{
    Proto::OneAdInfo info;
    info.set_strgameweb("www.game.example");
    const QString serverName = QStringLiteral("\u70c8\u706b\u4f20\u5947");
    info.set_stradname(serverName.toStdString()); // UTF-8 on the wire
    info.set_strip("");                           // present but empty
    info.set_iadcount(7);

    const OneAdData data = OneAdData::fromProto(info);
    EXPECT_EQ(data.strGameWeb, "www.game.example");
    EXPECT_EQ(data.strAdName, serverName);
    EXPECT_TRUE(data.strIp.isEmpty());
    EXPECT_TRUE(data.strAdvertisingWeb.isEmpty());
    EXPECT_TRUE(data.strOpenTime.isEmpty());
    EXPECT_TRUE(data.strOtherInfo.isEmpty());
}

TEST(RecordBuilding, CountTextsOnlyForPresentNumbers)
{
    Proto::OneAdInfoCount count;
    count.set_stradvertisingweb("site");
    EXPECT_EQ(OneAdDataCount::fromProto(count).strCount, QString());
    EXPECT_EQ(OneAdDataCount::fromProto(count).iCount, 0);
    count.set_icount(-12);
    EXPECT_EQ(OneAdDataCount::fromProto(count).strCount, "-12");
    EXPECT_EQ(OneAdDataCount::fromProto(count).iCount, -12);
    count.set_icount(0);
    EXPECT_EQ(OneAdDataCount::fromProto(count).strCount, "0");

    Proto::HisAdInfo his;
    his.set_strgamewebdomain("game.example");
    HisAdData hisData = HisAdData::fromProto(his);
    EXPECT_EQ(hisData.strGameWebDomain, "game.example");
    EXPECT_TRUE(hisData.strAdCount.isEmpty());
    EXPECT_EQ(hisData.iAdCount, 0);
    his.set_iadcount(2147483647);
    hisData = HisAdData::fromProto(his);
    EXPECT_EQ(hisData.strAdCount, "2147483647");
    EXPECT_EQ(hisData.iAdCount, 2147483647);
}

TEST(RecordBuilding, ForwardDataKeepsEachFieldInItsMember)
{
    Proto::ForwardInfo info;
    info.set_mainurl("a");
    info.set_maindomain("b");
    info.set_forwardurl("c");
    info.set_updatetime("e");
    const ForwardData data = ForwardData::fromProto(info);
    EXPECT_EQ(
        QStringList({data.MainUrl, data.MainDomain, data.ForwardUrl, data.ForwardDomain, data.UpdateTime}),
        QStringList({"a", "b", "c", "", "e"}));
}

TEST(RecordBuilding, MalformedUtf8BecomesReplacementCharacters)
{
    Proto::OneAdInfo info;
    info.set_strotherinfo(std::string("ok\xff\xfe", 4));
    const QString text = OneAdData::fromProto(info).strOtherInfo;
    EXPECT_TRUE(text.startsWith("ok"));
    EXPECT_TRUE(text.contains(QChar::ReplacementCharacter));
}

struct UrlCase {
    const char *name;
    std::vector<std::string> urls;
    QString joined;
};

class SiteUrls : public ::testing::TestWithParam<UrlCase> {};

TEST_P(SiteUrls, JoinedWithSemicolonsInMessageOrder)
{
    Proto::AdvertisingWebInfo info;
    for (const std::string &url : GetParam().urls)
        info.add_hweburldetai(url);
    EXPECT_EQ(AdvertisingWebData::fromProto(info).strWebUrls, GetParam().joined);
}

INSTANTIATE_TEST_SUITE_P(Catalogue, SiteUrls,
                         ::testing::Values(UrlCase{"TwoEntries", {"u1", "u2"}, "u1;u2"},
                                           UrlCase{"NoEntries", {}, ""},
                                           UrlCase{"EmptyFirstEntry", {"", "u2"}, ";u2"},
                                           UrlCase{"OneEntry", {"u1"}, "u1"}),
                         [](const auto &info) { return std::string(info.param.name); });

// Local time is pinned to UTC+8 without daylight saving so the texts are known.
class LocalTime : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char *old = std::getenv("TZ");
        hadTz = old != nullptr;
        if (hadTz)
            oldTz = old;
        setenv("TZ", "CST-8", 1);
        tzset();
    }
    void TearDown() override
    {
        if (hadTz)
            setenv("TZ", oldTz.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    bool hadTz = false;
    std::string oldTz;
};

TEST_F(LocalTime, WholeRangeOfSecondsFormats)
{
    EXPECT_EQ(formatLocalTime(0), "1970-01-01 08:00:00");
    EXPECT_EQ(formatLocalTime(1522031405), "2018-03-26 10:30:05");
    EXPECT_EQ(formatLocalTime(-1), "1970-01-01 07:59:59");
    EXPECT_EQ(formatLocalTime(INT_MIN), "1901-12-14 04:45:52");
    EXPECT_EQ(formatLocalTime(INT_MAX), "2038-01-19 11:14:07");
}

TEST_F(LocalTime, CatalogueFormatsNumbersEvenWhenAbsent)
{
    Proto::AdvertisingWebInfo info;
    info.set_strwebmain("main");
    AdvertisingWebData data = AdvertisingWebData::fromProto(info);
    EXPECT_EQ(data.strWebMain, "main");
    EXPECT_EQ(data.strUpdateTime, "1970-01-01 08:00:00");
    EXPECT_EQ(data.strAdCount, "0");
    EXPECT_TRUE(data.strDomain.isEmpty());

    info.set_iupdatetime(-86400);
    info.set_iadcount(35);
    info.set_strdomain("main.example");
    data = AdvertisingWebData::fromProto(info);
    EXPECT_EQ(data.strUpdateTime, "1969-12-31 08:00:00");
    EXPECT_EQ(data.strAdCount, "35");
    EXPECT_EQ(data.strDomain, "main.example");
}

struct SortCase {
    const char *name;
    QStringList keys;
    bool descending;
    QStringList sorted;
};

class OrdinalSort : public ::testing::TestWithParam<SortCase> {};

TEST_P(OrdinalSort, ByCodeUnits)
{
    std::vector<OneAdDataCount> rows = countRows(GetParam().keys);
    CtrlData<OneAdDataCount> data(&rows, OneAdDataCountColumns);
    data.Sort(2, GetParam().descending);
    EXPECT_EQ(column(data, 2), GetParam().sorted);
    EXPECT_EQ(data.sortColumn, 2);
    EXPECT_EQ(data.sortDescending, GetParam().descending);
}

INSTANTIATE_TEST_SUITE_P(
    Counts, OrdinalSort,
    ::testing::Values(SortCase{"NumbersAscending", {"9", "10", "100"}, false, {"10", "100", "9"}},
                      SortCase{"NumbersDescending", {"9", "10", "100"}, true, {"9", "100", "10"}},
                      SortCase{"CaseAndPrefixAscending", {"abc", "ab", "B"}, false, {"B", "ab", "abc"}},
                      SortCase{"CaseAndPrefixDescending", {"abc", "ab", "B"}, true, {"abc", "ab", "B"}},
                      // U+FF21 (full-width A) is above every ASCII letter; no locale folds it.
                      SortCase{"WideLetters", {"\uff21", "z", "A"}, false, {"A", "z", "\uff21"}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(CtrlDataAdapter, AdColumnOneIsTheGameAddress)
{
    std::vector<OneAdData> ads(3);
    ads[0].strAdvertisingWeb = "a-site";
    ads[0].strGameWeb = "z-game";
    ads[1].strAdvertisingWeb = "c-site";
    ads[1].strGameWeb = "x-game";
    ads[2].strAdvertisingWeb = "b-site";
    ads[2].strGameWeb = "y-game";
    CtrlData<OneAdData> data(&ads, OneAdDataColumns);
    ASSERT_EQ(data.GetColumnCount(), 6);
    EXPECT_EQ(data.GetText(0, 0), "a-site");
    EXPECT_EQ(data.GetText(0, 1), "z-game");

    data.Sort(1, false);
    EXPECT_EQ(column(data, 1), QStringList({"x-game", "y-game", "z-game"}));
    EXPECT_EQ(column(data, 0), QStringList({"c-site", "b-site", "a-site"}));
    // The held vector itself is reordered.
    EXPECT_EQ(ads.front().strGameWeb, "x-game");
}

TEST(CtrlDataAdapter, ColumnMapsShowTheListedMembers)
{
    std::vector<HisAdData> his(1);
    his[0] = {"web", "domain", "site", "open", "5", 5};
    CtrlData<HisAdData> hisData(&his, HisAdDataColumns);
    EXPECT_EQ(column(hisData, 0) + column(hisData, 1) + column(hisData, 2) + column(hisData, 3) +
                  column(hisData, 4),
              QStringList({"web", "domain", "site", "open", "5"}));

    std::vector<AdvertisingWebData> sites(1);
    sites[0] = {"main", "u1;u2", "time", "3", "never shown"};
    CtrlData<AdvertisingWebData> siteData(&sites, AdvertisingWebDataColumns);
    ASSERT_EQ(siteData.GetColumnCount(), 4);
    EXPECT_EQ(column(siteData, 3), QStringList({"3"}));

    std::vector<ForwardData> forwards(1);
    forwards[0] = {"m", "md", "f", "fd", "t"};
    CtrlData<ForwardData> forwardData(&forwards, ForwardDataColumns);
    ASSERT_EQ(forwardData.GetColumnCount(), 5);
    EXPECT_EQ(column(forwardData, 2), QStringList({"f"}));
}

TEST(CtrlDataAdapter, EmptyAndOutOfRange)
{
    std::vector<OneAdData> none;
    CtrlData<OneAdData> data(&none, OneAdDataColumns);
    EXPECT_EQ(data.GetCount(), 0);
    data.Sort(0, true); // nothing to reorder, must not touch anything
    EXPECT_EQ(data.GetText(0, 0), QString());

    std::vector<OneAdData> one(1);
    one[0].strIp = "1.2.3.4";
    data.setRows(&one);
    EXPECT_EQ(data.GetText(0, 3), "1.2.3.4");
    EXPECT_EQ(data.GetText(1, 3), QString());
    EXPECT_EQ(data.GetText(0, 6), QString());
    EXPECT_EQ(data.GetText(-1, 0), QString());
}

TEST(SiteLookup, FirstExactMatch)
{
    std::vector<AdvertisingWebData> sites(3);
    sites[0].strWebMain = "Site";
    sites[0].strWebUrls = "first.example";
    sites[1].strWebMain = "site";
    sites[1].strWebUrls = "lower.example";
    sites[2].strWebMain = "Site";
    sites[2].strWebUrls = "second.example";

    EXPECT_EQ(LookupSiteAddress(sites, "Site"), "first.example");
    EXPECT_EQ(LookupSiteAddress(sites, "site"), "lower.example");
    EXPECT_EQ(LookupSiteAddress(sites, "SITE"), QString());
    EXPECT_EQ(LookupSiteAddress(sites, "Sit"), QString());
    EXPECT_EQ(LookupSiteAddress({}, "Site"), QString());
}
