// The dial-up connection against a scripted stand-in nmcli first on PATH: dial outcomes,
// pending dials, lines up before us, the bounds of a dial and of a hang-up, and the log lines.
#include "platform/clock.h"
#include "platform/event_loop.h"
#include "platform/fault_hooks.h"
#include "platform/window.h"
#include "dialup/ras_connection.h"
#include "tests/support/day_log.h"
#include "tests/support/temp_env.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#ifndef NMCLI_FIXTURE_DIR
#error "NMCLI_FIXTURE_DIR must name the folder of the stand-in nmcli"
#endif

namespace fs = std::filesystem;
using namespace plat;
using testsupport::logText;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

enum Told { kConnected, kFailed };
std::vector<Told> g_notices;

struct Recorder : DialObserver {
    void dialConnected() override { g_notices.push_back(kConnected); }
    void dialFailed() override { g_notices.push_back(kFailed); }
} g_recorder;

class Dialup : public ::testing::Test {
protected:
    static void SetUpTestSuite() { originalPath = std::getenv("PATH"); }
    void SetUp() override {
        testsupport::freshLog();
        g_notices.clear();
        scenario = testsupport::makeTempDir("nmcli-");
        ::setenv("NMCLI_SCENARIO", scenario.c_str(), 1);
        ::setenv("PATH", (std::string(NMCLI_FIXTURE_DIR) + ":" + originalPath).c_str(), 1);
    }
    void TearDown() override {
        ::setenv("PATH", originalPath.c_str(), 1);
        fs::remove_all(scenario);
        DebugLogSetClock(nullptr);
    }

