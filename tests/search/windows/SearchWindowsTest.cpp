#include <QHeaderView>
#include <QLineEdit>
#include <QTest>

#include "sites/AdvertisingWebDlg.h"
#include "sites/SiteListDialogs.h"
#include "records/CtrlData.h"
#include "res/Resources.h"
#include "search/windows/QueryAdsDlg.h"
#include "search/windows/QueryHisDlg.h"
#include "search/windows/QueryJumpDlg.h"
#include "search/windows/SearchHelpDlg.h"
#include "tests/support/ListOpenChecks.h"
#include "tests/search/windows/SearchWindowFixture.h"
#include "tests/support/TextFit.h"

namespace {

using TestSupport::utf16le;
const QByteArray kMark = TestSupport::kUtf16Mark;

// An answer of `rows` ads numbered from `first`, for `count` ads in all,
// with `counts` site/time rows.
MsgUserSearchAdsAck adsAck(int rows, int count, int searchType = 0, int counts = 0, int first = 0)
{
    MsgUserSearchAdsAck ack;
    for (int i = first; i < first + rows; ++i) {
        Proto::OneAdInfo *ad = ack.body.add_adslist();
        ad->set_strgameweb(QStringLiteral("http://www.game%1.example").arg(i).toStdString());
        ad->set_stradvertisingweb("找服网");
        ad->set_stradname(QStringLiteral("雷霆%1区").arg(i).toStdString());
        ad->set_strip("10.0.0.1");
        ad->set_stropentime("12/10 19:30");
        ad->set_strotherinfo("1.76合击");
    }
    for (int i = 0; i < counts; ++i) {
        Proto::OneAdInfoCount *c = ack.body.add_adslistcount();
        c->set_stradvertisingweb(i % 2 ? "新开发布站" : "找服网");
        c->set_stropentime(QStringLiteral("%1:30").arg(10 + i).toStdString());
        c->set_icount(i + 1);
    }
    ack.body.set_count(count);
    ack.body.set_seachtype(searchType);
    return ack;
}

template <class Msg> void deliver(Msg msg)
{
    MsgDispatcher::Dispatch(nullptr, &msg);
}

QStringList comboItems(const QComboBox &box)
{
    QStringList out;
    for (int i = 0; i < box.count(); ++i)
        out.append(box.itemText(i));
    return out;
}

QStringList cellsOfColumn(const ICtrlData &data, int rows, int column)
{
    QStringList out;
    for (int row = 0; row < rows; ++row)
        out.append(const_cast<ICtrlData &>(data).GetText(row, column));
    return out;
}

class AdSearchTest : public SearchWindowFixture {
protected:
    std::unique_ptr<QueryAdsDlg> openAds(const QDate &today = QDate(2026, 12, 27))
    {
        auto window = std::make_unique<QueryAdsDlg>(context());
        window->setServices(fakes.services());
        window->setToday(today);
        EXPECT_TRUE(window->Create());
        window->Activate(&mainWindow, false);
        return window;
    }

    QComboBox &box(QueryAdsDlg &window, int id) { return *window.control<QComboBox>(id); }

    QWidget mainWindow;
};

TEST_F(AdSearchTest, StartsWithTheHistoryTheChoicesAndNothingChosen)
{
    state.searchHis = {QStringLiteral("冰雪"), QStringLiteral("1.76\\合击")};
    auto window = openAds();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Vorlant--闪电般的速度，不一样的感觉。"));
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->resultList.state().menuId, res::AdResultListMenu);
    EXPECT_EQ(window->countList.state().menuId, res::CellListMenu);

    EXPECT_EQ(comboItems(*window->keyBox()), (QStringList{"1.76\\合击", "冰雪"}));
    QComboBox &dates = box(*window, QueryAdsDlg::DateBox);
    QComboBox &times = box(*window, QueryAdsDlg::TimeBox);
    EXPECT_EQ(dates.count(), 11);
    EXPECT_TRUE(comboItems(dates).contains(QStringLiteral("01/05")));
    EXPECT_TRUE(comboItems(dates).contains(QStringLiteral("12/27")));
    EXPECT_EQ(times.count(), 38);
    // Sorted like the boxes sort: the marks, then the words.
    EXPECT_EQ(times.itemText(0), QStringLiteral("07:00"));
    for (QComboBox *b : {window->keyBox(), &dates, &times}) {
        EXPECT_EQ(b->currentText(), QString());
        EXPECT_EQ(b->completer(), nullptr) << "typed keys are never completed";
    }

