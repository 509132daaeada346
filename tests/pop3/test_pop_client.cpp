// The POP3 client's command senders and reply test, on a real loopback connection.
#include "tests/net/mail_client_recorder.h"
#include "net/state_handler.h"
#include "pop3/pop_client.h"
#include "tests/net/net_fixture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <poll.h>
#include <string>
#include <thread>
#include <vector>

using namespace nettest;

namespace {

std::vector<plat::WPARAM> g_notices;

struct PopRecorder : mailtest::Recorder<POPClientObserver> {
    using Recorder::Recorder;
    void loggedIn(bool ok) override { tell(ok ? MailClient::AUTH_COMPLETE : MailClient::AUTH_FAIL); }
    bool itemReceived(const std::string& path) override {
        tell(MailClient::RETRIEVE_ITEM, 0, path);
        return false;
    }
    bool storedItemsFlushed() override { return false; }
    void messageSkipped(const SkippedMessage&) override { tell(MailClient::RETRIEVE_SKIPPED); }
    void retrievalEnded(bool ok) override { tell(ok ? MailClient::RETRIEVE_COMPLETE : MailClient::RETRIEVE_FAIL); }
} g_told([](int code, long, const std::string&) { g_notices.push_back(static_cast<plat::WPARAM>(code)); });

class POPClientTest : public ::testing::Test {};

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
    POPClient client(nullptr, "127.0.0.1", l.port, "ann", "pw", "holding");
    client.open();
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

TEST_F(POPClientTest, CommandsTheSocketCannotTakeAtOnceArriveWholeAndInOrder) {
    RawListener l;
    int small = 4096;  // with a peer that does not read yet, the socket soon takes no more
    ::setsockopt(l.fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    POPClient client(nullptr, "127.0.0.1", l.port, "ann", "pw", "holding");
    client.open();
    int peer = l.acceptOne();
    ASSERT_TRUE(waitFor([&] { return client.currentHandler()->state() == 0; }));
    std::string expected;
    for (int n = 1; n <= 300000; ++n) {
        ASSERT_TRUE(client.sendCommand(POPCommand::RETR, n)) << n;
        expected += "RETR " + std::to_string(n) + "\r\n";
    }
    ASSERT_TRUE(client.sendUserAndPassword());
    ASSERT_TRUE(client.sendCommand(POPCommand::QUIT));
    expected += "USER ann\r\nPASS pw\r\nQUIT\r\n";
    // Part of it really waits in the client.
    ASSERT_EQ(client.write("", 0), Connection::Output::Waiting);

    std::string got;
    std::atomic<bool> done{false};
    std::thread reader([&] {
        char buf[65536];
        for (int idle = 0; got.size() < expected.size() && idle < 100;) {
            pollfd p{peer, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) {
                ++idle;
                continue;
            }
            long n = ::recv(peer, buf, sizeof buf, 0);
            if (n <= 0) break;
            got.append(buf, static_cast<std::size_t>(n));
            idle = 0;
        }
        done = true;
    });
    EXPECT_TRUE(waitFor([&] { return done.load(); }, 20000));
    reader.join();
    EXPECT_EQ(got.size(), expected.size());
    EXPECT_TRUE(got == expected);
    EXPECT_EQ(client.write("", 0), Connection::Output::Drained);
    ::close(peer);
}

TEST_F(POPClientTest, AFailedPassIsLoggedWithoutThePassword) {
    POPClient client(nullptr, "127.0.0.1", 1, "ann", "Sesame-42", "holding");  // never opened
    EXPECT_FALSE(client.sendPassword());
    EXPECT_FALSE(client.sendCommand(POPCommand::RETR, 5));
    std::string log = todaysLog();
    EXPECT_NE(log.find(" NET HIGH send() fail : PASS ********"), std::string::npos) << log;
    EXPECT_NE(log.find(" NET HIGH send() fail : RETR 5"), std::string::npos) << log;
    EXPECT_EQ(log.find("Sesame-42"), std::string::npos);
}

TEST_F(POPClientTest, AConnectThatNeverEndsFailsTheOpeningAtTheTimeOut) {
    g_notices.clear();
    POPClient client(&g_told, "127.0.0.1", 1, "ann", "pw", "holding");
    client.open();
    // The time-out comes before the connect has ended (a host that drops the attempt).
    EXPECT_EQ(client.dispatcher(Connection::EV_TIMEOUT, 0), 1);
    EXPECT_EQ(g_notices, std::vector<plat::WPARAM>{MailClient::OPEN_FAIL});
    EXPECT_EQ(client.currentHandler()->state(), 0);
    plat::pumpMessages(100);  // the refused connect that follows changes nothing
    EXPECT_EQ(g_notices, std::vector<plat::WPARAM>{MailClient::OPEN_FAIL});
}
