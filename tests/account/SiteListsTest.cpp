#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "account/SiteLists.h"
#include "tests/support/AccountFiles.h"

using TestSupport::utf16le;

namespace {

const QByteArray kMark = TestSupport::kUtf16Mark;

using Configs = std::vector<std::pair<QString, QString>>;

std::vector<AdvertisingWebData> catalogue(const QStringList &names)
{
    std::vector<AdvertisingWebData> sites;
    for (const QString &name : names)
        sites.push_back(AdvertisingWebData{name, {}, {}, {}, {}});
    return sites;
}

} // namespace

// weblist.txt of the account state in a directory of its own.
class SiteListFileTest : public TestSupport::AccountDirTest {
protected:
    void put(const QByteArray &bytes) const { AccountDirTest::put(fileName, bytes); }
    QByteArray contents() const { return AccountDirTest::contents(fileName); }

    const QString fileName = QStringLiteral("weblist.txt");
};

TEST_F(SiteListFileTest, MissingFileIsCreatedEmptyAndTheFirstSaveWritesTheDefault)
{
    LoadSiteLists(state);
    EXPECT_TRUE(QFile::exists(path(fileName)));
    EXPECT_EQ(contents(), QByteArray());
    EXPECT_EQ(state.siteLists, (Configs{{"全部", "1"}}));
    EXPECT_EQ(state.siteListIndex, 0);
    EXPECT_EQ(state.siteListValue, "1");

    ASSERT_TRUE(SaveSiteLists(state));
    EXPECT_EQ(contents(), kMark + utf16le("0\r\n全部=1\r\n"));
    EXPECT_FALSE(QFile::exists(path("weblist.txt.tmp")));
}

TEST_F(SiteListFileTest, SaveWritesIndexAndConfigurationsAndLoadReadsThemBack)
{
    put(kMark + utf16le(QString(5000, u'x') + "\r\n"));
    state.siteListIndex = -1;
    state.siteLists = {{"甲", "站A~站B"}, {"", ""}, {"a=b", "c"}};
    ASSERT_TRUE(SaveSiteLists(state));
    EXPECT_EQ(contents(), kMark + utf16le("-1\r\n甲=站A~站B\r\n=\r\na=b=c\r\n"));

    state.resetForTests();
    LoadSiteLists(state);
    // "a=b" comes back split at its first '=': names never hold one (the name dialog refuses it).
    EXPECT_EQ(state.siteLists, (Configs{{"甲", "站A~站B"}, {"", ""}, {"a", "b=c"}}));
    EXPECT_EQ(state.siteListIndex, 0);
    EXPECT_EQ(state.siteListValue, "站A~站B");
}

TEST_F(SiteListFileTest, FailedSaveKeepsTheOldFile)
{
    const QByteArray old = kMark + utf16le("0\r\n旧=1\r\n");
    put(old);
    state.siteLists = {{"新", "1"}};

    // The temporary file cannot be made: a directory stands in its place.
    ASSERT_TRUE(QDir(dir.path()).mkdir("weblist.txt.tmp"));
    EXPECT_FALSE(SaveSiteLists(state));
    EXPECT_EQ(contents(), old);
    ASSERT_TRUE(QDir(path("weblist.txt.tmp")).removeRecursively());

    // The replacement fails: weblist.txt is a directory that is not empty.
    ASSERT_TRUE(QFile::remove(path(fileName)));
    ASSERT_TRUE(QDir(dir.path()).mkpath("weblist.txt/inside"));
    EXPECT_FALSE(SaveSiteLists(state));
    EXPECT_FALSE(QFile::exists(path("weblist.txt.tmp")));
    EXPECT_TRUE(QFileInfo(path(fileName)).isDir());
}

struct LoadCase {
    const char *name;
    QByteArray bytes;
    Configs configs;
    int index;
    QString value;
};