    // Nothing chosen: the key goes out as typed.
    type(*window, QStringLiteral("冰"));
    window->sendCommand(SearchWindow::SearchButton);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].key, "冰");
}

TEST_F(AdSearchTest, KeyIsTrimmedJoinedWithTheChoicesAndRecordedOnce)
{
    state.siteListValue = QStringLiteral("找服网~新开发布站");
    auto window = openAds();
    type(*window, QStringLiteral("/1.76\\合击//"));
    box(*window, QueryAdsDlg::DateBox).setEditText(QStringLiteral("12/28"));
    box(*window, QueryAdsDlg::TimeBox).setCurrentIndex(box(*window, QueryAdsDlg::TimeBox).findText("10:30"));
    window->sendCommand(SearchWindow::SearchButton);

    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].type, kMsgUserSearchAdsReq);
    EXPECT_EQ(QString::fromStdString(sent[0].key), QStringLiteral("1.76\\合击\\12/28\\10:30"));
    EXPECT_EQ(sent[0].index, 1);
    EXPECT_EQ(QString::fromStdString(sent[0].adWeb), QStringLiteral("找服网~新开发布站"));
    EXPECT_FALSE(sent[0].hasType);
    EXPECT_FALSE(sent[0].hasArg);
    EXPECT_EQ(state.searchHis, std::set<QString>{QStringLiteral("1.76\\合击")});
    EXPECT_EQ(comboItems(*window->keyBox()), QStringList{QStringLiteral("1.76\\合击")});
    EXPECT_EQ(contents("search_his.txt"), kMark + utf16le(QStringLiteral("1.76\\合击\r\n")));

    // The same terms without a date: sent without it, recorded no second time.
    deliver(adsAck(0, 0));
    box(*window, QueryAdsDlg::DateBox).setEditText(QStringLiteral("不选择日期"));
    box(*window, QueryAdsDlg::TimeBox).setEditText(QString());
    window->sendCommand(SearchWindow::SearchButton);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(QString::fromStdString(sent[1].key), QStringLiteral("1.76\\合击"));
    EXPECT_EQ(contents("search_his.txt"), kMark + utf16le(QStringLiteral("1.76\\合击\r\n")));
    EXPECT_EQ(window->keyBox()->count(), 1);
}

TEST_F(AdSearchTest, EnterInTheKeyBoxSearches)
{
    auto window = openAds();
    window->activateWindow();
    type(*window, QStringLiteral("abc"));
    QTest::keyClick(window->keyBox()->lineEdit(), Qt::Key_Return);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].key, "abc");
    EXPECT_EQ(contents("search_his.txt"), QByteArray::fromHex("fffe610062006300"
                                                              "0d000a00"));
}

TEST_F(AdSearchTest, PagesAccumulateAndTheStatusCounts)
{
    auto window = openAds();
    type(*window, QStringLiteral("合击"));
    window->sendCommand(SearchWindow::SearchButton);
    window->sendCommand(SearchWindow::SearchButton);
    EXPECT_EQ(sent.size(), 1u) << "a second click waits for the first answer";

    deliver(adsAck(20, 45, 0, 4));
    EXPECT_EQ(window->statusText(), QStringLiteral("已请求：20条/共：45条"));
    EXPECT_EQ(window->resultList.state().rowCount, 20);
    EXPECT_EQ(window->countList.state().rowCount, 4);

    window->sendCommand(SearchWindow::MoreButton);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[1].index, 2);
    EXPECT_EQ(sent[1].key, "合击");
    // Editing the box does not change what further pages belong to.
    type(*window, QStringLiteral("other"));
    deliver(adsAck(20, 45, 0, 3, 20));
    EXPECT_EQ(window->statusText(), QStringLiteral("已请求：40条/共：45条"));
    EXPECT_EQ(window->resultList.state().rowCount, 40);
    EXPECT_EQ(window->countList.state().rowCount, 4) << "later pages leave the count list as it was";
    EXPECT_EQ(window->ads[39].strAdName, QStringLiteral("雷霆39区"));

    window->sendCommand(SearchWindow::MoreButton);
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[2].index, 3);
    EXPECT_EQ(sent[2].key, "合击");
    deliver(adsAck(5, 45, 0, 0, 40));
    window->sendCommand(SearchWindow::MoreButton);
    EXPECT_EQ(sent.size(), 3u) << "every row is loaded";

    // A new search empties the results at once and the counts with its first page.
    type(*window, QStringLiteral("神龙"));
    window->sendCommand(SearchWindow::SearchButton);
    EXPECT_TRUE(window->ads.empty());
    EXPECT_EQ(window->resultList.state().rowCount, 0);
    deliver(adsAck(3, 3, 1, 1));
    EXPECT_EQ(window->countList.state().rowCount, 1);
    EXPECT_EQ(window->adCounts.size(), 1u);
    window->sendCommand(SearchWindow::MoreButton);
    EXPECT_EQ(sent.size(), 4u) << "search type 1 ends paging";
}

