#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "net/ConnectSession.h"
#include "tests/support/LoopbackPeer.h"

namespace {

using namespace std::chrono_literals;

// Collects what the worker delivers; the test thread waits on it with deadlines.
class RecordingHandler : public IConnectSessionHandler {
public:
    void OnMessage(std::unique_ptr<MsgHeader> msg) override
    {
        std::lock_guard lock(queueLock);
        messages.push_back(std::move(msg));
        changed.notify_all();
    }

    bool waitForCount(size_t n, std::chrono::milliseconds deadline = 5000ms)
    {
        std::unique_lock lock(queueLock);
        return changed.wait_for(lock, deadline, [&] { return messages.size() >= n; });
    }

    std::vector<int> types()
    {
        std::lock_guard lock(queueLock);
        std::vector<int> out;
        for (const auto &m : messages)
            out.push_back(m->type);
        return out;
    }

    template <class T> T *at(size_t i)
    {
        std::lock_guard lock(queueLock);
        return dynamic_cast<T *>(messages.at(i).get());
    }

private:
    std::mutex queueLock;
    std::condition_variable changed;
    std::vector<std::unique_ptr<MsgHeader>> messages;
};

// A session running its worker on a thread for the length of one test.
class SessionFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        session.setDiagnosticSink([this](const std::string &line) {
            std::lock_guard lock(diagnosticsLock);
            diagnostics.push_back(line);
        });
    }

    void start()
    {
        session.configure("127.0.0.1", peer.port(), &handler);
        worker = std::thread([this] { session.Run(); });
    }

    void TearDown() override
    {
        session.stop();
        if (worker.joinable())
            worker.join();
    }

    bool sawDiagnostic(const std::string &line)
    {
        std::lock_guard lock(diagnosticsLock);
        return std::find(diagnostics.begin(), diagnostics.end(), line) != diagnostics.end();
    }

    size_t diagnosticCount()
    {
        std::lock_guard lock(diagnosticsLock);
        return diagnostics.size();
    }

    bool waitForBytes(uint64_t n)
    {
        const auto until = std::chrono::steady_clock::now() + 5s;
        while (session.bytesReceived() < n) {
            if (std::chrono::steady_clock::now() > until)
                return false;
            std::this_thread::yield();
        }
        return true;
    }

    static std::string ackBody(int code)
    {
        Proto::UserLoginAck ack;
        ack.set_code(code);
        ack.set_info("好");
        return ack.SerializePartialAsString();
    }

    LoopbackPeer peer;
    RecordingHandler handler;
    ConnectSession session;
    std::thread worker;
    std::mutex diagnosticsLock;
    std::vector<std::string> diagnostics;
};

TEST_F(SessionFixture, DeliversFramesInOrderWhateverTheChunking)
{
    start();
    ASSERT_TRUE(peer.accept());
    // Two frames in one write.
    peer.write(frameBytes(10, ackBody(0)) + frameBytes(10, ackBody(7)));
    ASSERT_TRUE(handler.waitForCount(2));
    EXPECT_EQ(handler.at<MsgUserLoginAck>(0)->body.code(), 0);
    EXPECT_EQ(handler.at<MsgUserLoginAck>(1)->body.code(), 7);
    EXPECT_EQ(handler.at<MsgUserLoginAck>(1)->body.info(), "好");

    // One frame in three pieces, the first only 11 bytes: nothing until the last.
    Proto::UserAdsChangeNtf ntf;
    ntf.set_ext("a.com;b.com");
    ntf.add_adslist()->set_stradname("传奇一区");
    const std::string frame = frameBytes(11, ntf.SerializePartialAsString());
    uint64_t sent = session.bytesReceived();
    peer.write(frame.substr(0, 11));
    ASSERT_TRUE(waitForBytes(sent += 11));
    peer.write(frame.substr(11, 9));
    ASSERT_TRUE(waitForBytes(sent += 9));
    EXPECT_EQ(handler.types().size(), 2u);
    peer.write(frame.substr(20));
    ASSERT_TRUE(handler.waitForCount(3));
    EXPECT_EQ(handler.at<MsgUserAdsChangeNtf>(2)->body.adslist(0).stradname(), "传奇一区");

    // An unassigned type between two known ones is skipped; reserved is kept.
    peer.write(frameBytes(10, ackBody(1)) + frameBytes(17, "junk") + frameBytes(15, "", 99));
    ASSERT_TRUE(handler.waitForCount(5));
    EXPECT_EQ(handler.types(), (std::vector<int>{10, 10, 11, 10, 15}));
    EXPECT_EQ(handler.at<MsgHeader>(4)->reserved, 99);
}

