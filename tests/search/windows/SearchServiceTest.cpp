#include "search/windows/QueryAdsDlg.h"
#include "search/windows/QueryHisDlg.h"
#include "search/windows/QueryJumpDlg.h"
#include "search/SearchKeys.h"
#include "service/search/AdKey.h"
#include "service/search/AdStore.h"
#include "service/demo/DemoData.h"
#include "tests/search/windows/SearchWindowFixture.h"
#include "tests/support/ServiceTestSupport.h"

namespace {

using namespace ServiceTest;

// The windows against the reference service with its demo data, through the
// client's own connection worker on loopback.
class SearchServiceTest : public SearchWindowFixture {
protected:
    void SetUp() override
    {
        SearchWindowFixture::SetUp();
        ASSERT_TRUE(service.start());
        ASSERT_TRUE(DemoData(7, QDate::currentDate()).fill(service->accounts(), service->ads()));
        client = std::make_unique<DataClient>(service->dataPort());
        ASSERT_TRUE(client->logIn(DemoData::kUser, DemoData::kPassword));
    }

    void TearDown() override
    {
        client.reset();
        SearchWindowFixture::TearDown();
    }

    // Requests go to the service instead of the record.
    SearchContext liveContext()
    {
        SearchContext c = context();
        c.send = [this](MsgHeader &msg) {
            record(msg);
            client->send(msg);
        };
        return c;
    }

    template <class Window> std::unique_ptr<Window> openLive(const QString &preset = QString())
    {
        auto window = std::make_unique<Window>(liveContext());
        window->setServices(fakes.services());
        window->presetKey = preset;
        EXPECT_TRUE(window->Create());
        if constexpr (std::is_same_v<Window, QueryAdsDlg>)
            window->Activate(nullptr, true);
        return window;
    }

    // Waits for the next answer of the type and hands it to its subscriber.
    bool answer(int type)
    {
        std::unique_ptr<MsgHeader> msg = client->take(type, 10000);
        if (!msg)
            return false;
        MsgDispatcher::Dispatch(&client->session, msg.get());
        return true;
    }

    // Presses "更多数据" until nothing more goes out; the rows loaded.
    template <class Window> void pageToTheEnd(Window &window, int answerType)
    {
        for (int guard = 0; guard < 500; ++guard) {
            const size_t before = sent.size();
            window.sendCommand(SearchWindow::MoreButton);
            if (sent.size() == before)
                return;
            ASSERT_TRUE(answer(answerType));
        }
        FAIL() << "paging never ended";
    }

    LocalService service;
    std::unique_ptr<DataClient> client;
};

TEST_F(SearchServiceTest, AdSearchPagesThroughEveryMatchOfAKeyWithADay)
{
    auto window = openLive<QueryAdsDlg>();
    type(*window, QStringLiteral("1.76"));
    const QString day = QDate::currentDate().toString(QStringLiteral("MM/dd"));
    window->control<QComboBox>(QueryAdsDlg::DateBox)->setEditText(day);
    window->sendCommand(SearchWindow::SearchButton);
    ASSERT_TRUE(answer(kMsgUserSearchAdsAck));

    const AdPage first = service->ads().searchAds(
        AdQuery::parse(QStringLiteral("1.76\\") + day, QStringLiteral("1"), QDate::currentDate()), 1);
    ASSERT_GT(first.total, int(first.ads.size())) << "the demo data gives several pages";
    EXPECT_EQ(window->paging().totalCount(), first.total);
    EXPECT_EQ(window->adCounts.size(), size_t(first.counts.size()));

    pageToTheEnd(*window, kMsgUserSearchAdsAck);
    EXPECT_EQ(window->ads.size(), size_t(first.total));
    EXPECT_EQ(window->statusText(), QStringLiteral("已请求：%1条/共：%1条").arg(first.total));
    EXPECT_EQ(sent.front().key, ("1.76\\" + day).toStdString());
}

TEST_F(SearchServiceTest, HostileKeysGiveResultsOrNoneNeverAnError)
{
    auto window = openLive<QueryAdsDlg>();
    const QStringList keys = {
        QStringLiteral("\"1.76"),     QStringLiteral("合击*"), QStringLiteral("1.76 NEAR 合击"),
        QStringLiteral("-复古"),      QStringLiteral("a:b"),   QStringLiteral("冰雪\\\"\\*"),
        QString(10000, QChar(0x51B0))};
    for (const QString &key : keys) {
        SCOPED_TRACE(key.left(20).toStdString());
        type(*window, key);
        window->sendCommand(SearchWindow::SearchButton);
        ASSERT_TRUE(answer(kMsgUserSearchAdsAck));
        EXPECT_TRUE(window->paging().searchReady());
        EXPECT_GE(window->paging().totalCount(), 0);
        EXPECT_EQ(window->paging().totalCount(),
                  service->ads()
                      .searchAds(AdQuery::parse(SearchKeys::trimSlashes(key), QStringLiteral("1"),
                                                QDate::currentDate()),
                                 1)
                      .total);
    }
}

TEST_F(SearchServiceTest, RedirectAndHistorySearchesForADemoGame)
{
    const QList<ForwardRecord> anyForward = service->ads().searchForwards(QStringLiteral("."), 0).rows;
    ASSERT_FALSE(anyForward.isEmpty());
    const QString domain = anyForward.first().mainDomain;

    auto jumps = openLive<QueryJumpDlg>(domain);
    ASSERT_TRUE(answer(kMsgUserSearchForwardAck));
    const int forwardTotal = service->ads().searchForwards(domain, 0).total;
    EXPECT_EQ(jumps->paging().totalCount(), forwardTotal);
    pageToTheEnd(*jumps, kMsgUserSearchForwardAck);
    EXPECT_EQ(jumps->forwards.size(), size_t(forwardTotal));
    for (const ForwardData &row : jumps->forwards)
        EXPECT_TRUE((row.MainUrl + row.MainDomain + row.ForwardUrl + row.ForwardDomain)
                        .contains(domain, Qt::CaseInsensitive));
    jumps->sendCommand(platform::IDCANCEL);

    const QList<HistoryRecord> anyHistory = service->ads().searchHistory(QStringLiteral("."), 0).rows;
    ASSERT_FALSE(anyHistory.isEmpty());
    const QString game = anyHistory.first().gameWeb;
    auto history = openLive<QueryHisDlg>(game);
    ASSERT_TRUE(answer(kMsgUserSearchHisAck));
    const int historyTotal = service->ads().searchHistory(SearchKeys::trimSlashes(game), 0).total;
    ASSERT_GT(historyTotal, 0);
    pageToTheEnd(*history, kMsgUserSearchHisAck);
    EXPECT_EQ(history->hisAds.size(), size_t(historyTotal));
    EXPECT_EQ(sent.front().index, 0);
}

} // namespace