    void put(const char* name, const std::string& text) { writeFile(scenario + "/" + name, text); }
    std::string calls() { return readFile(scenario + "/calls"); }
    int count(const std::string& text, const std::string& what) {
        int n = 0;
        for (auto p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
        return n;
    }
    // Runs the loop until n notices have arrived or seconds have passed.
    void waitNotices(std::size_t n, int seconds = 5) {
        long long end = monotonicMs() + seconds * 1000;
        while (g_notices.size() < n && monotonicMs() < end) pumpMessages(10);
    }

    static std::string originalPath;
    std::string scenario;
};
std::string Dialup::originalPath;

TEST_F(Dialup, WithoutNmcliADialFailsAtOnceWithAReasonAndNothingElseChanges) {
    std::string empty = testsupport::makeTempDir("nopath-");
    ::setenv("PATH", empty.c_str(), 1);
    {
        RASConnection ras(&g_recorder);
        EXPECT_FALSE(ras.loaded());
        ras.dial("home");
        waitNotices(1, 1);
        EXPECT_EQ(g_notices, std::vector<Told>{kFailed});
        EXPECT_FALSE(ras.isConnected("home"));
        std::vector<std::string> names{"kept"};
        EXPECT_FALSE(ras.listEntries(names));
        EXPECT_EQ(names, std::vector<std::string>{"kept"});
        ras.hangUp();
    }
    EXPECT_NE(logText().find(" NET HIGH Dial-up networking is not available (no nmcli on PATH)\n"), std::string::npos);
    fs::remove_all(empty);
}

TEST_F(Dialup, ALineAlreadyUpIsReportedAtOnceFoundWithoutRegardToCaseAndNeverHungUp) {
    put("entries", "myisp\n");
    put("active", "Wired:activated\nmyisp:activated\n");
    {
        RASConnection ras(&g_recorder);
        EXPECT_TRUE(ras.isConnected("MyISP"));
        ras.dial("MyISP");
        waitNotices(1);
        EXPECT_EQ(g_notices, std::vector<Told>{kConnected});
    }  // the destructor hangs up only what this process dialled
    EXPECT_EQ(count(calls(), "connection up"), 0);
    EXPECT_EQ(count(calls(), "connection down"), 0);
    put("active", "myisp:activating\n");
    RASConnection ras(&g_recorder);
    EXPECT_FALSE(ras.isConnected("myisp"));
}

TEST_F(Dialup, ASuccessfulDialConnectsAndItsHangUpWaitsUntilTheLineHasGone) {
    put("entries", "Wired\nMy ISP\n");
    put("down_lingers", "3");
    {
        RASConnection ras(&g_recorder);
        ras.dial("my isp");  // NetworkManager's spelling is dialled
        waitNotices(1);
        EXPECT_EQ(g_notices, std::vector<Told>{kConnected});
        EXPECT_NE(calls().find("--wait 120 connection up id My ISP\n"), std::string::npos);
        EXPECT_TRUE(ras.isConnected("My ISP"));
        long long before = monotonicMs();
        ras.hangUp();
        EXPECT_GE(monotonicMs() - before, 3 * RASConnection::kHangUpStepMs);
        EXPECT_FALSE(ras.isConnected("My ISP"));
        std::string after = calls().substr(calls().find("connection down id My ISP"));
        EXPECT_GE(count(after, "--active"), 4);  // three still listing it, one without
    }
    EXPECT_EQ(count(calls(), "connection down"), 1);  // hung up once, not again at destruction
    EXPECT_EQ(logText(), "");
}

TEST_F(Dialup, APendingDialAnswersForEveryDialUntilItEndsAndGoesWithItsConnection) {
    put("entries", "home\n");
    put("up_sleep", "0.4");
    {
        RASConnection ras(&g_recorder);
        ras.dial("home");
        ras.dial("home");
        pumpMessages(50);
        EXPECT_TRUE(g_notices.empty());
        waitNotices(1);
        pumpMessages(100);
        EXPECT_EQ(g_notices, std::vector<Told>{kConnected});
        EXPECT_EQ(count(calls(), "connection up"), 1);
        ras.hangUp();
    }
    // A connection dropped while its dial runs stops the dial and reports nothing; the next
    // one dials afresh.
    g_notices.clear();
    {
        RASConnection dropped(&g_recorder);
        dropped.dial("home");
        pumpMessages(50);
    }
    RASConnection next(&g_recorder);
    next.dial("home");
    waitNotices(1);
    pumpMessages(100);
    EXPECT_EQ(g_notices, std::vector<Told>{kConnected});
    EXPECT_EQ(count(calls(), "connection up"), 3);
    next.hangUp();
}

TEST_F(Dialup, FailedDialsReportFailedWithTheirReason) {
    put("entries", "home\n");
    put("up_exit", "4");
    RASConnection ras(&g_recorder);
    ras.dial("home");
    waitNotices(1);
    EXPECT_EQ(g_notices, std::vector<Told>{kFailed});
    ras.hangUp();  // nothing is up: nmcli refuses, no waiting
    EXPECT_EQ(count(calls(), "--active"), 1);  // only dial's own look
    ras.dial("nowhere");  // an entry NetworkManager does not know is never dialled
    waitNotices(2);
    EXPECT_EQ(g_notices, (std::vector<Told>{kFailed, kFailed}));
    EXPECT_EQ(count(calls(), "connection up"), 1);
    std::string log = logText();
    EXPECT_NE(log.find(" NET HIGH Error during RasDial\n"), std::string::npos) << log;
    EXPECT_NE(log.find(" NET HIGH Disconnected[8193] (error: Connection activation failed[4])\n"), std::string::npos);
    EXPECT_NE(log.find(" APP HIGH GetEntryDialParams failed RASConnection-open\n"), std::string::npos);
}

TEST_F(Dialup, ADialThatNeverEndsIsStoppedPastItsBoundAndReportedFailed) {
    put("entries", "home\n");
    put("up_sleep", "30");
    RASConnection ras(&g_recorder, {1, 300, 10000});
    long long before = monotonicMs();
    ras.dial("home");
    waitNotices(1, 10);
    EXPECT_EQ(g_notices, std::vector<Told>{kFailed});
    EXPECT_LT(monotonicMs() - before, 5000);
    EXPECT_NE(calls().find("--wait 1 connection up id home"), std::string::npos);
    std::string log = logText();
    EXPECT_NE(log.find(" NET HIGH Dial did not end in time, nmcli stopped : home\n"), std::string::npos) << log;
    EXPECT_NE(log.find("(error: The dial did not end in time and was stopped[137])"), std::string::npos);
}

TEST_F(Dialup, ADialWhoseTimeLimitCannotBeSetIsStoppedAtOnceAndReportedFailed) {
    put("entries", "home\n");
    put("up_sleep", "30");
    faults::refuseTimers([](std::uintptr_t, std::uintptr_t) { return true; });
    RASConnection ras(&g_recorder, {20, 10000, 10000});
    long long before = monotonicMs();
    ras.dial("home");
    waitNotices(1, 10);
    faults::refuseTimers({});
    EXPECT_EQ(g_notices, std::vector<Told>{kFailed});
    EXPECT_LT(monotonicMs() - before, 5000);
    std::string log = logText();
    EXPECT_NE(log.find(" NET HIGH Unable to set the dial's time limit, nmcli stopped : home\n"), std::string::npos)
        << log;
}

TEST_F(Dialup, AHangUpDuringADialStopsItAndItsEndIsNobodysNews) {
    put("entries", "home\n");
    put("up_sleep", "30");
    RASConnection ras(&g_recorder);
    ras.dial("home");
    pumpMessages(50);
    ras.hangUp();
    pumpMessages(300);
    EXPECT_TRUE(g_notices.empty());
    EXPECT_EQ(count(calls(), "connection down id home"), 1);
}

TEST_F(Dialup, TheHangUpWaitIsBoundedAndFailingQueriesAreLogged) {
    put("entries", "home\n");
    put("down_lingers", "100000");
    RASConnection ras(&g_recorder, {120, 130000, 500});
    ras.dial("home");
    waitNotices(1);
    long long before = monotonicMs();
    ras.hangUp();
    long long took = monotonicMs() - before;
    EXPECT_GE(took, 500);
    EXPECT_LT(took, 3000);
    EXPECT_NE(logText().find(" NET HIGH Hang-up not confirmed, still active : home\n"), std::string::npos);

    ras.dial("home");
    waitNotices(2);
    put("query_exit", "8");
    ras.hangUp();
    EXPECT_NE(logText().find(" APP HIGH RASGetConnectStatus FAILED 8\n"), std::string::npos);
}

TEST_F(Dialup, TheStateCallbackPostsForEndedStatesAndNamesUnknownOnes) {
    RASConnection ras(&g_recorder);
    ras.dialStateCallback(0x2001, 0);  // "Disconnected" without an error
    ras.dialStateCallback(5, 0);  // an intermediate state: nothing
    ras.dialStateCallback(77, 55);
    pumpMessages(0);
    EXPECT_EQ(g_notices, (std::vector<Told>{kConnected, kFailed}));
    EXPECT_NE(logText().find(" NET HIGH **unknown**[77] (error: (none)[55])\n"), std::string::npos);
}

TEST_F(Dialup, ListingEntriesGivesNetworkManagersNamesOrNothing) {
    RASConnection ras(nullptr);
    std::vector<std::string> names{"stale"};
    ASSERT_TRUE(ras.listEntries(names));
    EXPECT_TRUE(names.empty());
    put("entries", "Wired\nMy\\:ISP\nback\\\\slash\n");
    ASSERT_TRUE(ras.listEntries(names));
    EXPECT_EQ(names, (std::vector<std::string>{"Wired", "My:ISP", "back\\slash"}));
    put("query_exit", "8");
    EXPECT_FALSE(ras.listEntries(names));
    EXPECT_EQ(names.size(), 3u);
}

}  // namespace
