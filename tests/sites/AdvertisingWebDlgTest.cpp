#include <gtest/gtest.h>

#include <QHeaderView>
#include <QTest>

#include "platform/DialogUnits.h"
#include "account/AccountState.h"
#include "sites/AdvertisingWebDlg.h"
#include "net/MsgDispatcher.h"
#include "tests/support/ListOpenChecks.h"
#include "tests/support/RecordingServices.h"

namespace {

AdvertisingWebData site(const QString &name, const QString &urls, const QString &updated,
                        const QString &count)
{
    AdvertisingWebData data;
    data.strWebMain = name;
    data.strWebUrls = urls;
    data.strUpdateTime = updated;
    data.strAdCount = count;
    data.strDomain = name + QStringLiteral(".com");
    return data;
}

class AdvertisingWebDlgTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        MsgDispatcher::clear();
        account.sites = {
            site(QStringLiteral("找服网"), QStringLiteral("http://www.zhaofu.com"),
                 QStringLiteral("2018-03-26 09:05:00"), QStringLiteral("9")),
            site(QStringLiteral("新开发布站"), QStringLiteral("http://a.example;http://b.example"),
                 QStringLiteral("2018-03-26 10:30:05"), QStringLiteral("120")),
            site(QStringLiteral("无址站"), QString(), QStringLiteral("2018-03-25 23:59:59"),
                 QStringLiteral("35")),
        };
    }

    void TearDown() override { MsgDispatcher::clear(); }

    std::unique_ptr<AdvertisingWebDlg> open()
    {
        auto window = std::make_unique<AdvertisingWebDlg>(
            account, [this](MsgHeader &msg) { sent.push_back(msg.type); });
        window->setServices(fakes.services());
        EXPECT_TRUE(window->Create());
        window->show();
        return window;
    }

    static QStringList column(const AdvertisingWebDlg &window, int column)
    {
        QStringList out;
        for (int row = 0; row < window.adapter.GetCount(); ++row)
            out.append(window.adapter.GetText(row, column));
        return out;
    }

    static void deliverAck()
    {
        MsgGetAdvertisingWebInfoAck ack;
        MsgDispatcher::Dispatch(nullptr, &ack);
    }

    AccountData account;
    platform::RecordingServices fakes;
    std::vector<int> sent;
};

TEST_F(AdvertisingWebDlgTest, ShowsTheCatalogueUnderFourColumnsAndAsksForAFreshOne)
{
    auto window = open();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("发布站信息"));
    EXPECT_EQ(window->item(AdvertisingWebDlg::SiteList), &window->list);
    EXPECT_EQ(sent, std::vector<int>{kMsgGetAdvertisingWebInfoReq});
    EXPECT_TRUE(MsgDispatcher::hasHandler(kMsgGetAdvertisingWebInfoAck));

    const QStringList titles = {"站点名称", "发布站地址", "数据采集完成时间", "广告条数"};
    const int widths[] = {200, 300, 130, 60};
    ASSERT_EQ(window->list.state().columnCount, 4);
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(window->list.itemModel()->headerData(c, Qt::Horizontal).toString(), titles[c]);
        EXPECT_EQ(window->list.header()->sectionSize(c),
                  platform::scaledToFont(widths[c], window->list.font()))
            << c;
    }
    // Catalogue order, each column its own member.
    EXPECT_EQ(window->list.state().rowCount, 3);
    EXPECT_EQ(column(*window, AdvertisingWebDlg::NameColumn),
              (QStringList{"找服网", "新开发布站", "无址站"}));
    const QStringList second = {"新开发布站", "http://a.example;http://b.example", "2018-03-26 10:30:05",
                                "120"};
    for (int c = 0; c < 4; ++c)
        EXPECT_EQ(window->list.itemModel()->data(window->list.itemModel()->index(1, c)).toString(), second[c])
            << c;
}

TEST_F(AdvertisingWebDlgTest, HeaderClicksSortTheCopyNotTheAccountCatalogue)
{
    auto window = open();
    struct SortCase {
        const char *name;
        int column;
        QStringList names;
    };
    const SortCase cases[] = {
        // Zero-padded times: text order is time order, newest first.
        {"NewestCollectionFirst", AdvertisingWebDlg::UpdateTimeColumn, {"新开发布站", "找服网", "无址站"}},
        // Counts are compared as texts: "9" > "35" > "120".
        {"CountsAsTexts", AdvertisingWebDlg::AdCountColumn, {"找服网", "无址站", "新开发布站"}},
    };
    for (const SortCase &c : cases) {
        SCOPED_TRACE(c.name);
        window->list.OnColumnClick(c.column);
        EXPECT_EQ(column(*window, AdvertisingWebDlg::NameColumn), c.names);
    }
    EXPECT_EQ(account.sites[0].strWebMain, QStringLiteral("找服网"));
    EXPECT_EQ(account.sites[1].strWebMain, QStringLiteral("新开发布站"));
}