TEST_F(SessionFixture, BadLengthsDropTheConnectionOnceAndReconnect)
{
    struct Case {
        const char *name;
        int32_t length;
        const char *diagnostic;
    };
    const Case cases[] = {
        {"over the receive buffer", kMaxFrameLength + 1, "消息太大了:{0}"},
        {"below the header size", 11, "消息长度错误:11"},
    };
    start();
    size_t expected = 0;
    for (const Case &c : cases) {
        ASSERT_TRUE(peer.accept()) << c.name;
        std::string bad(12, '\0');
        writeLe32(bad.data(), c.length);
        writeLe32(bad.data() + 4, 11);
        peer.write(frameBytes(1, "") + bad);
        expected += 2; // the greeting, then the one MsgDisconnect
        ASSERT_TRUE(handler.waitForCount(expected)) << c.name;
        EXPECT_EQ(handler.types()[expected - 2], kMsgConnected) << c.name;
        EXPECT_EQ(handler.types()[expected - 1], kMsgDisconnect) << c.name;
        EXPECT_TRUE(peer.waitClosed()) << c.name;
        EXPECT_TRUE(sawDiagnostic(c.diagnostic)) << c.name;
    }
    // ...and the worker came back: a new connection is accepted and works.
    ASSERT_TRUE(peer.accept());
    peer.write(frameBytes(1, ""));
    ASSERT_TRUE(handler.waitForCount(expected + 1));
    EXPECT_EQ(handler.types().size(), expected + 1);
}

TEST_F(SessionFixture, PeerCloseGivesExactlyOneDisconnectAndTheStreamStartsClean)
{
    start();
    ASSERT_TRUE(peer.accept());
    // Half a frame is held when the peer goes away; it must not prefix the next stream.
    peer.write(frameBytes(10, ackBody(3)).substr(0, 14));
    ASSERT_TRUE(waitForBytes(14));
    peer.closeConnection();
    ASSERT_TRUE(handler.waitForCount(1));
    ASSERT_TRUE(peer.accept());
    peer.write(frameBytes(1, ""));
    ASSERT_TRUE(handler.waitForCount(2));
    EXPECT_EQ(handler.types(), (std::vector<int>{kMsgDisconnect, kMsgConnected}));
}

