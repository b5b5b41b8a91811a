#include <gtest/gtest.h>

#include <QHeaderView>
#include <QTest>

#include "platform/DialogUnits.h"
#include "account/AccountState.h"
#include "app/ShowAdsDlg.h"
#include "tests/support/ListOpenChecks.h"
#include "tests/support/RecordingServices.h"

namespace {

const QString kWatched = QStringLiteral("http://www.a-game.com");

OneAdData ad(const QString &site, const QString &name, const QString &openTime,
             const QString &game = QStringLiteral("http://www.a-game.com/x"))
{
    OneAdData data;
    data.strGameWeb = game;
    data.strAdvertisingWeb = site;
    data.strAdName = name;
    data.strIp = QStringLiteral("10.0.0.1");
    data.strOpenTime = openTime;
    data.strOtherInfo = QStringLiteral("首区");
    return data;
}

class ShowAdsDlgTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Inserted 站B first: the window still follows the store's order.
        account.adStore[kWatched][QStringLiteral("站B")][QStringLiteral("10:00")] = {
            ad(QStringLiteral("站B"), QStringLiteral("b1"), QStringLiteral("10:00"))};
        account.adStore[kWatched][QStringLiteral("站A")][QStringLiteral("19:00")] = {
            ad(QStringLiteral("站A"), QStringLiteral("a3"), QStringLiteral("19:00"), QString())};
        account.adStore[kWatched][QStringLiteral("站A")][QStringLiteral("09:00")] = {
            ad(QStringLiteral("站A"), QStringLiteral("a1"), QStringLiteral("09:00")),
            ad(QStringLiteral("站A"), QStringLiteral("a2"), QStringLiteral("09:00"))};
        account.adStore[QStringLiteral("http://other.com")][QStringLiteral("站A")][QStringLiteral("09:00")] =
            {ad(QStringLiteral("站A"), QStringLiteral("other"), QStringLiteral("09:00"))};

        AdvertisingWebData site;
        site.strWebMain = QStringLiteral("站A");
        site.strWebUrls = QStringLiteral("http://u1.example;http://u2.example");
        account.sites.push_back(site);
    }

    std::unique_ptr<ShowAdsDlg> open(const QString &url)
    {
        auto window = std::make_unique<ShowAdsDlg>(account, url);
        window->setServices(fakes.services());
        EXPECT_TRUE(window->Create());
        window->show();
        return window;
    }

    static QStringList names(const ShowAdsDlg &window)
    {
        QStringList out;
        for (const OneAdData &row : window.rows)
            out.append(row.strAdName);
        return out;
    }

    AccountData account;
    platform::RecordingServices fakes;
};

TEST_F(ShowAdsDlgTest, ListsTheAddressAdsInStoreOrderUnderSixColumns)
{
    auto window = open(kWatched);
    EXPECT_EQ(window->item(ShowAdsDlg::AdList), &window->list);
    EXPECT_EQ(names(*window), (QStringList{"a1", "a2", "a3", "b1"}));
    EXPECT_EQ(window->list.state().rowCount, 4);

    const QStringList titles = {"发布站网址", "游戏网址", "服务器名", "服务器IP", "开机时间", "其它信息"};
    const int widths[] = {150, 220, 120, 120, 95, 450};
    ASSERT_EQ(window->list.state().columnCount, 6);
    for (int column = 0; column < 6; ++column) {
        EXPECT_EQ(window->list.itemModel()->headerData(column, Qt::Horizontal).toString(), titles[column]);
        EXPECT_EQ(window->list.header()->sectionSize(column),
                  platform::scaledToFont(widths[column], window->list.font()))
            << column;
    }
    const QStringList expectedCells = {"站A", "http://www.a-game.com/x", "a1", "10.0.0.1", "09:00", "首区"};
    for (int column = 0; column < 6; ++column)
        EXPECT_EQ(window->adapter.GetText(0, column), expectedCells[column]);
}

TEST_F(ShowAdsDlgTest, AnUnknownAddressListsNothingAndAddsNothingToTheStore)
{
    auto window = open(QStringLiteral("http://nothing.com"));
    EXPECT_TRUE(window->rows.empty());
    EXPECT_EQ(window->list.state().rowCount, 0);
    EXPECT_EQ(account.adStore.count(QStringLiteral("http://nothing.com")), 0u);
}

TEST_F(ShowAdsDlgTest, DoubleClickOpensTheGameAddressOrThePublishingSite)
{
    auto window = open(kWatched);
    ListOpenChecks::expectOpens(
        window->list, fakes.shell,
        {
            {"GameColumn", {0, 1}, "http://www.a-game.com/x"},
            // The site's addresses go out as one text "u1;u2": the safe open takes the first.
            {"IpColumnOpensTheSite", {0, 3}, "http://u1.example"},
            {"SiteColumn", {1, 0}, "http://u1.example"},
            {"EmptyGameAddress", {2, 1}, nullptr},
            {"SiteNotInTheCatalogue", {3, 4}, nullptr},
        });
}

TEST_F(ShowAdsDlgTest, ShowsASnapshotUntilOpenedAgain)
{
    auto first = open(kWatched);
    account.adStore[kWatched][QStringLiteral("站C")][QStringLiteral("20:00")] = {
        ad(QStringLiteral("站C"), QStringLiteral("c1"), QStringLiteral("20:00"))};
    EXPECT_EQ(names(*first), (QStringList{"a1", "a2", "a3", "b1"}));
    EXPECT_EQ(first->list.state().rowCount, 4);
    EXPECT_EQ(names(*open(kWatched)), (QStringList{"a1", "a2", "a3", "b1", "c1"}));
}

TEST_F(ShowAdsDlgTest, EnterEscapeAndTheCloseBoxEndIt)
{
    const std::pair<const char *, std::function<void(ShowAdsDlg &)>> endings[] = {
        {"Enter", [](ShowAdsDlg &w) { QTest::keyClick(&w, Qt::Key_Return); }},
        {"Escape", [](ShowAdsDlg &w) { QTest::keyClick(&w.list, Qt::Key_Escape); }},
        {"CloseBox", [](ShowAdsDlg &w) { w.close(); }},
    };
    for (const auto &[name, end] : endings) {
        SCOPED_TRACE(name);
        auto window = open(kWatched);
        end(*window);
        EXPECT_FALSE(window->isVisible());
        EXPECT_NE(window->result(), 0);
    }
}

} // namespace
