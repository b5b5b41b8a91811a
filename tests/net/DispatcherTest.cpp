#include <gtest/gtest.h>

#include <string>
#include <vector>

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
        MsgDispatcher::Clear();
        calls.clear();
    }
    void TearDown() override { MsgDispatcher::Clear(); }
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
    EXPECT_TRUE(MsgDispatcher::HasHandler(13));
    MsgDispatcher::Unsubscribe(13, &b, &Window::g);
    EXPECT_FALSE(MsgDispatcher::HasHandler(13));
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
    EXPECT_TRUE(MsgDispatcher::HasHandler(19));
    MsgDispatcher::Unsubscribe(19, &freeHandler);
    EXPECT_FALSE(MsgDispatcher::HasHandler(19));
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

} // namespace