TEST_F(SessionFixture, FrameQueuedWhileDisconnectedGoesOutFirst)
{
    peer.stopListening();
    start();
    MsgUserSearchHisReq search;
    search.body.set_key("abc");
    search.body.set_index(1);
    const int searchLength = session.Send(search);
    ASSERT_EQ(searchLength, 19);
    // Let the worker fail at least one attempt before the server appears.
    const auto until = std::chrono::steady_clock::now() + 5s;
    while (!sawDiagnostic("连接服务器出错！") && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(1ms);
    ASSERT_TRUE(sawDiagnostic("连接服务器出错！"));
    ASSERT_TRUE(peer.listenAgain());
    ASSERT_TRUE(peer.accept());
    peer.write(frameBytes(1, ""));
    ASSERT_TRUE(handler.waitForCount(1));
    MsgUserLoginReq login;
    login.body.set_username("demo");
    login.body.set_password("demo123");
    const int loginLength = session.Send(login);
    const std::string got = peer.read(size_t(searchLength + loginLength));
    ASSERT_EQ(got.size(), size_t(searchLength + loginLength));
    EXPECT_EQ(readLe32(got.data() + 4), kMsgUserSearchHisReq);
    EXPECT_EQ(readLe32(got.data() + searchLength + 4), kMsgUserLoginReq);
}

// While the server is away, attempts spread out instead of coming every
// 100 ms, the log says so once, and the client is back within one cap of the
// server returning.
TEST_F(SessionFixture, OutageSpreadsAttemptsAndHealsWithinOneCap)
{
    peer.stopListening();
    start();
    std::this_thread::sleep_for(10s); // the outage itself, not a wait for a result
    const int attempts = session.connectAttempts();
    std::printf("connection attempts during a 10 s outage: %d (100 at a fixed 100 ms)\n", attempts);
    EXPECT_GE(attempts, 6);
    EXPECT_LE(attempts, 20);
    {
        std::lock_guard lock(diagnosticsLock);
        EXPECT_EQ(diagnostics, std::vector<std::string>{"连接服务器出错！"});
    }

    ASSERT_TRUE(peer.listenAgain());
    const auto back = std::chrono::steady_clock::now();
    ASSERT_TRUE(peer.accept(std::chrono::milliseconds(ReconnectBackoff::kMaxDelayMs + 2000)));
    EXPECT_LT(std::chrono::steady_clock::now() - back, std::chrono::milliseconds(ReconnectBackoff::kMaxDelayMs + 500));
    const auto until = std::chrono::steady_clock::now() + 5s;
    while (diagnosticCount() < 2 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(1ms);
    std::lock_guard lock(diagnosticsLock);
    ASSERT_EQ(diagnostics.size(), 2u);
    int seconds = 0;
    ASSERT_EQ(std::sscanf(diagnostics[1].c_str(), "reconnected after %d s", &seconds), 1) << diagnostics[1];
    EXPECT_GE(seconds, 10);
    EXPECT_LE(seconds, 10 + ReconnectBackoff::kMaxDelayMs / 1000 + 1);
}

TEST_F(SessionFixture, SendAreaRestartsAtTheFrontOnceDrained)
{
    // Both beats are queued before there is a connection, so they leave together and
    // the area is drained at 24 (a worker quick enough to drain the first one alone
    // would already restart the second at the front).
    peer.stopListening();
    start();
    MsgAllHeartBeatNtf beat;
    ASSERT_EQ(session.Send(beat), 12);
    ASSERT_EQ(session.Send(beat), 12);
    ASSERT_TRUE(peer.listenAgain());
    ASSERT_TRUE(peer.accept());
    EXPECT_EQ(peer.read(24).size(), 24u);
    const auto until = std::chrono::steady_clock::now() + 5s;
    while (session.sendReadPosition() != 24 && std::chrono::steady_clock::now() < until)
        std::this_thread::yield();
    EXPECT_EQ(session.sendReadPosition(), 24);
    MsgGetAdvertisingWebInfoReq req;
    ASSERT_EQ(session.Send(req), 12);
    EXPECT_EQ(session.sendWritePosition(), 12);
    EXPECT_EQ(peer.read(12).substr(4, 1), std::string(1, '\x0e'));
}

TEST(ConnectSession, FullSendAreaRefusesAFrameAndKeepsTheQueue)
{
    ConnectSession session; // no worker: nothing drains
    MsgUserSearchHisReq big;
    big.body.set_key(std::string(1000, 'k'));
    int queued = 0;
    while (true) {
        const int n = session.Send(big);
        if (n == 0)
            break;
        queued += n;
    }
    EXPECT_GT(queued, ConnectSession::kSendAreaSize - 1015);
    EXPECT_EQ(session.sendWritePosition(), queued);
    EXPECT_EQ(session.sendReadPosition(), 0);
    // 64 frames of 1,015 bytes leave 576 bytes: a smaller frame still fits the rest.
    ASSERT_GE(ConnectSession::kSendAreaSize - queued, 12);
    MsgAllHeartBeatNtf small;
    EXPECT_EQ(session.Send(small), 12);
    EXPECT_EQ(session.sendWritePosition(), queued + 12);
}

TEST(ConnectSession, StopEndsTheWorkerWhileConnectingOrConnected)
{
    for (bool withPeer : {false, true}) {
        LoopbackPeer peer;
        if (!withPeer)
            peer.stopListening();
        ConnectSession session;
        session.setDiagnosticSink([](const std::string &) {});
        RecordingHandler handler;
        session.configure("127.0.0.1", peer.port(), &handler);
        std::thread worker([&] { session.Run(); });
        if (withPeer) {
            EXPECT_TRUE(peer.accept()); // the worker must be stopped and joined either way
        }
        const auto before = std::chrono::steady_clock::now();
        session.stop();
        worker.join();
        EXPECT_LT(std::chrono::steady_clock::now() - before, 2s);
        EXPECT_EQ(session.state(), ConnectSession::Stopping);
        EXPECT_TRUE(handler.types().empty()) << "a stop delivers no MsgDisconnect";
    }
}

} // namespace
