#include <gtest/gtest.h>

#include "search/SearchPager.h"

namespace {

constexpr qint64 kStart = 1'000'000;

TEST(SearchPager, AdSearchPagesFromOneUntilEveryRowIsLoaded)
{
    SearchPager pager(1, true);
    EXPECT_FALSE(pager.more(0)) << "no search yet";
    ASSERT_EQ(pager.start(QStringLiteral("abc"), kStart, 0), 1);
    EXPECT_FALSE(pager.searchReady());
    EXPECT_FALSE(pager.canStart(kStart + 10, 0)) << "a second click waits for the first answer";

    pager.answered(45, 0);
    EXPECT_TRUE(pager.searchReady());
    EXPECT_EQ(pager.more(20), 2);
    EXPECT_EQ(pager.more(20), 3) << "more pages go out without waiting for answers";
    EXPECT_FALSE(pager.more(45));
    EXPECT_FALSE(pager.more(60));
    EXPECT_EQ(pager.currentKey(), QStringLiteral("abc"));
}

TEST(SearchPager, SearchTypeOneEndsAdPagingButNotTheOthers)
{
    SearchPager ads(1, true);
    ads.start(QStringLiteral("k"), kStart, 0);
    ads.answered(45, 1);
    EXPECT_FALSE(ads.more(20));

    SearchPager forwards(0, false);
    ASSERT_EQ(forwards.start(QStringLiteral("k"), kStart, 0), 0);
    forwards.answered(45, 1);
    EXPECT_EQ(forwards.more(20), 1);
    EXPECT_EQ(forwards.more(20), 2);
}

TEST(SearchPager, EmptyKeySendsNothingAndStopsMoreUntilTheNextSearch)
{
    SearchPager pager(1, true);
    pager.start(QStringLiteral("abc"), kStart, 0);
    pager.answered(45, 0);
    EXPECT_FALSE(pager.start(QString(), kStart, 0));
    EXPECT_TRUE(pager.searchReady());
    EXPECT_FALSE(pager.more(0));
    EXPECT_EQ(pager.start(QStringLiteral("def"), kStart, 0), 1);
}

TEST(SearchPager, MoreBeforeTheFirstAnswerIsJudgedByThePreviousSearch)
{
    SearchPager pager(1, true);
    pager.start(QStringLiteral("old"), kStart, 0);
    pager.answered(45, 0);
    pager.start(QStringLiteral("new"), kStart, 0);
    EXPECT_EQ(pager.more(0), 2);
    EXPECT_EQ(pager.currentKey(), QStringLiteral("new"));
}

TEST(SearchPager, RowsAndTotalCompareUnsigned)
{
    SearchPager pager(0, false);
    pager.start(QStringLiteral("k"), kStart, 0);
    pager.answered(-1, 0); // read as 4294967295
    EXPECT_EQ(pager.more(100), 1);
    pager.answered(0, 0);
    EXPECT_FALSE(pager.more(0));
}

TEST(SearchPager, ALostAnswerBlocksOnlyUntilTimeoutOrReconnect)
{
    SearchPager pager(1, true);
    pager.start(QStringLiteral("k"), kStart, 3);
    EXPECT_FALSE(pager.canStart(kStart + SearchPager::kAnswerWaitMs - 1, 3));
    EXPECT_TRUE(pager.canStart(kStart + SearchPager::kAnswerWaitMs, 3));
    EXPECT_TRUE(pager.canStart(kStart + 1, 4)) << "the connection was made anew";

    ASSERT_EQ(pager.start(QStringLiteral("again"), kStart + 2, 4), 1);
    EXPECT_FALSE(pager.canStart(kStart + 3, 4));
}

} // namespace
