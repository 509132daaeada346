// The local POP3 server in this process, with a shortened inactivity time-out: a client that
// falls silent anywhere (after any command, in the middle of a line, or while not reading a
// long reply) is disconnected, and an item whose reply was cut off stays unread.
#include "net/connection.h"
#include "platform/clock.h"
#include "pop3/login_throttle.h"
#include "pop3/pop_server.h"
#include "config/settings.h"
#include "store/read_state.h"
#include "tests/net/net_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

using namespace nettest;
namespace fs = std::filesystem;

namespace {

const char kDropDir[] = "accounts/ann@pop.example.net/";

class PopInProcess : public ::testing::Test {
protected:
    void SetUp() override {
        fs::remove_all("accounts");
        fs::create_directory("accounts");
        plat::RegKey accounts;
        ASSERT_TRUE(config::openAccountsKey(accounts));
        (void)config::deleteAccountKey(accounts, "home");
        ASSERT_TRUE(config::createAccount(accounts, {"home", "pop.example.net", 110, "ann", "pw", "M", "/bin/m"}));
        owner = makeOwner();
        server = std::make_unique<POPServer>(owner, Peers::LocalOnly, kAccountsKey);
        {
            RawListener probe;
            port = probe.port;
        }
        ASSERT_TRUE(server->listen(port));
        Connection::timeoutMs = 200;
    }
    void TearDown() override {
        Connection::timeoutMs = Connection::kDefaultTimeoutMs;
        server.reset();
        plat::destroyWindow(owner);
    }
    int connectAndGreet() {
        int fd = rawConnect(port);
        EXPECT_TRUE(waitFor([&] { return server->sessionCount() == 1; }));
        plat::pumpMessages(20);
        EXPECT_EQ(readLine(fd), "+OK POP3 server ready\r\n");
        return fd;
    }
    // Sends text, pumps the loop a little and reads one reply line.
    std::string ask(int fd, const std::string& text) {
        sendText(fd, text);
        plat::pumpMessages(50);
        return readLine(fd);
    }
    // Pumps the loop until a whole line has arrived (at most ms); answers it, or "" if none.
    std::string replyWithin(int fd, int ms) {
        long long end = plat::monotonicMs() + ms;
        while (plat::monotonicMs() < end) {
            plat::pumpMessages(10);
            char buf[512];
            long n = ::recv(fd, buf, sizeof buf, MSG_PEEK | MSG_DONTWAIT);
            if (n > 0 && std::string(buf, static_cast<std::size_t>(n)).find("\r\n") != std::string::npos) {
                return readLine(fd);
            }
        }
        return "";
    }
    plat::HWND owner = 0;
    std::unique_ptr<POPServer> server;
    int port = 0;
};

TEST_F(PopInProcess, AClientThatFallsSilentAnywhereIsDisconnected) {
    testsupport::writeFile(std::string(kDropDir) + "1.rfc822", "Subject: x\r\n\r\nbody\r\n");
    struct Case {
        const char* label;
        const char* commands;  // whole commands, each answered with one line
        const char* unfinished;
    } cases[] = {
        {"after the greeting", "", ""},
        {"in the middle of USER", "", "US"},
        {"after USER, in the middle of PASS", "USER home\r\n", "PASS p"},
        {"after UIDL n", "USER home\r\nPASS pw\r\nUIDL 1\r\n", ""},
        {"after a refused command", "USER home\r\nPASS pw\r\nRSET\r\n", ""},
        {"in the middle of RETR", "USER home\r\nPASS pw\r\n", "RETR 1"},
    };
    for (const Case& c : cases) {
        int fd = connectAndGreet();
        std::string commands = c.commands;
        for (std::size_t at = 0; (at = commands.find("\r\n")) != std::string::npos; commands.erase(0, at + 2)) {
            EXPECT_NE(ask(fd, commands.substr(0, at + 2)), "") << c.label;
        }
        sendText(fd, c.unfinished);
        EXPECT_TRUE(waitFor([&] { return server->sessionCount() == 0; }, 3000)) << c.label;
        ::close(fd);
    }
}

TEST_F(PopInProcess, AClientThatStopsReadingALongItemIsDisconnectedAndTheItemStaysUnread) {
    std::string big = "Subject: big\r\n\r\n";
    while (big.size() < 16 * 1024 * 1024) big += std::string(998, 'b') + "\r\n";
    const std::string path = std::string(kDropDir) + "big.rfc822";
    testsupport::writeFile(path, big);
    int fd = connectAndGreet();
    EXPECT_EQ(ask(fd, "USER home\r\n"), "+OK USER accepted\r\n");
    EXPECT_EQ(ask(fd, "PASS pw\r\n"), "+OK Maildrop accessed\r\n");
    sendText(fd, "RETR 1\r\n");  // and never read the item
    EXPECT_TRUE(waitFor([&] { return server->sessionCount() == 0; }, 5000));
    EXPECT_FALSE(store::isItemRead(path));
    ::close(fd);
}

TEST_F(PopInProcess, AWrongPasswordIsAnsweredAfterTheDelayWhileTheLinesAfterItWait) {
    Connection::timeoutMs = 10000;
    int fd = connectAndGreet();
    EXPECT_EQ(ask(fd, "USER home\r\n"), "+OK USER accepted\r\n");
    long long sent = plat::monotonicMs();
    sendText(fd, "PASS wrong guess\r\nUSER home\r\nPASS pw\r\nSTAT\r\nQUIT\r\n");
    EXPECT_EQ(replyWithin(fd, 5000), "-ERR Authentication failed\r\n");
    EXPECT_GE(plat::monotonicMs() - sent, LoginThrottle::kFailureDelayMs);
    // The right password, once its turn has come, is answered at once.
    EXPECT_EQ(replyWithin(fd, 1000), "+OK USER accepted\r\n");
    EXPECT_EQ(replyWithin(fd, 1000), "+OK Maildrop accessed\r\n");
    EXPECT_EQ(replyWithin(fd, 1000), "+OK 0 0\r\n");
    EXPECT_EQ(replyWithin(fd, 1000), "+OK connection closing\r\n");
    ASSERT_TRUE(waitFor([&] { return server->sessionCount() == 0; }));
    ::close(fd);
    std::string log = todaysLog();
    EXPECT_NE(log.find("  MAIL  MED POP3 log-in failed : title 'home', peer port "), std::string::npos);
    EXPECT_NE(log.find("  MAIL  MED POP3 session of home ended : 0 retrieved, 0 deleted\n"), std::string::npos);
    EXPECT_EQ(log.find("wrong guess"), std::string::npos);
}

TEST_F(PopInProcess, ASessionThatEndsWhileItsPasswordWaitsLeavesNothingBehind) {
    Connection::timeoutMs = 10000;
    int fd = connectAndGreet();
    EXPECT_EQ(ask(fd, "USER nobody\r\n"), "+OK USER accepted\r\n");
    sendText(fd, "PASS x\r\n");
    plat::pumpMessages(50);
    ::close(fd);
    // Removed at once, not when the answer would have been due; nothing of it runs later.
    ASSERT_TRUE(waitFor([&] { return server->sessionCount() == 0; }, 1000));
    plat::pumpMessages(LoginThrottle::kFailureDelayMs + 200);
    EXPECT_EQ(server->sessionCount(), 0);
}

}  // namespace
