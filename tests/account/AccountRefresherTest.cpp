#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <optional>
#include <vector>

#include "account/AccountRefresher.h"
#include "tests/support/CannedWebFixture.h"
#include "tests/support/ServiceTestSupport.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using ServiceTest::waitFor;

namespace {

class AccountRefresherTest : public CannedWebFixture {
protected:
    void SetUp() override
    {
        CannedWebFixture::SetUp();
        std::lock_guard guard(state().lock);
        state().userName = QStringLiteral("alice");
        state().password = QStringLiteral("secret");
    }
};

TEST_F(AccountRefresherTest, LogsInAgainEveryPeriodAndStoresWhatItGets)
{
    std::mutex lock;
    std::vector<Clock::time_point> arrivals;
    CannedHttpServer server([&](const QByteArray &) {
        std::lock_guard guard(lock);
        arrivals.push_back(Clock::now());
        return CannedHttpServer::ok("0|1|2|3|m@qq.com|turn " + QByteArray::number(int(arrivals.size())));
    });
    useServer(server);
    const auto period = 300ms;
    AccountRefresher refresher(state(), ServiceBase::Instance(), period);

    const Clock::time_point started = Clock::now();
    refresher.start();
    EXPECT_TRUE(refresher.running());
    ASSERT_TRUE(waitFor([&] { return state().loginFields().noticeText == QStringLiteral("turn 2"); }));
    refresher.stop();
    EXPECT_FALSE(refresher.running());

    // Taken before `lock`: the server holds its own lock while the handler takes `lock`.
    const QByteArray target = server.targets().value(0);
    std::lock_guard guard(lock);
    ASSERT_GE(arrivals.size(), 2u);
    EXPECT_GE(arrivals[0] - started, period) << "the first turn waits one period";
    EXPECT_GE(arrivals[1] - arrivals[0], period);
    const AccountState::LoginFields fields = state().loginFields();
    EXPECT_EQ(fields.loginCode, 0);
    EXPECT_EQ(fields.mailbox, QStringLiteral("m@qq.com"));
    EXPECT_EQ(QueryParameter(target, "user"), QStringLiteral("alice"));
    EXPECT_EQ(QueryParameter(target, "pass"), QStringLiteral("secret"));
    EXPECT_EQ(QueryParameter(target, "type"), QStringLiteral("2"));
}

// The web service answers once, then goes quiet in one of three ways: every
// later turn must end within the request limits and leave each field as the
// answered turn stored it (the title keeps its mailbox, the banner its page).
TEST_F(AccountRefresherTest, TurnsWhileTheServiceIsGoneChangeNothing)
{
    using R = CannedHttpServer::Reply;
    const std::pair<const char *, R> outages[] = {
        {"silent", CannedHttpServer::silent()},
        {"trickling", CannedHttpServer::trickle()},
        {"server error", CannedHttpServer::withStatus(503, "busy")},
    };
    for (const auto &[name, outage] : outages) {
        SCOPED_TRACE(name);
        std::atomic<int> requests{0};
        CannedHttpServer server([&, reply = outage](const QByteArray &) {
            return ++requests == 1 ? CannedHttpServer::ok("0|1|2|3|m@qq.com|notice|http://l/|7|http://p/") : reply;
        });
        useServer(server);
        ServiceBase::Instance().setTimeouts(HttpTimeouts{200ms, 400ms});
        AccountRefresher refresher(state(), ServiceBase::Instance(), 50ms);
        refresher.start();
        ASSERT_TRUE(waitFor([&] { return state().loginFields().mailbox == QStringLiteral("m@qq.com"); }));
        const AccountState::LoginFields answered = state().loginFields();
        // Two more turns have started: the first of them has ended, on its time-out.
        ASSERT_TRUE(waitFor([&] { return requests.load() >= 3; }));
        refresher.stop();

        const AccountState::LoginFields now = state().loginFields();
        EXPECT_EQ(now.mailbox, answered.mailbox);
        EXPECT_EQ(now.noticeText, QStringLiteral("notice"));
        EXPECT_EQ(now.linkUrl, QStringLiteral("http://l/"));
        EXPECT_EQ(now.pageUrl, QStringLiteral("http://p/"));
        EXPECT_EQ(now.loginCode, 0);
        EXPECT_EQ(now.loginMessage, answered.loginMessage);
        EXPECT_EQ(now.userName, QStringLiteral("alice"));
        EXPECT_EQ(now.password, QStringLiteral("secret"));
    }
}

TEST_F(AccountRefresherTest, StopBetweenTurnsEndsTheThreadAtOnce)
{
    CannedHttpServer server([](const QByteArray &) { return CannedHttpServer::ok("0|1|2|3|m"); });
    useServer(server);
    AccountRefresher refresher(state(), ServiceBase::Instance(), std::chrono::hours(1));
    refresher.start();
    const Clock::time_point asked = Clock::now();
    refresher.stop();
    EXPECT_LT(Clock::now() - asked, 2s);
    EXPECT_FALSE(refresher.running());
    EXPECT_TRUE(server.targets().isEmpty());
}

// Lets a hanging handler go, at the latest when it is destroyed.
class Gate {
public:
    ~Gate() { open(); }
    void open()
    {
        if (!opened) {
            opened = true;
            promise.set_value();
        }
    }
    // The copy keeps the shared state alive while a waiter returns from a gate
    // its owner has just opened and destroyed.
    void wait() const
    {
        const std::shared_future<void> mine = future;
        mine.wait();
    }

private:
    std::promise<void> promise;
    std::shared_future<void> future = promise.get_future().share();
    bool opened = false;
};

// Stop must not wait for a hanging request; the turn still completes once the
// request returns, as it would have without the stop.
TEST_F(AccountRefresherTest, StopDoesNotWaitForARequestInFlight)
{
    std::optional<CannedHttpServer> server;
    Gate gate; // destroyed before the server, which waits for its handler
    std::atomic<int> requests{0};
    server.emplace([&](const QByteArray &) {
        ++requests;
        gate.wait();
        return CannedHttpServer::ok("0|1|2|3|m@qq.com|late");
    });
    useServer(*server);
    // Long enough that waiting for the request would show, short enough that it ends.
    ServiceBase::Instance().setTimeouts(HttpTimeouts{5s, 5s});

    AccountRefresher refresher(state(), ServiceBase::Instance(), 20ms);
    refresher.start();
    ASSERT_TRUE(waitFor([&] { return requests.load() == 1; }));
    const Clock::time_point asked = Clock::now();
    refresher.stop();
    EXPECT_LT(Clock::now() - asked, 2s);
    EXPECT_FALSE(refresher.running());

    gate.open();
    EXPECT_TRUE(waitFor([&] { return state().loginFields().noticeText == QStringLiteral("late"); }));
}

} // namespace
