// Outgoing connections on real loopback sockets: line delivery, write-ready, look-ups,
// failures through the opening phase, and the inactivity timer.
#include "net/connection.h"
#include "tests/net/mail_client_recorder.h"
#include "net/mail_client_open.h"
#include "platform/host_lookup.h"
#include "tests/net/net_fixture.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using namespace nettest;

namespace {

class Recorder : public Connection {
public:
    Recorder(plat::HWND owner, const std::string& host, int port) : Connection(owner, host.c_str(), port) {}
    int dispatcher(Connection::Event event, long arg) override {
        events.emplace_back(event, arg);
        if (event == EV_LINE) {
            std::vector<char> dest(capacity);
            lineBuffer().takeLine(dest.data(), capacity);
            lines.emplace_back(dest.data());
        }
        if (event == EV_LINE_PART) parts.push_back(lineBuffer().takePart());
        if (handler) handler->dispatch(event, arg);
        return 1;
    }
    int count(int event) const {
        int n = 0;
        for (const auto& e : events) n += e.first == event;
        return n;
    }
    std::vector<std::pair<int, long>> events;
    std::vector<std::string> lines;
    std::vector<std::string> parts;
    std::size_t capacity = 1023;
    StateHandler* handler = nullptr;
};

std::vector<plat::WPARAM> g_notices;
mailtest::Recorder<> g_told([](int code, long, const std::string&) {
    g_notices.push_back(static_cast<plat::WPARAM>(code));
});

class ClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        owner = makeOwner();
        g_notices.clear();
    }
    void TearDown() override {
        plat::destroyWindow(owner);
        Connection::timeoutMs = Connection::kDefaultTimeoutMs;
        Connection::lifeLimitMs = Connection::kDefaultLifeLimitMs;
    }
    // Opens a recorder to the listener and accepts the far end.
    int connected(Recorder& r, RawListener& l) {
        r.open();
        EXPECT_TRUE(waitFor([&] { return r.count(Connection::EV_CONNECT) > 0; }));
        int peer = l.acceptOne();
        plat::pumpMessages(20);
        return peer;
    }
    plat::HWND owner = 0;
};

TEST_F(ClientTest, RepliesBecomeLinesOnlyOnceTheirCrLfHasArrived) {
    RawListener l;
    Recorder r(owner, "127.0.0.1", l.port);
    int peer = connected(r, l);
    sendText(peer, "220 hel");
    plat::pumpMessages(30);
    sendText(peer, "lo\r");
    plat::pumpMessages(30);
    EXPECT_TRUE(r.lines.empty());
    sendText(peer, "\n");
    ASSERT_TRUE(waitFor([&] { return r.lines.size() == 1; }));
    EXPECT_EQ(r.lines[0], "220 hello");
    sendText(peer, "250 a\r\n250 b\r\nlone\nlf");
    ASSERT_TRUE(waitFor([&] { return r.lines.size() == 3; }));
    EXPECT_EQ(r.lines[1], "250 a");
    EXPECT_EQ(r.lines[2], "250 b");
    plat::pumpMessages(30);
    EXPECT_EQ(r.lines.size(), 3u);  // the lone LF ends nothing
    // A line too long for the capacity arrives empty, and what follows it is intact.
    sendText(peer, "\r\n" + std::string(1023, 'x') + "\r\n+OK\r\n");
    ASSERT_TRUE(waitFor([&] { return r.lines.size() == 6; }));
    EXPECT_EQ(r.lines[3], "lone\nlf");
    EXPECT_EQ(r.lines[4], "");
    EXPECT_EQ(r.lines[5], "+OK");
    ::close(peer);
}

TEST_F(ClientTest, BytesSentWithTheCloseComeBeforeClosed) {
    RawListener l;
    Recorder r(owner, "127.0.0.1", l.port);
    int peer = connected(r, l);
    sendText(peer, "one\r\ntwo\r\n");
    ::close(peer);
    ASSERT_TRUE(waitFor([&] { return r.count(Connection::EV_CLOSED) > 0; }));
    ASSERT_EQ(r.lines, (std::vector<std::string>{"one", "two"}));
    EXPECT_EQ(r.events.back().first, Connection::EV_CLOSED);
}

