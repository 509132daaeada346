// The ports the e-mail program is told: the running engine's, else the environment's, else
// the standard ones; each server on its own.
#include "config/local_ports.h"
#include "tests/support/temp_env.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

class LocalPortsTest : public ::testing::Test {
protected:
    void TearDown() override {
        ::unsetenv("TRAWLEX_SMTP_PORT");
        ::unsetenv("TRAWLEX_POP3_PORT");
        removeEngineState();
    }
    static void env(const char* smtp, const char* pop3) {
        ::setenv("TRAWLEX_SMTP_PORT", smtp, 1);
        ::setenv("TRAWLEX_POP3_PORT", pop3, 1);
    }
    static EngineState published(int smtp, int pop3) {
        EngineState s;
        s.pid = 4242;
        s.dataDir = testsupport::worldDir();
        s.smtp = {smtp, true};
        s.pop3 = {pop3, false};  // a server that cannot listen still has its port
        return s;
    }
};

TEST_F(LocalPortsTest, StandardPortsWithoutEngineOrEnvironment) {
    const LocalPorts p = localPorts(std::nullopt);
    EXPECT_EQ(p.smtp, 25);
    EXPECT_EQ(p.pop3, 110);
}

TEST_F(LocalPortsTest, TheEnvironmentWhenItHoldsAPort) {
    env("2525", "1110");
    LocalPorts p = localPorts(std::nullopt);
    EXPECT_EQ(p.smtp, 2525);
    EXPECT_EQ(p.pop3, 1110);
    for (const char* bad : {"", "0", "65536", "25x", "-25"}) {
        env(bad, bad);
        p = localPorts(std::nullopt);
        EXPECT_EQ(p.smtp, 25) << "'" << bad << "'";
        EXPECT_EQ(p.pop3, 110) << "'" << bad << "'";
    }
}

TEST_F(LocalPortsTest, WhatTheEngineReportsWinsServerByServer) {
    env("2525", "1110");
    LocalPorts p = localPorts(published(3025, 3110));
    EXPECT_EQ(p.smtp, 3025);
    EXPECT_EQ(p.pop3, 3110);
    p = localPorts(published(0, 3110));  // no SMTP port in the file
    EXPECT_EQ(p.smtp, 2525);
    EXPECT_EQ(p.pop3, 3110);
}

TEST_F(LocalPortsTest, TheRunningEnginesFileIsRead) {
    env("2525", "1110");
    ASSERT_TRUE(writeEngineState(published(4025, 4110)));
    LocalPorts p = currentLocalPorts();
    EXPECT_EQ(p.smtp, 4025);
    EXPECT_EQ(p.pop3, 4110);
    removeEngineState();
    p = currentLocalPorts();
    EXPECT_EQ(p.smtp, 2525);
    EXPECT_EQ(p.pop3, 1110);
}

}  // namespace
