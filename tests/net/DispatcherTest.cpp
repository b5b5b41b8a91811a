#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/ConnectSession.h"
#include "net/MsgDispatcher.h"
#include "net/MsgHeader.h"

namespace {

std::vector<std::string> calls;

struct Window {
    std::string name;
    void f(ConnectSession *, MsgHeader *msg) { calls.push_back(name + ".f" + std::to_string(msg->type)); }
    void g(ConnectSession *, MsgHeader *msg) { calls.push_back(name + ".g" + std::to_string(msg->type)); }
};

void freeHandler(ConnectSession *, MsgHeader *msg)
{
    calls.push_back("free" + std::to_string(msg->type));
}

class Dispatcher : public ::testing::Test {
protected:
    void SetUp() override
    {
        MsgDispatcher::clear();
        calls.clear();
    }
    void TearDown() override { MsgDispatcher::clear(); }
    static void dispatch(int type)
    {
        MsgHeader msg(type);
        MsgDispatcher::Dispatch(nullptr, &msg);
    }
};

TEST_F(Dispatcher, LastSubscriberWinsAndOnlyItCanUnsubscribe)
{
    Window a{"A"}, b{"B"};
    MsgDispatcher::Subscribe(13, &a, &Window::f);
    MsgDispatcher::Subscribe(13, &b, &Window::g);
    dispatch(13);
    EXPECT_EQ(calls, std::vector<std::string>{"B.g13"});

    MsgDispatcher::Unsubscribe(13, &a, &Window::f); // no longer A's: nothing changes
    MsgDispatcher::Unsubscribe(13, &b, &Window::f); // same object, other function
    MsgDispatcher::Unsubscribe(13, &a, &Window::g); // same function, other object
    EXPECT_TRUE(MsgDispatcher::hasHandler(13));
    MsgDispatcher::Unsubscribe(13, &b, &Window::g);
    EXPECT_FALSE(MsgDispatcher::hasHandler(13));
    dispatch(13);
    EXPECT_EQ(calls.size(), 1u);
}

TEST_F(Dispatcher, FreeFunctionsAndUnhandledTypes)
{
    Window a{"A"};
    MsgDispatcher::Subscribe(19, &freeHandler);
    MsgDispatcher::Subscribe(21, &a, &Window::f);
    dispatch(19);
    dispatch(21);
    dispatch(16); // nobody listens: dropped quietly
    EXPECT_EQ(calls, (std::vector<std::string>{"free19", "A.f21"}));
    MsgDispatcher::Unsubscribe(19, &a, &Window::f);
    EXPECT_TRUE(MsgDispatcher::hasHandler(19));
    MsgDispatcher::Unsubscribe(19, &freeHandler);
    EXPECT_FALSE(MsgDispatcher::hasHandler(19));
}

struct SelfRemover {
    void onMsg(ConnectSession *, MsgHeader *)
    {
        ++seen;
        MsgDispatcher::Unsubscribe(13, this, &SelfRemover::onMsg);
    }
    int seen = 0;
};

TEST_F(Dispatcher, HandlerMayUnsubscribeItselfWhileDispatched)
{
    SelfRemover r;
    MsgDispatcher::Subscribe(13, &r, &SelfRemover::onMsg);
    dispatch(13);
    dispatch(13);
    EXPECT_EQ(r.seen, 1);
}

// Typed handlers: each takes its own message class.
struct TypedWindow {
    std::string name;
    void loginAck(ConnectSession *, MsgUserLoginAck &msg)
    {
        calls.push_back(name + ".loginAck code=" + std::to_string(msg.body.code()));
    }
    void otherLoginAck(ConnectSession *, MsgUserLoginAck &) { calls.push_back(name + ".otherLoginAck"); }
    void adsChange(ConnectSession *session, MsgUserAdsChangeNtf &msg)
    {
        calls.push_back(name + ".adsChange ads=" + std::to_string(msg.body.adslist_size()));
        lastSession = session;
    }
    void disconnect(ConnectSession *, MsgDisconnect &msg)
    {
        calls.push_back(name + ".disconnect" + std::to_string(msg.type));
    }
    ConnectSession *lastSession = nullptr;
};

TEST_F(Dispatcher, TypedHandlerReceivesItsOwnMessageClass)
{
    TypedWindow a{"A"};
    MsgDispatcher::Subscribe(&a, &TypedWindow::loginAck);
    MsgDispatcher::Subscribe(&a, &TypedWindow::adsChange);
    MsgDispatcher::Subscribe(&a, &TypedWindow::disconnect);
    EXPECT_TRUE(MsgDispatcher::hasHandler(kMsgUserLoginAck));
    EXPECT_TRUE(MsgDispatcher::hasHandler(kMsgUserAdsChangeNtf));
    EXPECT_TRUE(MsgDispatcher::hasHandler(kMsgDisconnect));

    MsgUserLoginAck ack;
    ack.body.set_code(7);
    MsgUserAdsChangeNtf ads;
    ads.body.add_adslist();
    ads.body.add_adslist();
    MsgDisconnect gone;
    ConnectSession session;
    MsgDispatcher::Dispatch(nullptr, &ack);
    MsgDispatcher::Dispatch(&session, &ads);
    MsgDispatcher::Dispatch(nullptr, &gone);
    EXPECT_EQ(calls, (std::vector<std::string>{"A.loginAck code=7", "A.adsChange ads=2",
                                               "A.disconnect" + std::to_string(kMsgDisconnect)}));
    EXPECT_EQ(a.lastSession, &session);
}

TEST_F(Dispatcher, TypedAndUntypedShareOneTableLastSubscriberWins)
{
    TypedWindow typed{"T"};
    Window plain{"P"};
    MsgDispatcher::Subscribe(&typed, &TypedWindow::loginAck);
    MsgDispatcher::Subscribe(kMsgUserLoginAck, &plain, &Window::f);
    MsgUserLoginAck ack;
    MsgDispatcher::Dispatch(nullptr, &ack);
    // The typed form no longer owns the type: unsubscribing it changes nothing.
    MsgDispatcher::Unsubscribe(&typed, &TypedWindow::loginAck);
    MsgDispatcher::Dispatch(nullptr, &ack);
    MsgDispatcher::Subscribe(&typed, &TypedWindow::loginAck);
    MsgDispatcher::Dispatch(nullptr, &ack);
    const std::string f = "P.f" + std::to_string(kMsgUserLoginAck);
    EXPECT_EQ(calls, (std::vector<std::string>{f, f, "T.loginAck code=0"}));
}

TEST_F(Dispatcher, TypedUnsubscribeOnlyForTheSameObjectAndFunction)
{
    struct Case {
        const char *name;
        void (*unsubscribe)(TypedWindow &self, TypedWindow &other);
        bool stillHandled;
    };
    const Case cases[] = {
        {"other object",
         [](TypedWindow &, TypedWindow &other) {
             MsgDispatcher::Unsubscribe(&other, &TypedWindow::loginAck);
         },
         true},
        {"other function",
         [](TypedWindow &self, TypedWindow &) {
             MsgDispatcher::Unsubscribe(&self, &TypedWindow::otherLoginAck);
         },
         true},
        {"other message type",
         [](TypedWindow &self, TypedWindow &) { MsgDispatcher::Unsubscribe(&self, &TypedWindow::adsChange); },
         true},
        {"same object and function",
         [](TypedWindow &self, TypedWindow &) { MsgDispatcher::Unsubscribe(&self, &TypedWindow::loginAck); },
         false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        MsgDispatcher::clear();
        TypedWindow self{"S"}, other{"O"};
        MsgDispatcher::Subscribe(&self, &TypedWindow::loginAck);
        c.unsubscribe(self, other);
        EXPECT_EQ(MsgDispatcher::hasHandler(kMsgUserLoginAck), c.stillHandled);
    }
}

struct TypedSelfRemover {
    void onAck(ConnectSession *, MsgUserLoginAck &)
    {
        ++seen;
        MsgDispatcher::Unsubscribe(this, &TypedSelfRemover::onAck);
    }
    int seen = 0;
};

TEST_F(Dispatcher, TypedHandlerMayUnsubscribeItselfWhileDispatched)
{
    TypedSelfRemover r;
    MsgDispatcher::Subscribe(&r, &TypedSelfRemover::onAck);
    MsgUserLoginAck ack;
    MsgDispatcher::Dispatch(nullptr, &ack);
    MsgDispatcher::Dispatch(nullptr, &ack);
    EXPECT_EQ(r.seen, 1);
    EXPECT_FALSE(MsgDispatcher::hasHandler(kMsgUserLoginAck));
}

TEST_F(Dispatcher, TypedHandlerIgnoresAnotherClassCarryingItsTypeId)
{
    TypedWindow a{"A"};
    MsgDispatcher::Subscribe(&a, &TypedWindow::loginAck);
    dispatch(kMsgUserLoginAck); // a bare header, not an MsgUserLoginAck
    EXPECT_TRUE(calls.empty());
    EXPECT_TRUE(MsgDispatcher::hasHandler(kMsgUserLoginAck));
}

} // namespace