TEST_F(ClientTest, WriteReadyAfterConnectIsSwallowedLaterOnesAreNot) {
    RawListener l;
    Recorder r(owner, "127.0.0.1", l.port);
    r.open();
    EXPECT_FALSE(r.lookupPending());  // a dotted address needs no look-up
    ASSERT_TRUE(waitFor([&] { return r.count(Connection::EV_CONNECT) > 0; }));
    EXPECT_EQ(r.events[0], std::make_pair(static_cast<int>(Connection::EV_CONNECT), 1L));
    int peer = l.acceptOne();
    plat::pumpMessages(50);
    EXPECT_EQ(r.count(Connection::EV_WRITABLE), 0);
    std::string chunk(65536, 'w');
    bool blocked = false;
    for (int i = 0; i < 10000 && !blocked; ++i) blocked = r.sendBytes(chunk.data(), chunk.size()) < 0;
    ASSERT_TRUE(blocked);
    char buf[65536];
    for (int i = 0; i < 100000 && r.count(Connection::EV_WRITABLE) == 0; ++i) {
        ::recv(peer, buf, sizeof buf, MSG_DONTWAIT);
        if (i % 8 == 0) plat::pumpMessages(1);
    }
    EXPECT_EQ(r.count(Connection::EV_WRITABLE), 1);
    ::close(peer);
}

TEST_F(ClientTest, LocalhostConnectsThroughTheLookUp) {
    RawListener l;
    Recorder r(owner, "localhost", l.port);
    r.open();
    EXPECT_TRUE(r.lookupPending());
    ASSERT_TRUE(waitFor([&] { return r.count(Connection::EV_CONNECT) > 0; }, 10000));
    EXPECT_EQ(r.events[0].second, 1L);
    EXPECT_FALSE(r.lookupPending());
    int peer = l.acceptOne();
    EXPECT_GE(peer, 0);
    ::close(peer);
}

TEST_F(ClientTest, UnresolvableNameAndRefusedConnectionGiveOpenFailWithTheReason) {
    int closedPort;
    {
        RawListener gone;
        closedPort = gone.port;
    }
    std::string longName = std::string(5000, 'n') + ".invalid";
    struct Case {
        std::string host;
        int port;
        std::string reason;
    };
    for (const Case& c : std::vector<Case>{{"no-such-host.invalid", 25, "no such host"},
                                           {"127.0.0.1", closedPort, "connection refused"},
                                           {longName, 25, "no such host"}}) {
        g_notices.clear();
        Recorder r(owner, c.host, c.port);
        MailClient_Open open(&r);
        open.setObserver(&g_told);
        r.handler = &open;
        open.start();
        EXPECT_EQ(open.state(), 1);
        ASSERT_TRUE(waitFor([&] { return !g_notices.empty(); })) << c.host.substr(0, 40);
        EXPECT_EQ(r.events[0], std::make_pair(static_cast<int>(Connection::EV_CONNECT), 0L));
        EXPECT_EQ(g_notices, std::vector<plat::WPARAM>{MailClient::OPEN_FAIL});
        EXPECT_EQ(open.state(), 0);
        EXPECT_EQ(r.openFailure(), c.reason);
        EXPECT_EQ(r.socket(), plat::INVALID_SOCKET);  // nothing can be sent where nothing opened
        std::string expected = "Error in opening connection to SMTP server. Verify that hostname '" + c.host +
                               "' is correct.";
        std::string log = todaysLog();
        EXPECT_NE(log.find("   NET HIGH " + expected), std::string::npos) << c.host.substr(0, 40);
        EXPECT_NE(log.find(" NET HIGH Cannot connect to SMTP server " + c.host + ":" + std::to_string(c.port) + ": " +
                           c.reason + "\n"),
                  std::string::npos)
            << c.host.substr(0, 40);
    }
}

TEST_F(ClientTest, AnOpeningThatTimesOutSaysSo) {
    RawListener l;
    Recorder r(owner, "127.0.0.1", l.port);
    MailClient_Open open(&r);
    open.setObserver(&g_told);
    r.handler = &open;
    open.start();
    EXPECT_EQ(open.dispatch(Connection::EV_TIMEOUT, 0), 1);  // the inactivity timer, before the connect's end
    EXPECT_EQ(g_notices, std::vector<plat::WPARAM>{MailClient::OPEN_FAIL});
    EXPECT_NE(todaysLog().find(" NET HIGH Cannot connect to SMTP server 127.0.0.1:" + std::to_string(l.port) +
                               ": timed out\n"),
              std::string::npos);
    plat::pumpMessages(50);  // the abandoned connect's end is dropped
    EXPECT_EQ(g_notices.size(), 1u);
}

TEST_F(ClientTest, OpeningPhaseReportsSuccessOnce) {
    RawListener l;
    Recorder r(owner, "127.0.0.1", l.port);
    MailClient_Open open(&r);
    open.setObserver(&g_told);
    r.handler = &open;
    open.start();
    ASSERT_TRUE(waitFor([&] { return !g_notices.empty(); }));
    EXPECT_EQ(g_notices, std::vector<plat::WPARAM>{MailClient::OPEN_COMPLETE});
    EXPECT_EQ(open.dispatch(Connection::EV_CONNECT, 1), 0);  // inactive now: not handled
    int peer = l.acceptOne();
    ::close(peer);
}

