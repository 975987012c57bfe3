#pragma once
// Fixture of the network tests: a private home (CTempHomeTest), a private
// runtime folder for the named events (so parallel tests, and a reader the
// developer runs, never see each other's events), and a loopback server.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "TestSupport.h"
#include "platform/ConnMgr.h"
#include "support/LoopbackHttpServer.h"
#include "update/ConnectionManager.h"

class CNetTest : public CTempHomeTest {
protected:
    void SetUp() override
    {
        CTempHomeTest::SetUp();
        const std::string runtime = HomePath("run");
        ASSERT_EQ(::mkdir(runtime.c_str(), 0700), 0);
        setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        ASSERT_TRUE(m_server.Start());
    }

    void TearDown() override
    {
        m_server.Stop();
        CConnectionManager::DestroyInstance();
        ConnMgrSetNetworkAvailableForTesting(true);
        CTempHomeTest::TearDown();
    }

    CLoopbackHttpServer m_server;
};
