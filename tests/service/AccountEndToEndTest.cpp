#include <gtest/gtest.h>

#include "service/store/AccountStore.h"
#include "service/search/AdStore.h"
#include "service/data/DataServer.h"
#include "tests/support/ServiceTestSupport.h"
#include "account/AccountState.h"
#include "account/DomainService.h"
#include "account/ServiceBase.h"

using namespace ServiceTest;

namespace {

// The client's own account core against the service, both on this thread:
// the client's blocking GET runs a local event loop that serves the service too.
class AccountEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(service.start()) << service->errorString().toStdString();
        ASSERT_NE(seedAccount(service, sampleAccount(QStringLiteral("alice"), QStringLiteral("密码1"))), 0);

        AccountState &state = AccountState::Instance();
        state.resetForTests();
        state.baseDir = service.dir.path() + QLatin1Char('/');
        ServiceBase::Instance().restoreDefaults();
        ServiceBase::Instance().setEndpoint(QStringLiteral("127.0.0.1"), service->webPort());
    }
    void TearDown() override
    {
        ServiceBase::Instance().restoreDefaults();
        AccountState::Instance().resetForTests();
    }
    bool logIn()
    {
        AccountState &state = AccountState::Instance();
        state.userName = QStringLiteral("alice");
        state.password = QStringLiteral("密码1");
        return Login(state.userName, state.password, QStringLiteral("1")).loggedIn();
    }

    LocalService service;
};

TEST_F(AccountEndToEnd, LoginFillsTheAccountFields)
{
    ASSERT_TRUE(logIn());
    const AccountState &state = AccountState::Instance();
    EXPECT_EQ(state.mailbox, QStringLiteral("7654321@qq.com"));
    EXPECT_EQ(state.noticeText, QStringLiteral("公告：今晚维护"));
    const QString self = QStringLiteral("http://127.0.0.1:%1/").arg(service->webPort());
    EXPECT_EQ(state.linkUrl, self);
    EXPECT_EQ(state.pageUrl, self + QStringLiteral("banner.html"));
}

TEST_F(AccountEndToEnd, WrongPasswordGivesCodeAndMessage)
{
    AccountState &state = AccountState::Instance();
    const LoginResult result = Login(QStringLiteral("alice"), QStringLiteral("nope"), QStringLiteral("1"));
    EXPECT_TRUE(result.answered());
    EXPECT_EQ(result.outcome, LoginResult::Refused);
    EXPECT_NE(state.loginCode, 0);
    EXPECT_FALSE(state.loginMessage.isEmpty());
    EXPECT_NE(state.loginMessage, QString::number(state.loginCode));
    EXPECT_EQ(result.code, state.loginCode);
    EXPECT_EQ(result.message, state.loginMessage);
}

TEST_F(AccountEndToEnd, AddRefreshModifyAndDeleteAddresses)
{
    ASSERT_TRUE(logIn());
    AccountState &state = AccountState::Instance();
    DomainRecord record;
    record.url = QStringLiteral("http://www.game.example");
    record.remindType = QStringLiteral("3");
    record.remark = QStringLiteral("传奇 & 合击");
    record.publishing = QStringLiteral("飞鹰发布站~龙门发布网");
    record.jinminhou = 1;
    AddDomain(record);
    DomainRecord second = record;
    second.url = QStringLiteral("http://www.two.example");
    second.remark.clear();
    second.publishing = QStringLiteral("1");
    second.jinminhou = 0;
    AddDomain(second);
    ASSERT_TRUE(RefreshDomains());
    ASSERT_EQ(state.domains.size(), 2u);
    const DomainRecord &got = state.domains.at(record.url);
    EXPECT_EQ(got.remindType, QStringLiteral("3"));
    EXPECT_EQ(got.remark, record.remark);
    EXPECT_EQ(got.publishing, record.publishing);
    EXPECT_EQ(got.jinminhou, 1);
    // An empty remark comes back as a blank, keeping the later fields in place.
    EXPECT_EQ(state.domains.at(second.url).publishing, QStringLiteral("1"));
    EXPECT_EQ(state.domains.at(second.url).remark.trimmed(), QString());

    record.remindType = QStringLiteral("4");
    AddDomain(record);
    DelDomain(second.url);
    ASSERT_TRUE(RefreshDomains());
    ASSERT_EQ(state.domains.size(), 1u);
    EXPECT_EQ(state.domains.at(record.url).remindType, QStringLiteral("4"));
    EXPECT_FALSE(WantsLocalReminder(record.url)); // code 4: no pop-up
}

TEST_F(AccountEndToEnd, AddDomainReachesTheDataConnection)
{
    ASSERT_TRUE(logIn());
    const QString url = QStringLiteral("http://www.game.example");
    ASSERT_TRUE(service->ads().addAds(
        {makeAd(url, QStringLiteral("飞鹰发布站"), QStringLiteral("雷霆一区"), 0, QStringLiteral("20:00"))}));
    DataClient client(service->dataPort());
    ASSERT_TRUE(client.logIn(QStringLiteral("alice"), QStringLiteral("密码1")));
    DomainRecord record;
    record.url = url;
    record.remindType = QStringLiteral("1");
    record.publishing = QStringLiteral("1");
    AddDomain(record);
    const auto ntf = client.next<MsgUserAdsChangeNtf>();
    ASSERT_NE(ntf, nullptr);
    EXPECT_EQ(QString::fromStdString(ntf->body.ext()), url);
    ASSERT_EQ(ntf->body.adslist_size(), 1);
    EXPECT_EQ(QString::fromStdString(ntf->body.adslist(0).stradname()), QStringLiteral("雷霆一区"));
}

} // namespace