TEST_F(AdSearchTest, AnAnswerThatNeverComesBlocksOnlyUntilReconnectOrThirtySeconds)
{
    auto window = openAds();
    type(*window, QStringLiteral("a"));
    window->sendCommand(SearchWindow::SearchButton);
    nowMs += 29'000;
    window->sendCommand(SearchWindow::SearchButton);
    EXPECT_EQ(sent.size(), 1u);
    nowMs += 1'000;
    window->sendCommand(SearchWindow::SearchButton);
    EXPECT_EQ(sent.size(), 2u);
    ++state.connectionsMade;
    window->sendCommand(SearchWindow::SearchButton);
    EXPECT_EQ(sent.size(), 3u);
}

// A request sent while the connection is down goes out before the next login
// and the server ignores it: the window asks again once that login is done.
TEST_F(AdSearchTest, ARequestLostToAnOutageIsAskedAgainAfterTheNextLogin)
{
    state.connectionsMade = 1;
    auto window = openAds();
    type(*window, QStringLiteral("合击"));
    window->sendCommand(SearchWindow::SearchButton);
    ASSERT_EQ(sent.size(), 1u);
    emit logins.loggedIn();
    EXPECT_EQ(sent.size(), 1u) << "the same connection: its answer may still come";

    ++state.connectionsMade;
    emit logins.loggedIn();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[1].key, "合击");
    EXPECT_EQ(sent[1].index, 1);
    emit logins.loggedIn();
    EXPECT_EQ(sent.size(), 2u) << "asked once per login";

    deliver(adsAck(20, 45));
    window->sendCommand(SearchWindow::MoreButton);
    ASSERT_EQ(sent.size(), 3u);
    ++state.connectionsMade;
    emit logins.loggedIn();
    ASSERT_EQ(sent.size(), 4u) << "a lost page of more data too";
    EXPECT_EQ(sent[3].index, 2);
    deliver(adsAck(20, 45, 0, 0, 20));
    EXPECT_EQ(window->ads.size(), 40u);

    ++state.connectionsMade;
    emit logins.loggedIn();
    EXPECT_EQ(sent.size(), 4u) << "nothing is waiting";
}

// The opening times show whole in both lists, in the font the window uses.
TEST_F(AdSearchTest, OpeningTimesFitTheirColumns)
{
    auto window = openAds();
    const std::pair<CVirtualListCtrl *, int> columns[] = {{&window->resultList, 4}, {&window->countList, 1}};
    for (const auto &[list, column] : columns) {
        for (const QString &text : {QStringLiteral("12月11日/08:30"), QStringLiteral("12月31日/通宵")}) {
            SCOPED_TRACE(text.toStdString());
            EXPECT_GE(TextFit::cellRoom(list->font(), CVirtualListCtrl::kTextPadding,
                                        list->header()->sectionSize(column), text),
                      0)
                << list->font().family().toStdString();
        }
    }
}

TEST_F(AdSearchTest, EmptyKeySendsNothingAndALaterSearchWorks)
{
    auto window = openAds();
    type(*window, QStringLiteral("///"));
    box(*window, QueryAdsDlg::DateBox).setEditText(QStringLiteral("12/28"));
    window->sendCommand(SearchWindow::SearchButton);
    window->sendCommand(SearchWindow::MoreButton);
    EXPECT_TRUE(sent.empty());
    EXPECT_TRUE(state.searchHis.empty());
    type(*window, QStringLiteral("abc"));
    window->sendCommand(SearchWindow::SearchButton);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].key, "abc\\12/28");
}

