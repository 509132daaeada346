// Connections whose timers or socket notifications the platform refuses (through its fault
// hooks): each failure is logged, and the connection is never left unbounded or deaf: an
// opening fails, a wait ends as timed out, an established connection is closed and its phase
// hears EV_CLOSED from the loop.
#include "net/connection.h"
#include "tests/net/mail_client_recorder.h"
#include "net/mail_client_open.h"
#include "platform/fault_hooks.h"
#include "tests/net/net_fixture.h"
#include "tests/support/day_log.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>

#include <string>
#include <vector>

using namespace nettest;

namespace {

constexpr std::uintptr_t kInactivityTimer = 0;
constexpr std::uintptr_t kLifeTimer = 1;

class Events : public Connection {
public:
    Events(plat::HWND owner, const std::string& host, int port) : Connection(owner, host.c_str(), port) {}
    Events(plat::HWND owner, plat::SOCKET s) : Connection(owner, s) {}
    int dispatcher(Connection::Event event, long arg) override {
        events.push_back(event);
        if (event == EV_LINE) (void)lineBuffer().takeLine();
        if (handler) handler->dispatch(event, arg);
        return 1;
    }
    int count(int event) const {
        int n = 0;
        for (int e : events) n += e == event;
        return n;
    }
    std::vector<int> events;
    StateHandler* handler = nullptr;
};

std::vector<plat::WPARAM> g_notices;
mailtest::Recorder<> g_told([](int code, long, const std::string&) {
    g_notices.push_back(static_cast<plat::WPARAM>(code));
});

// Whether a connection waits on the listener within ms.
bool connectionWaiting(const RawListener& l, int ms) {
    pollfd p{l.fd, POLLIN, 0};
    return ::poll(&p, 1, ms) == 1;
}

// A socket pair over loopback: first the engine's end (non-blocking, as accept makes it), then
// the peer's.
std::pair<int, int> acceptedPair(RawListener& l) {
    int peer = rawConnect(l.port);
    int ours = l.acceptOne();
    ::fcntl(ours, F_SETFL, ::fcntl(ours, F_GETFL) | O_NONBLOCK);
    return {ours, peer};
}

// The peer sees the connection end (recv answers 0) within its 3 s receive limit.
bool peerSeesEnd(int peer) {
    char c;
    return ::recv(peer, &c, 1, 0) == 0;
}

class ClientFailures : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::freshLog();
        owner = makeOwner();
        g_notices.clear();
    }
    void TearDown() override {
        plat::faults::refuseTimers({});
        plat::faults::refuseSelections({});
        plat::destroyWindow(owner);
        DebugLogSetClock(nullptr);
    }
    static void refuseTimer(std::uintptr_t id) {
        plat::faults::refuseTimers([id](std::uintptr_t, std::uintptr_t timer) { return timer == id; });
    }
    // Starts the opening phase of c and waits for its notice.
    void openThroughPhase(Events& c, MailClient_Open& open) {
        open.setObserver(&g_told);
        c.handler = &open;
        open.start();
        ASSERT_TRUE(waitFor([&] { return !g_notices.empty(); }));
    }
    plat::HWND owner = 0;
};

