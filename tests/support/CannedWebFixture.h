#pragma once

#include <gtest/gtest.h>

#include "tests/support/CannedHttpServer.h"
#include "account/AccountState.h"
#include "account/ServiceBase.h"

// The client's web calls answered by a canned loopback server of the test's
// own (not the reference service), every test from a fresh account.
class CannedWebFixture : public ::testing::Test {
protected:
    void SetUp() override { AccountState::Instance().resetForTests(); }
    void TearDown() override
    {
        ServiceBase::Instance().restoreDefaults();
        AccountState::Instance().resetForTests();
    }
    static void useServer(const CannedHttpServer &server)
    {
        ServiceBase::Instance().setEndpoint(QStringLiteral("127.0.0.1"), server.port());
    }
    static AccountState &state() { return AccountState::Instance(); }
};