TEST_F(AdSearchTest, TextsOverAHundredUnitsShowADash)
{
    auto window = openAds();
    type(*window, QStringLiteral("a"));
    window->sendCommand(SearchWindow::SearchButton);
    MsgUserSearchAdsAck ack = adsAck(2, 2);
    ack.body.mutable_adslist(0)->set_strotherinfo(std::string(101, 'x'));
    ack.body.mutable_adslist(1)->set_strotherinfo(std::string(100, 'y'));
    ack.body.mutable_adslist(1)->set_strgameweb(QString(101, QChar(0x4E2D)).toStdString());
    deliver(ack);
    EXPECT_EQ(window->ads[0].strOtherInfo, QStringLiteral("-"));
    EXPECT_EQ(window->ads[1].strOtherInfo, QString(100, QLatin1Char('y')));
    EXPECT_EQ(window->ads[1].strGameWeb, QStringLiteral("-"));
}

TEST_F(AdSearchTest, CellsOpenTheSiteOrTheGameAddress)
{
    AdvertisingWebData site;
    site.strWebMain = QStringLiteral("找服网");
    site.strWebUrls = QStringLiteral("http://www.zhaofu.example");
    state.sites = {site};
    auto window = openAds();
    type(*window, QStringLiteral("a"));
    window->sendCommand(SearchWindow::SearchButton);
    MsgUserSearchAdsAck ack = adsAck(2, 2, 0, 2);
    ack.body.mutable_adslist(1)->clear_strgameweb();
    deliver(ack);

    ListOpenChecks::expectOpens(window->resultList, fakes.shell,
                                {{"site column", {0, 0}, "http://www.zhaofu.example"},
                                 {"server ip column", {0, 3}, "http://www.game0.example"},
                                 {"other info column", {0, 5}, "http://www.game0.example"},
                                 {"no game address", {1, 2}, nullptr}});
    ListOpenChecks::expectOpens(window->countList, fakes.shell,
                                {{"known site", {0, 0}, "http://www.zhaofu.example"},
                                 {"site not in the catalogue", {1, 2}, nullptr}});
    fakes.shell.opened.clear();
    window->OpenCell({7, 1});
    EXPECT_TRUE(fakes.shell.opened.empty());
}

TEST_F(AdSearchTest, NestedSearchTakesTheAnswersUntilItClosesThenTheOpenerAgain)
{
    auto window = openAds();
    type(*window, QStringLiteral("a"));
    window->sendCommand(SearchWindow::SearchButton);
    deliver(adsAck(3, 3));

    bool checked = false;
    modalRunner = [&](platform::DialogWindow &dialog) {
        auto *nested = dynamic_cast<QueryAdsDlg *>(&dialog);
        EXPECT_NE(nested, nullptr);
        if (!nested)
            return int(platform::IDCANCEL);
        EXPECT_TRUE(nested->Create());
        EXPECT_TRUE(nested->isNested());
        EXPECT_EQ(nested->resultList.state().menuId, res::CellListMenu);
        EXPECT_EQ(nested->keyBox()->currentText(), QStringLiteral("http://www.game1.example"));
        EXPECT_EQ(sent.back().key, "http://www.game1.example");
        EXPECT_EQ(sent.back().index, 1);
        deliver(adsAck(7, 7));
        EXPECT_EQ(nested->ads.size(), 7u);
        EXPECT_EQ(window->ads.size(), 3u) << "the opener is not subscribed meanwhile";
        // The close box ends a nested instance.
        nested->OnSysCommand(QueryAdsDlg::SysCommand::Close);
        EXPECT_FALSE(nested->isSubscribed());
        checked = true;
        return int(platform::IDCANCEL);
    };
    window->SearchGameAds(1);
    EXPECT_TRUE(checked);
    EXPECT_TRUE(window->isSubscribed());
    deliver(adsAck(2, 5, 0, 0, 3));
    EXPECT_EQ(window->ads.size(), 5u);

    // A stale row does nothing.
    const int runs = modalRuns;
    window->SearchGameAds(99);
    window->SearchGameJump(-1);
    window->SearchGameHistory(5);
    EXPECT_EQ(modalRuns, runs);
}