TEST_F(AdvertisingWebDlgTest, DoubleClickOnAnyCellOpensTheRowAddresses)
{
    auto window = open();
    ListOpenChecks::expectOpens(window->list, fakes.shell,
                                {
                                    {"NameColumn", {0, 0}, "http://www.zhaofu.com"},
                                    {"CountColumn", {0, 3}, "http://www.zhaofu.com"},
                                    // "a;b" goes out as one text; the safe open takes its first address.
                                    {"SeveralAddresses", {1, 2}, "http://a.example"},
                                    {"NoAddress", {2, 1}, nullptr},
                                });
    // A row past the end opens nothing.
    fakes.shell.opened.clear();
    window->OpenSiteRow(window->list, Cell{3, 0});
    EXPECT_TRUE(fakes.shell.opened.empty());
}

TEST_F(AdvertisingWebDlgTest, AnEmptyCatalogueShowsNoRowsUntilTheAnswerArrives)
{
    const std::vector<AdvertisingWebData> fresh = account.sites;
    account.sites.clear();
    auto window = open();
    EXPECT_EQ(window->list.state().rowCount, 0);

    account.sites = fresh;
    EXPECT_EQ(window->list.state().rowCount, 0) << "the catalogue is shown again only on the answer";
    deliverAck();
    EXPECT_EQ(window->list.state().rowCount, 3);
    EXPECT_EQ(column(*window, AdvertisingWebDlg::NameColumn),
              (QStringList{"找服网", "新开发布站", "无址站"}));
}

TEST_F(AdvertisingWebDlgTest, TheAnswerShowsTheNewCatalogueUnsortedAndWithoutSelection)
{
    auto window = open();
    window->list.OnColumnClick(AdvertisingWebDlg::AdCountColumn);
    window->list.pressCell(Cell{0, 0}, false);
    window->list.release(Cell{0, 0});
    ASSERT_TRUE(window->list.isCellSelected(Cell{0, 0}));

    account.sites.erase(account.sites.begin()); // the catalogue shrank
    deliverAck();
    EXPECT_EQ(window->list.state().rowCount, 2);
    EXPECT_EQ(window->list.state().sortColumn, -1);
    EXPECT_FALSE(window->list.isCellSelected(Cell{0, 0}));
    EXPECT_EQ(column(*window, AdvertisingWebDlg::NameColumn), (QStringList{"新开发布站", "无址站"}));
}

TEST_F(AdvertisingWebDlgTest, ClosingUnsubscribesSoALateAnswerChangesNothing)
{
    const std::pair<const char *, std::function<void(AdvertisingWebDlg &)>> endings[] = {
        {"Enter", [](AdvertisingWebDlg &w) { QTest::keyClick(&w, Qt::Key_Return); }},
        {"Escape", [](AdvertisingWebDlg &w) { QTest::keyClick(&w.list, Qt::Key_Escape); }},
        {"CloseBox", [](AdvertisingWebDlg &w) { w.close(); }},
    };
    for (const auto &[name, end] : endings) {
        SCOPED_TRACE(name);
        auto window = open();
        ASSERT_TRUE(MsgDispatcher::hasHandler(kMsgGetAdvertisingWebInfoAck));
        end(*window);
        EXPECT_FALSE(window->isVisible());
        EXPECT_FALSE(MsgDispatcher::hasHandler(kMsgGetAdvertisingWebInfoAck));

        account.sites.pop_back();
        deliverAck();
        EXPECT_EQ(window->list.state().rowCount, int(account.sites.size()) + 1);
        SetUp();
    }
}

TEST_F(AdvertisingWebDlgTest, ClosingLeavesAnotherSubscriberInPlace)
{
    auto first = open();
    auto second = open(); // the last subscriber wins
    first->close();
    EXPECT_TRUE(MsgDispatcher::hasHandler(kMsgGetAdvertisingWebInfoAck));
    account.sites.pop_back();
    deliverAck();
    EXPECT_EQ(second->list.state().rowCount, 2);
    EXPECT_EQ(first->list.state().rowCount, 3);
}

TEST_F(AdvertisingWebDlgTest, ADestroyedWindowIsNoLongerTheSubscriber)
{
    open().reset();
    EXPECT_FALSE(MsgDispatcher::hasHandler(kMsgGetAdvertisingWebInfoAck));
    deliverAck(); // must not reach the destroyed window
}

} // namespace
