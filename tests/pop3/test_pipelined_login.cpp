// The log-in's CAPA: a server that offers PIPELINING gets USER and PASS in one write, any other
// gets PASS only after a positive reply to USER; a refused USER reads the same either way.
#include "tests/pop3/pop3_fixture.h"

#include <chrono>
#include <thread>

using namespace poptest;

namespace {

Script oneMessage() {
    Script s;
    s.listing = {"1 a"};
    s.messages = {{1, "one\r\n"}};
    return s;
}

}  // namespace

TEST_F(CheckTest, AServerOfferingPipeliningGetsUserAndPassInOneWrite) {
    Script s = oneMessage();
    s.capabilities = {"USER", "PIPELINING"};
    s.holdUserReply = true;  // only a client that sends PASS before USER's reply gets either
    FakePop3 server(s);
    addAccount("box", server.port());
    ASSERT_TRUE(runCheck());
    EXPECT_EQ(server.commands(),
              (std::vector<std::string>{"CAPA", "USER ann", "PASS secret", "UIDL", "RETR 1", "DELE 1", "QUIT"}));
    EXPECT_EQ(g_notices, (std::vector<Notice>{{1, "box"}, {2, "accounts/box/" + itemName("a")}, {5, "box"}, {99, ""}}));
    EXPECT_EQ(nettest::todaysLog().find("secret"), std::string::npos);
}

TEST_F(CheckTest, ARefusedUserEndsTheLoginAlikeWithAndWithoutPipelining) {
    for (bool pipelining : {false, true}) {
        Script s = oneMessage();
        s.userReply = "-ERR who?";
        s.passReply = "-ERR no user";
        if (pipelining) s.capabilities = {"PIPELINING"};
        // PASS's reply comes late, when a client that did not wait for it has sent QUIT.
        s.onCommand = [](const std::string& line) {
            if (line.rfind("PASS", 0) == 0) std::this_thread::sleep_for(std::chrono::milliseconds(200));
        };
        FakePop3 server(s);
        config::deleteAccountKey(accounts, "box");
        addAccount("box", server.port());
        std::size_t logged = nettest::todaysLog().size();
        ASSERT_TRUE(runCheck());
        std::string log = nettest::todaysLog().substr(logged);
        // The password went out ahead only to the server that offers PIPELINING; its reply there
        // is not taken for QUIT's.
        std::vector<std::string> expected = {"CAPA", "USER ann", "QUIT"};
        if (pipelining) expected.insert(expected.begin() + 2, "PASS secret");
        EXPECT_EQ(server.commands(), expected) << pipelining;
        EXPECT_EQ(g_notices, (std::vector<Notice>{{1, "box"}, {4, "box"}, {99, ""}})) << pipelining;
        EXPECT_NE(log.find("MAIL HIGH -ve response to USER : -ERR who?"), std::string::npos) << log;
        EXPECT_NE(log.find("MAIL HIGH POP client authorisation failed"), std::string::npos) << log;
        EXPECT_EQ(log.find("POP Client close : negative response"), std::string::npos) << log;
        EXPECT_EQ(log.find("-ve response to PASS"), std::string::npos) << log;
    }
}

TEST_F(CheckTest, ARefusedPassAfterPipelinedUserFailsTheLogin) {
    Script s = oneMessage();
    s.capabilities = {"PIPELINING"};
    s.passReply = "-ERR [AUTH] wrong";
    FakePop3 server(s);
    addAccount("box", server.port());
    ASSERT_TRUE(runCheck());
    EXPECT_EQ(server.commands(), (std::vector<std::string>{"CAPA", "USER ann", "PASS secret", "QUIT"}));
    EXPECT_EQ(g_notices, (std::vector<Notice>{{1, "box"}, {4, "box"}, {99, ""}}));
    EXPECT_NE(nettest::todaysLog().find("MAIL HIGH -ve response to PASS : -ERR [AUTH] wrong"), std::string::npos);
}

TEST_F(CheckTest, AnEndlessCapabilityListingFailsTheLoginBeforeTheUserName) {
    Script s = oneMessage();
    s.capabilities.assign(1001, "X-FILLER");
    FakePop3 server(s);
    addAccount("box", server.port());
    ASSERT_TRUE(runCheck());
    EXPECT_EQ(server.commands(), std::vector<std::string>{"CAPA"});
    EXPECT_EQ(g_notices, (std::vector<Notice>{{1, "box"}, {4, "box"}, {99, ""}}));
    EXPECT_NE(nettest::todaysLog().find("CAPA listing too long"), std::string::npos);
}