TEST_F(AdSearchTest, RowCommandsOpenTheRedirectAndHistorySearchesForTheGame)
{
    auto window = openAds();
    type(*window, QStringLiteral("a"));
    window->sendCommand(SearchWindow::SearchButton);
    deliver(adsAck(2, 2));

    std::vector<std::pair<std::string, int>> opened;
    modalRunner = [&](platform::DialogWindow &dialog) {
        EXPECT_TRUE(dialog.Create());
        opened.emplace_back(typeid(dialog).name(), sent.back().type);
        // Answers of the other types leave the ad search alone.
        deliver(adsAck(1, 1));
        return int(platform::IDCANCEL);
    };
    window->SearchGameJump(0);
    window->SearchGameHistory(1);
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0].first, typeid(QueryJumpDlg).name());
    EXPECT_EQ(opened[0].second, kMsgUserSearchForwardReq);
    EXPECT_EQ(opened[1].first, typeid(QueryHisDlg).name());
    EXPECT_EQ(opened[1].second, kMsgUserSearchHisReq);
    EXPECT_EQ(sent[1].key, "http://www.game0.example");
    EXPECT_EQ(sent[2].key, "http://www.game1.example");
    EXPECT_EQ(window->ads.size(), 4u) << "the ad search stayed subscribed";
}

TEST_F(AdSearchTest, ButtonsRunTheirWindowsModally)
{
    auto window = openAds();
    std::vector<std::string> ran;
    modalRunner = [&](platform::DialogWindow &dialog) {
        dialog.Create();
        ran.push_back(typeid(dialog).name());
        return int(platform::IDCANCEL);
    };
    for (int id : {QueryAdsDlg::SiteStatusButton, QueryAdsDlg::SiteListButton, QueryAdsDlg::HelpButton,
                   QueryAdsDlg::JumpSearchButton, QueryAdsDlg::HistorySearchButton})
        window->sendCommand(id);
    EXPECT_EQ(
        ran, (std::vector<std::string>{typeid(AdvertisingWebDlg).name(),
                                       typeid(AdvertisingWebSettingDlg).name(), typeid(CSearchHelpDlg).name(),
                                       typeid(QueryJumpDlg).name(), typeid(QueryHisDlg).name()}));
    // The two key searches opened empty: nothing was searched.
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].type, kMsgGetAdvertisingWebInfoReq);
}

TEST_F(AdSearchTest, CloseHidesTheMainInstanceAndEscapeAlsoStopsItsAnswers)
{
    mainWindow.hide();
    auto window = openAds();
    type(*window, QStringLiteral("a"));
    window->sendCommand(SearchWindow::SearchButton);

    window->close();
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(mainWindow.isVisible());
    EXPECT_TRUE(window->isSubscribed());
    deliver(adsAck(2, 2));
    EXPECT_EQ(window->ads.size(), 2u) << "a hidden main instance still takes its answers";

    window->Activate(&mainWindow, false);
    EXPECT_TRUE(window->isVisible());
    window->sendCommand(platform::IDCANCEL);
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(MsgDispatcher::hasHandler(kMsgUserSearchAdsAck));
    deliver(adsAck(2, 4, 0, 0, 2));
    EXPECT_EQ(window->ads.size(), 2u);

    // Activated again, it listens again and keeps its rows, key and page.
    window->Activate(&mainWindow, false);
    deliver(adsAck(2, 4, 0, 0, 2));
    EXPECT_EQ(window->ads.size(), 4u);
}

// Without a tray icon nothing but a window brings the program back.
TEST_F(AdSearchTest, EscapeWithoutATrayIconBringsTheMainWindowBack)
{
    for (const bool trayUp : {true, false}) {
        SCOPED_TRACE(trayUp ? "tray icon up" : "no notification area");
        fakes.tray.available = trayUp;
        fakes.tray.added = trayUp;
        mainWindow.hide();
        auto window = openAds();
        ASSERT_TRUE(window->isVisible());
        window->sendCommand(platform::IDCANCEL);
        EXPECT_FALSE(window->isVisible());
        EXPECT_EQ(mainWindow.isVisible(), !trayUp);
    }
}