TEST_F(ClientFailures, AnOpeningThatCannotBeBoundedOrWatchedFailsWithoutConnecting) {
    struct Case {
        const char* what;
        std::function<void()> refuse;
        std::string logLine;
        std::string reason;
    };
    RawListener l;
    std::string peer = "connection to 127.0.0.1:" + std::to_string(l.port);
    std::vector<Case> cases{
        {"life timer", [] { refuseTimer(kLifeTimer); },
         " NET HIGH Unable to set the time limit of " + peer + ", not connecting\n", "its time limit could not be set"},
        {"selection", [] { plat::faults::refuseSelections([](int, unsigned) { return true; }); },
         " NET HIGH Unable to watch the socket of " + peer + ", not connecting\n",
         "its socket could not be watched (invalid argument)"},
    };
    for (const Case& c : cases) {
        testsupport::freshLog();
        g_notices.clear();
        c.refuse();
        Events e(owner, "127.0.0.1", l.port);
        MailClient_Open open(&e);
        openThroughPhase(e, open);
        EXPECT_EQ(g_notices, std::vector<plat::WPARAM>{MailClient::OPEN_FAIL}) << c.what;
        EXPECT_EQ(e.openFailure().rfind(c.reason, 0), 0u) << c.what << ": " << e.openFailure();
        EXPECT_EQ(e.socket(), plat::INVALID_SOCKET) << c.what;
        std::string log = testsupport::logText();
        EXPECT_NE(log.find(c.logLine), std::string::npos) << c.what << "\n" << log;
        EXPECT_NE(
            log.find(" NET HIGH Cannot connect to SMTP server 127.0.0.1:" + std::to_string(l.port) + ": " + c.reason),
            std::string::npos)
            << log;
        EXPECT_FALSE(connectionWaiting(l, 100)) << c.what;
        plat::faults::refuseTimers({});
        plat::faults::refuseSelections({});
    }
}

TEST_F(ClientFailures, AWaitWhoseTimerCannotBeSetEndsAsTimedOutFromTheLoop) {
    RawListener l;
    Events e(owner, "127.0.0.1", l.port);
    e.open();
    ASSERT_TRUE(waitFor([&] { return e.count(Connection::EV_CONNECT) > 0; }));
    int peer = l.acceptOne();
    refuseTimer(kInactivityTimer);
    e.armTimeout();
    EXPECT_EQ(e.count(Connection::EV_TIMEOUT), 0);  // never inside the caller's own call
    ASSERT_TRUE(waitFor([&] { return e.count(Connection::EV_TIMEOUT) > 0; }, 1000));
    EXPECT_TRUE(e.idleTimedOut());
    plat::pumpMessages(50);
    EXPECT_EQ(e.count(Connection::EV_TIMEOUT), 1);
    EXPECT_NE(testsupport::logText().find(" NET HIGH Unable to set the inactivity timer of connection to 127.0.0.1:" +
                                          std::to_string(l.port) + ", the wait ends as timed out\n"),
              std::string::npos);
    // A wait stopped before its refused timer's turn came is not ended by it.
    e.armTimeout();
    plat::faults::refuseTimers({});
    e.armTimeout();
    plat::pumpMessages(100);
    EXPECT_EQ(e.count(Connection::EV_TIMEOUT), 1);
    ::close(peer);
}

TEST_F(ClientFailures, ASessionThatCannotBeBoundedOrWatchedIsClosedAndEndsFromTheLoop) {
    RawListener l;
    for (int variant = 0; variant < 3; ++variant) {
        testsupport::freshLog();
        auto [ours, peer] = acceptedPair(l);
        std::string expected;
        if (variant == 0) {
            refuseTimer(kLifeTimer);
            expected = "Unable to set the connection's time limit, closing local session from port ";
        } else {
            plat::faults::refuseSelections([variant](int, unsigned events) {
                // 1: the first selection; 2: the one that stops reading later.
                return variant == 1 || (events & plat::FD_READ) == 0;
            });
            expected = "Unable to watch the socket (invalid argument), closing local session from port ";
        }
        Events e(owner, ours);
        if (variant == 2) {
            EXPECT_NE(e.socket(), plat::INVALID_SOCKET);
            e.watchReading(false);
        }
        EXPECT_EQ(e.socket(), plat::INVALID_SOCKET) << variant;
        EXPECT_TRUE(e.events.empty()) << variant;  // the phase hears of it from the loop
        ASSERT_TRUE(waitFor([&] { return e.count(Connection::EV_CLOSED) > 0; }, 1000)) << variant;
        plat::pumpMessages(50);
        EXPECT_EQ(e.count(Connection::EV_CLOSED), 1) << variant;
        EXPECT_TRUE(peerSeesEnd(peer)) << variant;
        EXPECT_NE(testsupport::logText().find(" NET HIGH " + expected), std::string::npos) << variant << "\n"
                                                                                           << testsupport::logText();
        plat::faults::refuseTimers({});
        plat::faults::refuseSelections({});
        ::close(peer);
    }
}

}  // namespace