class LoadSiteListFile : public SiteListFileTest, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(LoadSiteListFile, ReadsWhatCanBeReadAndSelectsAConfiguration)
{
    put(GetParam().bytes);
    state.siteListIndex = 7;
    state.siteLists = {{"stale", "x"}};
    LoadSiteLists(state);
    EXPECT_EQ(state.siteLists, GetParam().configs);
    EXPECT_EQ(state.siteListIndex, GetParam().index);
    EXPECT_EQ(state.siteListValue, GetParam().value);
    EXPECT_EQ(contents(), GetParam().bytes) << "loading never writes";
}

const QByteArray kThree = utf16le("a=1\r\nb=站A\r\nc=站B~站C\r\n");
const Configs kThreeConfigs{{"a", "1"}, {"b", "站A"}, {"c", "站B~站C"}};
const Configs kDefault{{"全部", "1"}};
const QString kHugeValue(kMaxSiteListLine - 4, u'x');

INSTANTIATE_TEST_SUITE_P(
    SiteLists, LoadSiteListFile,
    ::testing::Values(
        LoadCase{"Empty", {}, kDefault, 0, "1"}, LoadCase{"MarkOnly", kMark, kDefault, 0, "1"},
        LoadCase{"IndexOnly", kMark + utf16le("1\r\n"), kDefault, 0, "1"},
        LoadCase{"ThirdOfThree", kMark + utf16le("2\r\n") + kThree, kThreeConfigs, 2, "站B~站C"},
        LoadCase{"MinusOneSelectsTheFirst", kMark + utf16le("-1\r\n") + kThree, kThreeConfigs, 0, "1"},
        LoadCase{"PastTheLastSelectsTheFirst", kMark + utf16le("3\r\n") + kThree, kThreeConfigs, 0, "1"},
        LoadCase{"BelowMinusOneSelectsTheFirst", kMark + utf16le("-2\r\n") + kThree, kThreeConfigs, 0, "1"},
        LoadCase{"IndexReadLikeStrtol", kMark + utf16le("+1abc\r\n") + kThree, kThreeConfigs, 1, "站A"},
        LoadCase{"IndexWithoutDigitsIsZero", kMark + utf16le("x2\r\n") + kThree, kThreeConfigs, 0, "1"},
        LoadCase{"SplitAtTheFirstEquals", kMark + utf16le("0\r\na=b=c\r\n"), {{"a", "b=c"}}, 0, "b=c"},
        LoadCase{"EmptyNameAndValue", kMark + utf16le("0\r\n=\r\n"), {{"", ""}}, 0, ""},
        LoadCase{"BlankLinesSkippedAndLinesTrimmed",
                 kMark + utf16le("\r\n  \r\n\t1 \r\n\r\n  x=1  \r\n y = z \r\n"),
                 {{"x", "1"}, {"y ", " z"}},
                 1,
                 " z"},
        LoadCase{"LinesWithoutEqualsIgnored",
                 kMark + utf16le("1\r\nno equals\r\nx=1\r\ny=2"),
                 {{"x", "1"}, {"y", "2"}},
                 1,
                 "2"},
        LoadCase{"LineFeedsAlone", kMark + utf16le("1\na=1\nb=2\n"), {{"a", "1"}, {"b", "2"}}, 1, "2"},
        LoadCase{"NoMark", utf16le("1\r\n") + kThree, kThreeConfigs, 1, "站A"},
        LoadCase{"OddByteCount", kMark + utf16le("0\r\na=1\r\n") + "z", {{"a", "1"}}, 0, "1"},
        LoadCase{"NoEqualsAnywhere", kMark + utf16le("0\r\nplain\r\ntext\r\n"), kDefault, 0, "1"},
        // Single-byte text read as UTF-16: one line without a line feed and no digits.
        LoadCase{"SingleByteText", QByteArray("1\r\na=1\r\nb=2\r\n"), kDefault, 0, "1"},
        LoadCase{"NulBytes", QByteArray(999, '\0'), kDefault, 0, "1"},
        LoadCase{"EnormousLineCut",
                 kMark + utf16le("1\r\nbig=" + QString(1'000'000, u'x') + "\r\nsmall=2\r\n"),
                 {{"big", kHugeValue}, {"small", "2"}},
                 1,
                 "2"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(SiteListValue, NamesOfAValue)
{
    EXPECT_EQ(siteNamesOf("1"), QStringList());
    EXPECT_EQ(siteNamesOf(""), QStringList());
    EXPECT_EQ(siteNamesOf("~~"), QStringList());
    EXPECT_EQ(siteNamesOf("站A"), QStringList({"站A"}));
    EXPECT_EQ(siteNamesOf("~站A~~1~"), QStringList({"站A", "1"}));
}

TEST(SiteListValue, PresenceIsACaseBlindPrefixSearch)
{
    const QStringList items{"站AB", "Site"};
    EXPECT_TRUE(isListed(items, "站A"));
    EXPECT_TRUE(isListed(items, "站AB"));
    EXPECT_TRUE(isListed(items, "sITE"));
    EXPECT_FALSE(isListed(items, "站ABC"));
    EXPECT_FALSE(isListed(items, "AB"));
    EXPECT_FALSE(isListed({}, "站A"));
}

struct BoxCase {
    const char *name;
    QString value;
    QStringList right;
};

class SiteBoxes : public ::testing::TestWithParam<BoxCase> {};

TEST_P(SiteBoxes, LeftHoldsTheCatalogueRightTheValue)
{
    const SiteBoxContents boxes = siteBoxContents(GetParam().value, catalogue({"站B", "站A", "站C"}));
    EXPECT_EQ(boxes.left, QStringList({"站B", "站A", "站C"}));
    EXPECT_EQ(boxes.right, GetParam().right);
}

INSTANTIATE_TEST_SUITE_P(SiteLists, SiteBoxes,
                         ::testing::Values(BoxCase{"All", "1", {"站B", "站A", "站C"}},
                                           BoxCase{"Empty", "", {"站B", "站A", "站C"}},
                                           BoxCase{"SeparatorsOnly", "~~", {"站B", "站A", "站C"}},
                                           BoxCase{"Some", "站C~站A", {"站C", "站A"}},
                                           BoxCase{"RepeatsDropped", "站A~站a~站A", {"站A"}},
                                           BoxCase{"LongerFirstHidesItsPrefix", "站AB~站A", {"站AB"}},
                                           BoxCase{"ShorterFirstKeepsBoth", "站A~站AB", {"站A", "站AB"}},
                                           BoxCase{"UnknownSiteKept", "站Z", {"站Z"}}),
                         [](const auto &info) { return std::string(info.param.name); });

struct ValueCase {
    const char *name;
    QStringList left;
    QStringList right;
    QString value;
};

class ComputeValue : public ::testing::TestWithParam<ValueCase> {};

TEST_P(ComputeValue, AllPresentIsOneOtherwiseTheRightJoined)
{
    EXPECT_EQ(ComputeSiteListValue(GetParam().left, GetParam().right), GetParam().value);
}

const QStringList kAbc{"站A", "站B", "站C"};

INSTANTIATE_TEST_SUITE_P(
    SiteLists, ComputeValue,
    ::testing::Values(ValueCase{"EveryoneIsAll", kAbc, kAbc, "1"},
                      ValueCase{"OneOfThree", kAbc, {"站B"}, "站B"},
                      ValueCase{"TwoInListOrder", kAbc, {"站C", "站A"}, "站C~站A"},
                      ValueCase{"EmptyRight", kAbc, {}, ""}, ValueCase{"EmptyLeftIsAll", {}, {"站B"}, "1"},
                      ValueCase{"PrefixCountsAsPresent", {"站A", "站B"}, {"站AB", "站B"}, "1"},
                      ValueCase{"UnknownSiteWithoutEveryKnownOne", kAbc, {"站A", "站Z"}, "站A~站Z"},
                      ValueCase{"UnknownSiteBesideEveryKnownOne", kAbc, kAbc + QStringList{"站Z"}, "1"}),
    [](const auto &info) { return std::string(info.param.name); });