TEST_F(AdSearchTest, HelpExplainsTheKeys)
{
    CSearchHelpDlg help;
    ASSERT_TRUE(help.Create());
    EXPECT_EQ(help.windowTitle(), QStringLiteral("搜索帮助"));
    const QString text = help.dialogTemplate().controls.at(0).text;
    EXPECT_TRUE(text.startsWith(QStringLiteral("1.可以输入全网址:如 http")));
    EXPECT_TRUE(text.contains(QStringLiteral("\n\n2.可以输入域名:如 ")));
    EXPECT_TRUE(text.contains(QStringLiteral("输入:\"1.76\\合击\" 可查出同时包含1.76和合击的广告。")));
    help.sendCommand(platform::IDCANCEL);
    EXPECT_EQ(help.result(), platform::IDCANCEL);
}

// The redirect and history searches share everything but their rows.
class KeySearchTest : public SearchWindowFixture {};

MsgUserSearchForwardAck forwardAck(int rows, int count)
{
    MsgUserSearchForwardAck ack;
    for (int i = 0; i < rows; ++i) {
        Proto::ForwardInfo *f = ack.body.add_forwardlist();
        f->set_mainurl(QStringLiteral("http://www.game.example/%1").arg(i).toStdString());
        f->set_maindomain("www.game.example");
        f->set_forwardurl(QStringLiteral("http://jump%1.example/").arg(i).toStdString());
        f->set_forwarddomain(QStringLiteral("jump%1.example").arg(i).toStdString());
        f->set_updatetime("2026-12-10 10:00:00");
    }
    ack.body.set_count(count);
    return ack;
}

MsgUserSearchHisAck historyAck(int rows, int count)
{
    MsgUserSearchHisAck ack;
    for (int i = 0; i < rows; ++i) {
        Proto::HisAdInfo *h = ack.body.add_adslist();
        h->set_strgameweb("http://www.game.example");
        h->set_strgamewebdomain("www.game.example");
        h->set_stradvertisingweb("找服网");
        h->set_stropentime("12月01日/19:30");
        if (i == 0)
            h->set_iadcount(3);
    }
    ack.body.set_count(count);
    return ack;
}

TEST_F(KeySearchTest, RedirectSearchStartsAtPageZeroWithThePresetKey)
{
    auto window = open<QueryJumpDlg>(QStringLiteral("http://www.game.example/"));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("跳转查询"));
    EXPECT_EQ(window->keyBox()->currentText(), QStringLiteral("http://www.game.example/"));
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].type, kMsgUserSearchForwardReq);
    EXPECT_EQ(sent[0].key, "http://www.game.example") << "the trailing slash is trimmed";
    EXPECT_EQ(sent[0].index, 0);
    EXPECT_TRUE(sent[0].hasIndex) << "index 0 is on the wire";

    deliver(forwardAck(15, 30));
    EXPECT_EQ(window->statusText(), QStringLiteral("已请求：15条/共：30条"));
    window->sendCommand(SearchWindow::MoreButton);
    window->sendCommand(SearchWindow::MoreButton);
    EXPECT_EQ(sentIndexes(), (std::vector<int>{0, 1, 2}));
    deliver(forwardAck(15, 30));
    window->sendCommand(SearchWindow::MoreButton);
    EXPECT_EQ(sent.size(), 3u) << "30 of 30 loaded";
    EXPECT_EQ(window->resultList.state().rowCount, 30);

    ListOpenChecks::expectOpens(window->resultList, fakes.shell,
                                {{"address", {0, 0}, "http://www.game.example/0"},
                                 {"domain", {1, 3}, "http://jump1.example"},
                                 {"update time is no address", {2, 4}, nullptr}});
}

