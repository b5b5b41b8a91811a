#include <gtest/gtest.h>

#include "service/ServiceLimits.h"
#include "service/ServiceLog.h"
#include "tests/support/ServiceTestSupport.h"

using namespace ServiceTest;

namespace {

TEST(ServiceLog, ControlCharactersCannotStartALineOfTheirOwn)
{
    const struct {
        const char *name;
        QString text;
        QString written;
    } cases[] = {
        {"line feed", QStringLiteral("login alice\n2024-01-01 00:00:00.000 login root accepted"),
         QStringLiteral("login alice\\n2024-01-01 00:00:00.000 login root accepted")},
        {"carriage return", QStringLiteral("a\rb"), QStringLiteral("a\\rb")},
        {"tab", QStringLiteral("a\tb"), QStringLiteral("a\\tb")},
        {"nul and escape", QStringLiteral("a") + QChar(0) + QChar(0x1b) + QStringLiteral("[2J"),
         QStringLiteral("a\\x00\\x1b[2J")},
        {"unicode line separator", QStringLiteral("a") + QChar(0x2028) + QStringLiteral("b"),
         QStringLiteral("a\\u2028b")},
        {"plain text stays", QStringLiteral("搜索 1.76\\合击"), QStringLiteral("搜索 1.76\\合击")},
    };
    LogCapture log;
    for (const auto &c : cases)
        ServiceLog::line(c.text);
    const QStringList lines = log.lines();
    ASSERT_EQ(lines.size(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_TRUE(lines[i].endsWith(QLatin1Char(' ') + cases[i].written)) << cases[i].name;
        for (const QChar c : lines[i])
            EXPECT_FALSE(c.category() == QChar::Other_Control || c == QChar(0x2028)) << cases[i].name;
    }
}

TEST(ServiceLog, LongValuesAreCutWithTheirLength)
{
    const int limit = ServiceLimits().logValueChars;
    EXPECT_EQ(ServiceLog::value(QStringLiteral("short")), QStringLiteral("short"));
    EXPECT_EQ(ServiceLog::value(QString(limit, QLatin1Char('k'))), QString(limit, QLatin1Char('k')));
    const QString cut = ServiceLog::value(QString(100000, QLatin1Char('k')));
    EXPECT_TRUE(cut.startsWith(QString(limit, QLatin1Char('k')) + QStringLiteral("…")));
    EXPECT_TRUE(cut.contains(QStringLiteral("100000")));
    EXPECT_LT(cut.size(), limit + 40);
}

TEST(ServiceLog, BudgetWritesSomeLinesPerWindowAndCountsTheRest)
{
    qint64 now = 0;
    LogCapture log;
    {
        ServiceLog::Budget budget(5, 60, [&] { return now; });
        for (int i = 0; i < 100; ++i)
            budget.line(QStringLiteral("conn "), QStringLiteral("junk %1").arg(i));
        EXPECT_EQ(log.lines().size(), 5);
        now += 59 * 1000;
        budget.line(QStringLiteral("conn "), QStringLiteral("still the same window"));
        EXPECT_EQ(log.lines().size(), 5);
        now += 2 * 1000;
        budget.line(QStringLiteral("conn "), QStringLiteral("next window"));
        const QStringList lines = log.lines();
        ASSERT_EQ(lines.size(), 7);
        EXPECT_TRUE(lines[5].endsWith(QStringLiteral("conn 96 lines left out")));
        EXPECT_TRUE(lines[6].endsWith(QStringLiteral("conn next window")));
        for (int i = 0; i < 10; ++i)
            budget.line(QStringLiteral("conn "), QStringLiteral("more"));
    }
    // What was left out when the connection ends is still counted.
    EXPECT_TRUE(log.lines().constLast().endsWith(QStringLiteral("conn 6 lines left out")));
}

} // namespace
