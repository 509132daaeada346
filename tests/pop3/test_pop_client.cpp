// The POP3 client's command senders and reply test, on a real loopback connection.
#include "net/mail_client_notices.h"
#include "net/state_handler.h"
#include "pop3/pop_client.h"
#include "tests/net/net_fixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace nettest;

namespace {

std::vector<plat::WPARAM> g_notices;

plat::LRESULT noticeProc(plat::HWND, plat::UINT msg, plat::WPARAM code, plat::LPARAM) {
    if (msg == WM_MAILCLIENT) g_notices.push_back(code);
    return 0;
}

class POPClientTest : public ::testing::Test {
protected:
    void SetUp() override { owner = makeOwner(); }
    void TearDown() override { plat::destroyWindow(owner); }
    plat::HWND owner = 0;
};

}  // namespace

TEST(POPReply, IsPositiveExactlyWhenItBeginsWithPlus) {
    EXPECT_TRUE(POPClient::isPositive("+"));
    EXPECT_TRUE(POPClient::isPositive("+OK 2 messages"));
    EXPECT_FALSE(POPClient::isPositive("OK"));
    EXPECT_FALSE(POPClient::isPositive(""));
    EXPECT_FALSE(POPClient::isPositive(" +OK"));
    EXPECT_FALSE(POPClient::isPositive("-ERR"));
}

TEST_F(POPClientTest, EachSenderFormatsItsKindsAndSendsNoopForTheRest) {
    RawListener l;
    POPClient client(owner, "127.0.0.1", l.port, "ann", "pw", "holding");
    client.open(0);
    int peer = l.acceptOne();
    ASSERT_TRUE(waitFor([&] { return client.currentHandler()->state() == 0; }));
    struct Sent {
        bool ok;
        const char* expected;
    };
    const Sent sent[] = {
        {client.sendCommand(POPCommand::QUIT), "QUIT"},
        {client.sendCommand(POPCommand::UIDL), "UIDL"},
        {client.sendCommand(POPCommand::RETR), "NOOP"},
        {client.sendCommand(POPCommand::USER, "ann"), "USER ann"},
        {client.sendCommand(POPCommand::DELE, "x"), "NOOP"},
        {client.sendCommand(POPCommand::RETR, 12), "RETR 12"},
        {client.sendCommand(POPCommand::DELE, 3), "DELE 3"},
        {client.sendCommand(POPCommand::TOP, 2), "TOP 2"},
        {client.sendCommand(POPCommand::USER, 2), "NOOP"},
        {client.sendCommand(POPCommand::TOP, 2, 10), "TOP 2 10"},
        {client.sendCommand(POPCommand::RETR, 2, 10), "NOOP"},
        {client.sendPassword(), "PASS pw"},
    };
    for (const Sent& s : sent) {
        EXPECT_TRUE(s.ok) << s.expected;
        EXPECT_EQ(readLine(peer), std::string(s.expected) + "\r\n");
    }
    // An argument holding a line end would carry a second command: it is not sent at all.
    EXPECT_FALSE(client.sendCommand(POPCommand::USER, "ann\r\nDELE 1"));
    EXPECT_TRUE(client.sendCommand(POPCommand::NOOP));
    EXPECT_EQ(readLine(peer), "NOOP\r\n");
    ::close(peer);
}

TEST_F(POPClientTest, AFailedPassIsLoggedWithoutThePassword) {
    POPClient client(owner, "127.0.0.1", 1, "ann", "Sesame-42", "holding");   // never opened
    EXPECT_FALSE(client.sendPassword());
    EXPECT_FALSE(client.sendCommand(POPCommand::RETR, 5));
    std::string log = todaysLog();
    EXPECT_NE(log.find(" NET HIGH send() fail : PASS ********"), std::string::npos) << log;
    EXPECT_NE(log.find(" NET HIGH send() fail : RETR 5"), std::string::npos) << log;
    EXPECT_EQ(log.find("Sesame-42"), std::string::npos);
}

TEST_F(POPClientTest, AConnectThatNeverEndsFailsTheOpeningAtTheTimeOut) {
    if (!plat::isClassRegistered("POPNOTICES")) {
        ASSERT_TRUE(plat::registerClass("POPNOTICES", noticeProc));
    }
    plat::HWND notices = plat::createWindow("POPNOTICES", "", 0);
    g_notices.clear();
    POPClient client(owner, "127.0.0.1", 1, "ann", "pw", "holding");
    client.open(notices);
    // The time-out comes before the connect has ended (a host that drops the attempt).
    EXPECT_EQ(client.dispatcher(Client::EV_TIMEOUT, 0), 1);
    EXPECT_EQ(g_notices, std::vector<plat::WPARAM>{MailClient::OPEN_FAIL});
    EXPECT_EQ(client.currentHandler()->state(), 0);
    plat::pumpMessages(100);   // the refused connect that follows changes nothing
    EXPECT_EQ(g_notices, std::vector<plat::WPARAM>{MailClient::OPEN_FAIL});
    plat::destroyWindow(notices);
}