TEST_F(KeySearchTest, HistorySearchShowsCountsAndOpensTheGameFromAnyCell)
{
    auto window = open<QueryHisDlg>();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("历史广告查询"));
    EXPECT_TRUE(sent.empty());
    EXPECT_TRUE(MsgDispatcher::hasHandler(kMsgUserSearchHisAck));
    type(*window, QStringLiteral("www.game.example"));
    window->sendCommand(SearchWindow::SearchButton);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].type, kMsgUserSearchHisReq);
    EXPECT_EQ(sent[0].index, 0);
    EXPECT_TRUE(sent[0].hasIndex);

    deliver(historyAck(2, 2));
    EXPECT_EQ(cellsOfColumn(window->adapter, 2, 4), (QStringList{"3", ""}));
    EXPECT_EQ(window->statusText(), QStringLiteral("已请求：2条/共：2条"));
    ListOpenChecks::expectOpens(window->resultList, fakes.shell,
                                {{"site cell opens the game", {1, 2}, "http://www.game.example"}});

    // Count 0: nothing more to ask for.
    type(*window, QStringLiteral("nothing.example"));
    window->sendCommand(SearchWindow::SearchButton);
    deliver(historyAck(0, 0));
    window->sendCommand(SearchWindow::MoreButton);
    EXPECT_EQ(sent.size(), 2u);
}

TEST_F(KeySearchTest, EachWindowKeepsItsOwnHistoryOnce)
{
    auto jumps = open<QueryJumpDlg>();
    for (const char *key : {"abc/", "abc", "/"}) {
        type(*jumps, QString::fromUtf8(key));
        jumps->sendCommand(SearchWindow::SearchButton);
        deliver(forwardAck(0, 0));
    }
    EXPECT_EQ(sent.size(), 2u) << "'/' sends nothing";
    EXPECT_EQ(contents("search_jump_his.txt"), kMark + utf16le(QStringLiteral("abc\r\n")));
    EXPECT_EQ(comboItems(*jumps->keyBox()), QStringList{QStringLiteral("abc")});
    EXPECT_TRUE(state.searchHis.empty());
    EXPECT_TRUE(state.searchHisHis.empty());

    auto history = open<QueryHisDlg>(QStringLiteral("ABC"));
    EXPECT_EQ(contents("search_his_his.txt"), kMark + utf16le(QStringLiteral("ABC\r\n")));
    EXPECT_EQ(state.searchHisHis, std::set<QString>{QStringLiteral("ABC")});
    // A later window offers what the earlier ones searched.
    auto laterJumps = open<QueryJumpDlg>();
    EXPECT_EQ(comboItems(*laterJumps->keyBox()), QStringList{QStringLiteral("abc")});
}

TEST_F(KeySearchTest, AnUnwritableHistoryLosesNoSearchAndLeavesOneLogLine)
{
    // A folder where the file should be: no write can succeed, even as root.
    QFile::remove(path("search_jump_his.txt"));
    ASSERT_TRUE(QDir(dir.path()).mkdir("search_jump_his.txt"));
    ASSERT_TRUE(QDir(dir.path()).mkdir("log"));
    auto window = open<QueryJumpDlg>();
    type(*window, QStringLiteral("www.game.example"));
    window->sendCommand(SearchWindow::SearchButton);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(state.searchJumpHis, std::set<QString>{QStringLiteral("www.game.example")});
    EXPECT_EQ(comboItems(*window->keyBox()), QStringList{QStringLiteral("www.game.example")});
    const QByteArray bytes = contents("log/log_all.txt").mid(2); // after the mark
    const QString log =
        QString::fromUtf16(reinterpret_cast<const char16_t *>(bytes.constData()), bytes.size() / 2);
    EXPECT_EQ(log.count(QStringLiteral("search_jump_his.txt")), 1) << log.toStdString();
    EXPECT_EQ(log.count(QLatin1Char('\n')), 1);
}

TEST_F(KeySearchTest, EscapeUnsubscribesAndLateAnswersAreDropped)
{
    auto window = open<QueryJumpDlg>(QStringLiteral("www.game.example"));
    window->sendCommand(platform::IDCANCEL);
    EXPECT_FALSE(MsgDispatcher::hasHandler(kMsgUserSearchForwardAck));
    deliver(forwardAck(3, 3));
    EXPECT_TRUE(window->forwards.empty());

    // A window destroyed while still open lets go of its type as well.
    {
        auto other = open<QueryHisDlg>();
        EXPECT_TRUE(MsgDispatcher::hasHandler(kMsgUserSearchHisAck));
    }
    EXPECT_FALSE(MsgDispatcher::hasHandler(kMsgUserSearchHisAck));
}

} // namespace
