#include <gtest/gtest.h>

#include <QCoreApplication>

#include "account/AccountState.h"

TEST(AccountStateTest, InitialValuesAndOneObject)
{
    AccountState &state = AccountState::Instance();
    state.resetForTests();
    EXPECT_EQ(&state, &AccountState::Instance());
    EXPECT_EQ(state.loginCode, -1);
    EXPECT_EQ(state.siteListValue, QStringLiteral("1"));
    EXPECT_EQ(state.siteListIndex, 0);
    EXPECT_TRUE(state.userName.isEmpty() && state.password.isEmpty() && state.mailbox.isEmpty());
    EXPECT_TRUE(state.domains.empty() && state.adStore.empty() && state.sites.empty() &&
                state.searchHis.empty());
    EXPECT_EQ(state.baseDir, QCoreApplication::applicationDirPath() + '/');
}

TEST(AccountStateTest, ResetKeepsBaseDirAndClearsTheRest)
{
    AccountState &state = AccountState::Instance();
    const QString baseDir = state.baseDir;
    state.loginCode = 0;
    state.mailbox = "m";
    state.siteListValue = "a~b";
    state.searchJumpHis.insert("x");
    state.domains["u"] = DomainRecord();
    state.adStore["u"]["site"]["10:00"].push_back(OneAdData());
    state.resetForTests();
    EXPECT_EQ(state.baseDir, baseDir);
    EXPECT_EQ(state.loginCode, -1);
    EXPECT_TRUE(state.mailbox.isEmpty());
    EXPECT_EQ(state.siteListValue, QStringLiteral("1"));
    EXPECT_TRUE(state.searchJumpHis.empty());
    EXPECT_TRUE(state.domains.empty());
    EXPECT_TRUE(state.adStore.empty());
}

TEST(AccountStateTest, ContainersUseOrdinalOrder)
{
    AccountState &state = AccountState::Instance();
    state.resetForTests();
    state.searchHis = {"key", "Key", "KEY"};
    EXPECT_EQ(state.searchHis.size(), 3u);
    EXPECT_EQ(*state.searchHis.begin(), QStringLiteral("KEY"));

    state.domains["www.xa.com"] = DomainRecord();
    state.domains["www.xB.com"] = DomainRecord();
    EXPECT_EQ(state.domains.begin()->first, QStringLiteral("www.xB.com"));
    state.resetForTests();
}

TEST(AccountStateTest, NewDomainRecordIsBlank)
{
    const DomainRecord record;
    EXPECT_TRUE(record.url.isEmpty() && record.remindType.isEmpty() && record.remark.isEmpty() &&
                record.publishing.isEmpty());
    EXPECT_EQ(record.jinminhou, 0);
    EXPECT_EQ(record.adCount, 0);
    EXPECT_EQ(record.updateTime, 0);
}