TEST_F(ClientTest, SilenceAfterArmingGivesExactlyOneTimeout) {
    Connection::timeoutMs = 80;
    RawListener l;
    Recorder r(owner, "127.0.0.1", l.port);
    int peer = connected(r, l);
    r.armTimeout();
    plat::pumpMessages(400);
    EXPECT_EQ(r.count(Connection::EV_TIMEOUT), 1);
    // Data stops the timer: no time-out follows without a new arming.
    r.armTimeout();
    sendText(peer, "x\r\n");
    plat::pumpMessages(300);
    EXPECT_EQ(r.count(Connection::EV_TIMEOUT), 1);
    ::close(peer);
}

TEST_F(ClientTest, APeerSilentInTheMiddleOfALineTimesOut) {
    Connection::timeoutMs = 80;
    RawListener l;
    Recorder r(owner, "127.0.0.1", l.port);
    int peer = connected(r, l);
    // No timer was armed, yet half a line followed by silence ends in one time-out.
    sendText(peer, "MAIL FR");
    plat::pumpMessages(400);
    EXPECT_EQ(r.count(Connection::EV_TIMEOUT), 1);
    EXPECT_EQ(r.count(Connection::EV_LINE), 0);
    ::close(peer);
}

TEST_F(ClientTest, ALineWithoutEndIsCutOffAtTheLimitAndTheConnectionClosed) {
    RawListener l;
    Recorder r(owner, "127.0.0.1", l.port);
    int peer = connected(r, l);
    sendText(peer, "ok\r\n");
    std::string chunk(64 * 1024, 'x');
    std::size_t sent = 0;
    // Bounded: the connection closes after about kMaxLineLength bytes.
    while (sent < 4 * LineBuffer::kMaxLineLength && r.count(Connection::EV_CLOSED) == 0) {
        ssize_t n = ::send(peer, chunk.data(), chunk.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) sent += static_cast<std::size_t>(n);
        plat::pumpMessages(1);
    }
    ASSERT_TRUE(waitFor([&] { return r.count(Connection::EV_CLOSED) > 0; }));
    EXPECT_EQ(r.count(Connection::EV_LINE_TOO_LONG), 1);
    EXPECT_EQ(r.count(Connection::EV_LINE), 1);
    EXPECT_EQ(r.lineBuffer().capacity(), LineBuffer::kInitialCapacity);
    EXPECT_EQ(r.socket(), plat::INVALID_SOCKET);
    EXPECT_NE(todaysLog().find(" NET HIGH Line too long, closing connection"), std::string::npos);
    ::close(peer);
}

// Sends bytes while pumping the loop, so that neither side's buffers fill up.
void pumpedSend(int peer, const std::string& bytes) {
    for (std::size_t sent = 0; sent < bytes.size();) {
        ssize_t n = ::send(peer, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) sent += static_cast<std::size_t>(n);
        plat::pumpMessages(1);
    }
}

TEST_F(ClientTest, AStreamedLineOfAnyLengthArrivesInBoundedPartsThenItsEnd) {
    RawListener l;
    Recorder r(owner, "127.0.0.1", l.port);
    r.capacity = 1024 * 1024;
    int peer = connected(r, l);
    r.streamLines(true);
    std::string line(3 * LineBuffer::kMaxLineLength, 'x');
    line[12345] = '\r';  // a lone CR is text
    pumpedSend(peer, line + "\r\nnext\r\n");
    ASSERT_TRUE(waitFor([&] { return r.lines.size() == 2; }));
    std::string joined;
    for (const std::string& p : r.parts) {
        EXPECT_LE(p.size(), Connection::kLinePart + 64 * 1024);
        joined += p;
    }
    EXPECT_GT(r.parts.size(), 1u);
    EXPECT_EQ(joined + r.lines[0], line);
    EXPECT_EQ(r.lines[1], "next");
    EXPECT_EQ(r.count(Connection::EV_LINE_TOO_LONG), 0);
    EXPECT_NE(r.socket(), plat::INVALID_SOCKET);
    ::close(peer);
}

TEST_F(ClientTest, APeerThatTricklesIsClosedAtTheConnectionsTimeLimit) {
    Connection::timeoutMs = 300;
    Connection::lifeLimitMs = 600;
    RawListener l;
    Recorder r(owner, "127.0.0.1", l.port);
    int peer = connected(r, l);
    r.armTimeout();
    // A byte every 50 ms: never silent for a whole time-out, never a line.
    for (int i = 0; i < 100 && r.count(Connection::EV_CLOSED) == 0; ++i) {
        sendText(peer, "x");
        plat::pumpMessages(50);
    }
    EXPECT_EQ(r.count(Connection::EV_CLOSED), 1);
    EXPECT_EQ(r.count(Connection::EV_TIMEOUT), 0);
    EXPECT_EQ(r.socket(), plat::INVALID_SOCKET);
    EXPECT_NE(todaysLog().find(" NET HIGH Connection time limit reached"), std::string::npos);
    ::close(peer);
}

}  // namespace
