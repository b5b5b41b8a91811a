#include <gtest/gtest.h>

#include "search/SearchKeys.h"

namespace {

struct KeyCase {
    const char *name;
    const char16_t *typed;
    const char16_t *date;
    const char16_t *time;
    const char16_t *sent;     // the key that goes out
    const char16_t *recorded; // what the history keeps
};

class AdKeyBuilding : public ::testing::TestWithParam<KeyCase> {};

TEST_P(AdKeyBuilding, TrimsTheTermsAndAddsTheChosenDateAndTime)
{
    const KeyCase &c = GetParam();
    const QString plain = SearchKeys::trimSlashes(QString::fromUtf16(c.typed));
    EXPECT_EQ(plain, QString::fromUtf16(c.recorded));
    EXPECT_EQ(SearchKeys::adSearchKey(plain, QString::fromUtf16(c.date), QString::fromUtf16(c.time)),
              QString::fromUtf16(c.sent));
}

const KeyCase kKeyCases[] = {
    {"DateAndTime", u"1.76\\合击", u"03/26", u"10:30", u"1.76\\合击\\03/26\\10:30", u"1.76\\合击"},
    {"NoChoices", u"1.76\\合击", u"不选择日期", u"", u"1.76\\合击", u"1.76\\合击"},
    {"SlashesTrimmedInsideKept", u"//abc/def//", u"", u"", u"abc/def", u"abc/def"},
    {"SpacesKept", u" abc ", u"", u"", u" abc ", u" abc "},
    {"OnlySlashesIsEmpty", u"///", u"03/26", u"10:30", u"", u""},
    {"DateOnly", u"key", u"03/26", u"", u"key\\03/26", u"key"},
    {"TypedNotChosenAddsNothing", u"key", u"xyz不选择", u"不选择时间", u"key", u"key"},
    {"AllDayWord", u"key", u"", u"全天固顶", u"key\\全天固顶", u"key"},
    {"ChoiceTextNotTrimmed", u"key", u" 03/26", u"", u"key\\ 03/26", u"key"},
    {"BackslashesAreTerms", u"/冰雪\\1.76/", u"", u"通宵", u"冰雪\\1.76\\通宵", u"冰雪\\1.76"},
};

INSTANTIATE_TEST_SUITE_P(Keys, AdKeyBuilding, ::testing::ValuesIn(kKeyCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(SearchChoices, DatesRunTenDaysFromTodayAcrossTheYearEnd)
{
    const QStringList dates = SearchKeys::dateChoices(QDate(2026, 12, 27));
    ASSERT_EQ(dates.size(), 11);
    EXPECT_EQ(dates.first(), QStringLiteral("不选择日期"));
    EXPECT_EQ(dates.at(1), QStringLiteral("12/27"));
    EXPECT_EQ(dates.at(5), QStringLiteral("12/31"));
    EXPECT_EQ(dates.at(6), QStringLiteral("01/01"));
    EXPECT_EQ(dates.last(), QStringLiteral("01/05"));
}

TEST(SearchChoices, TimesAreTheHalfHoursFromSevenThenTheAllDayWords)
{
    QStringList times = SearchKeys::timeChoices();
    ASSERT_EQ(times.size(), 1 + 34 + 3);
    EXPECT_EQ(times.at(0), QStringLiteral("不选择时间"));
    EXPECT_EQ(times.at(1), QStringLiteral("07:00"));
    EXPECT_EQ(times.at(2), QStringLiteral("07:30"));
    EXPECT_EQ(times.at(6), QStringLiteral("09:30"));
    EXPECT_EQ(times.at(34), QStringLiteral("23:30"));
    EXPECT_EQ(times.mid(35), (QStringList{"全天固顶", "通宵", "通宵固顶"}));
    EXPECT_EQ(times.removeDuplicates(), 0);
}

TEST(SearchCells, TextsOverAHundredUnitsShowAsADash)
{
    EXPECT_EQ(SearchKeys::clipCellText(QString(100, QLatin1Char('x'))), QString(100, QLatin1Char('x')));
    EXPECT_EQ(SearchKeys::clipCellText(QString(101, QLatin1Char('x'))), QStringLiteral("-"));
    // Counted in UTF-16 units: 50 characters outside the BMP are 100 units.
    const QString wide = QString::fromUcs4(U"\U0001F600").repeated(50);
    EXPECT_EQ(SearchKeys::clipCellText(wide), wide);
    EXPECT_EQ(SearchKeys::clipCellText(wide + QLatin1Char('x')), QStringLiteral("-"));
    EXPECT_EQ(SearchKeys::clipCellText(QString()), QString());
}

TEST(SearchStatus, ShowsRowsAndTotal)
{
    EXPECT_EQ(SearchKeys::requestedStatus(20, 45), QStringLiteral("已请求：20条/共：45条"));
    EXPECT_EQ(SearchKeys::requestedStatus(0, -1), QStringLiteral("已请求：0条/共：-1条"));
}

} // namespace
