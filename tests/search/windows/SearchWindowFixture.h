#pragma once

#include <functional>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include <QComboBox>

#include "account/AccountState.h"
#include "account/SearchHistory.h"
#include "net/MsgDispatcher.h"
#include "net/message.pb.h"
#include "search/windows/SearchWindow.h"
#include "tests/support/AccountFiles.h"
#include "tests/support/RecordingServices.h"

// A request as it went out: its type and the body fields the windows set.
struct SentRequest {
    int type = 0;
    std::string key;
    int index = -1;
    bool hasIndex = false;
    std::string adWeb;
    bool hasType = false; // ad search only: Type and Arg must stay absent
    bool hasArg = false;
};

// The account in a temporary baseDir with its three history files loaded,
// a context whose requests are recorded and whose modal runs the test
// controls, and a clean dispatcher.
class SearchWindowFixture : public TestSupport::AccountDirTest {
protected:
    void SetUp() override
    {
        AccountDirTest::SetUp();
        MsgDispatcher::clear();
        loadSearchHistories(state);
    }

    void TearDown() override
    {
        MsgDispatcher::clear();
        AccountDirTest::TearDown();
    }

    SearchContext context()
    {
        SearchContext c;
        c.account = &state;
        c.send = [this](MsgHeader &msg) { record(msg); };
        c.clock = [this] { return nowMs; };
        c.logins = &logins;
        c.runModal = [this](platform::DialogWindow &window) {
            ++modalRuns;
            if (modalRunner)
                return modalRunner(window);
            window.Create();
            return int(platform::IDCANCEL);
        };
        return c;
    }

    // Creates a window of the given class on the test's context and shows it.
    template <class Window> std::unique_ptr<Window> open(const QString &preset = QString())
    {
        auto window = std::make_unique<Window>(context());
        window->setServices(fakes.services());
        window->presetKey = preset;
        EXPECT_TRUE(window->Create());
        window->show();
        return window;
    }

    void record(MsgHeader &msg)
    {
        SentRequest r;
        r.type = msg.type;
        if (auto *ads = dynamic_cast<MsgUserSearchAdsReq *>(&msg)) {
            r.key = ads->body.key();
            r.index = ads->body.index();
            r.hasIndex = ads->body.has_index();
            r.adWeb = ads->body.adweb();
            r.hasType = ads->body.has_type();
            r.hasArg = ads->body.has_arg();
        } else if (auto *jumps = dynamic_cast<MsgUserSearchForwardReq *>(&msg)) {
            r.key = jumps->body.key();
            r.index = jumps->body.index();
            r.hasIndex = jumps->body.has_index();
        } else if (auto *history = dynamic_cast<MsgUserSearchHisReq *>(&msg)) {
            r.key = history->body.key();
            r.index = history->body.index();
            r.hasIndex = history->body.has_index();
        }
        sent.push_back(r);
    }

    // Indexes of the requests sent so far, in order.
    std::vector<int> sentIndexes() const
    {
        std::vector<int> out;
        for (const SentRequest &r : sent)
            out.push_back(r.index);
        return out;
    }

    static void type(SearchWindow &window, const QString &text) { window.keyBox()->setEditText(text); }

    platform::RecordingServices fakes;
    LoginNotices logins;
    std::vector<SentRequest> sent;
    qint64 nowMs = 1'000'000;
    int modalRuns = 0;
    std::function<int(platform::DialogWindow &)> modalRunner;
};
