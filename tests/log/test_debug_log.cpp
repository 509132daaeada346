// The day log: line format, labels, the LOW rule, the day file, the mutex, two writers at once.
#include "platform/named_mutex.h"
#include "log/debug.h"
#include "tests/support/temp_env.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <ctime>
#include <regex>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

std::time_t g_fixed = 0;
std::time_t fixedClock() {
    return g_fixed;
}

// 2026-12-07 hh:mm:ss UTC; the tests run with TZ=UTC so local time is UTC.
std::time_t at(int day, int h, int m, int s) {
    std::tm tm{};
    tm.tm_year = 2026 - 1900;
    tm.tm_mon = 11;
    tm.tm_mday = day;
    tm.tm_hour = h;
    tm.tm_min = m;
    tm.tm_sec = s;
    return ::timegm(&tm);
}

std::vector<std::string> lines(const std::string& path) {
    std::vector<std::string> out;
    std::istringstream in(testsupport::readFile(path));
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
}

class DebugLog : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("TZ", "UTC", 1);
        ::tzset();
        dir = testsupport::makeTempDir("log-");
        ASSERT_EQ(::chdir(dir.c_str()), 0);
        g_fixed = at(7, 9, 8, 7);
        DebugLogSetClock(fixedClock);
        DebugLogSetMutexWait(10000);
        DebugLogResetFailureFlag();
    }
    void TearDown() override {
        DebugLogSetClock(nullptr);
        DebugLogUseWorkingDirectory();
    }
    std::string dir;
};

TEST_F(DebugLog, EveryCategoryAndLevelHasItsRightAlignedLabel) {
    DebugLine(LOG_MAIL, LOG_MED, "Start cycle");
    DebugLine(LOG_APP, LOG_HIGH, "Failed to retrieve outgoing mail host name from registry");
    DebugLine(LOG_NET, LOG_MED, "net");
    DebugLine(7, 5, "odd");
    DebugLineInt(LOG_NET, LOG_HIGH, "FAILED - bind() :", -98);
    DebugLineStr(LOG_MAIL, LOG_MED, "Outgoing mail received :", "20261207090807123.rfc822");
    DebugLinePtr(LOG_APP, LOG_MED, "ptr", reinterpret_cast<void*>(0x1234));
    auto got = lines("20261207.log");
    ASSERT_EQ(got.size(), 7u);
    EXPECT_EQ(got[0], "090807  MAIL  MED Start cycle");
    EXPECT_EQ(got[1], "090807   APP HIGH Failed to retrieve outgoing mail host name from registry");
    EXPECT_EQ(got[2], "090807   NET  MED net");
    EXPECT_EQ(got[3], "090807   ---  --- odd");
    EXPECT_EQ(got[4], "090807   NET HIGH FAILED - bind() : -98");
    EXPECT_EQ(got[5], "090807  MAIL  MED Outgoing mail received : 20261207090807123.rfc822");
    EXPECT_EQ(got[6], "090807   APP  MED ptr 0x1234");
}

TEST_F(DebugLog, APeersTextCannotStartALineOfItsOwn) {
    // A reply's own line end, a multi-line reply, and a lone LF or other control byte that a
    // hostile server put into an identifier.
    DebugLineStr(LOG_MAIL, LOG_HIGH, "-ve response to RETR :", "-ERR no\r\n");
    DebugLineStr(LOG_MAIL, LOG_HIGH, "Mail item refused :", "550-first\r\n550 second\r\n");
    DebugLineStr(LOG_MAIL, LOG_HIGH, "UIDL :", "m1\n090807  MAIL HIGH forged\x1b[2J\tok");
    auto got = lines("20261207.log");
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0], "090807  MAIL HIGH -ve response to RETR : -ERR no");
    EXPECT_EQ(got[1], "090807  MAIL HIGH Mail item refused : 550-first 550 second");
    EXPECT_EQ(got[2], "090807  MAIL HIGH UIDL : m1?090807  MAIL HIGH forged?[2J\tok");
}

TEST_F(DebugLog, LowLinesAndNullTextsWriteNothingToTheFile) {
    ::testing::internal::CaptureStderr();
    DebugLine(LOG_APP, LOG_LOW, "trace");
    DebugLineStr(LOG_APP, LOG_LOW, "trace", "more");
    DebugLineInt(LOG_APP, LOG_LOW, "trace", 1);
    std::string lowOutput = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(lowOutput, "");  // not even the debugger output

    ::testing::internal::CaptureStderr();
    DebugLine(LOG_APP, LOG_HIGH, nullptr);
    DebugLineStr(LOG_APP, LOG_HIGH, "text", nullptr);
    DebugLineStr(LOG_APP, LOG_HIGH, nullptr, "text");
    DebugLineInt(LOG_APP, LOG_HIGH, nullptr, 3);
    OutputDebugToFile(nullptr);
    std::string bad = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(bad.find("---bad debug line (NULL)"), std::string::npos);
    EXPECT_FALSE(std::ifstream("20261207.log").good());
}

TEST_F(DebugLog, LongTextIsNeverCut) {
    std::string big(5000, 'a');
    DebugLineStr(LOG_MAIL, LOG_HIGH, big.c_str(), big.c_str());
    auto got = lines("20261207.log");
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0], "090807  MAIL HIGH " + big + " " + big);
}

TEST_F(DebugLog, MidnightStartsTheNextDaysFile) {
    g_fixed = at(7, 23, 59, 59);
    DebugLine(LOG_MAIL, LOG_MED, "before");
    g_fixed = at(8, 0, 0, 0);
    DebugLine(LOG_MAIL, LOG_MED, "after");
    EXPECT_EQ(lines("20261207.log"), std::vector<std::string>{"235959  MAIL  MED before"});
    EXPECT_EQ(lines("20261208.log"), std::vector<std::string>{"000000  MAIL  MED after"});
}

// The file stays open between lines, yet a line always lands in the file its name leads to now.
TEST_F(DebugLog, ALineAfterTheFileWentAwayLandsInANewFile) {
    DebugLine(LOG_MAIL, LOG_MED, "kept");
    ASSERT_EQ(::rename("20261207.log", "kept.log"), 0);
    DebugLine(LOG_MAIL, LOG_MED, "removed");
    ASSERT_EQ(::unlink("20261207.log"), 0);
    DebugLine(LOG_MAIL, LOG_MED, "new");
    EXPECT_EQ(lines("kept.log"), std::vector<std::string>{"090807  MAIL  MED kept"});
    EXPECT_EQ(lines("20261207.log"), std::vector<std::string>{"090807  MAIL  MED new"});

    // The name is relative: another working directory has a day file of its own.
    std::string other = testsupport::makeTempDir("log-other-");
    ASSERT_EQ(::chdir(other.c_str()), 0);
    DebugLine(LOG_MAIL, LOG_MED, "elsewhere");
    EXPECT_EQ(lines("20261207.log"), std::vector<std::string>{"090807  MAIL  MED elsewhere"});
    EXPECT_EQ(lines(dir + "/20261207.log").size(), 1u);
}

// A program started from anywhere writes into the folder it was given, or into no file at all;
// either way the working directory gets nothing.
TEST_F(DebugLog, AGivenFolderTakesTheDayFileAndNoFolderMeansNoFile) {
    std::string data = testsupport::makeTempDir("log-data-");
    DebugLogSetFolder(data);
    DebugLine(LOG_MAIL, LOG_HIGH, "into the data folder");
    EXPECT_EQ(lines(data + "/20261207.log"), std::vector<std::string>{"090807  MAIL HIGH into the data folder"});

    DebugLogSetFolder(std::nullopt);
    ::testing::internal::CaptureStderr();
    DebugLine(LOG_MAIL, LOG_HIGH, "to the debugger only");
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("to the debugger only"), std::string::npos);
    EXPECT_EQ(lines(data + "/20261207.log").size(), 1u);
    EXPECT_FALSE(std::ifstream("20261207.log").good());
}

TEST_F(DebugLog, MutexHeldElsewhereDropsLinesAndReportsOnce) {
    plat::NamedMutex other("LOGMUTEX");
    ASSERT_TRUE(other.wait(0));
    DebugLogSetMutexWait(50);
    ::testing::internal::CaptureStderr();
    DebugLine(LOG_APP, LOG_HIGH, "first");
    std::string first = ::testing::internal::GetCapturedStderr();
    ::testing::internal::CaptureStderr();
    DebugLine(LOG_APP, LOG_HIGH, "second");
    std::string second = ::testing::internal::GetCapturedStderr();
    other.release();
    EXPECT_NE(first.find("MUTEX FAILURE in debug"), std::string::npos);
    EXPECT_NE(first.find("OutputDebugToFile: MUTEX FAILURE - problem has occurred"), std::string::npos);
    EXPECT_EQ(second.find("MUTEX FAILURE"), std::string::npos);
    EXPECT_FALSE(std::ifstream("20261207.log").good());
    DebugLine(LOG_APP, LOG_HIGH, "third");
    EXPECT_EQ(lines("20261207.log").size(), 1u);
}

TEST_F(DebugLog, TwoProcessesInterleaveWholeLinesOnly) {
    DebugLogSetClock(nullptr);
    constexpr int kLines = 300;
    std::vector<pid_t> kids;
    DebugLine(LOG_MAIL, LOG_MED, "parent");  // the day file is open before the fork
    for (char tag : {'x', 'y'}) {
        pid_t pid = ::fork();
        if (pid == 0) {
            DebugLogClose();  // each process has its own handle, like two programs
            DebugLogOpen();
            // Lines longer than a stdio buffer: a line written in pieces would show.
            std::string text(5000, tag);
            for (int i = 0; i < kLines; ++i) DebugLineInt(LOG_MAIL, LOG_MED, text.c_str(), i);
            ::_exit(0);
        }
        kids.push_back(pid);
    }
    for (pid_t pid : kids) ::waitpid(pid, nullptr, 0);
    std::regex head("^[0-9]{6}  MAIL  MED ");
    std::regex tail(" [0-9]+$");
    int count = 0;
    std::time_t now = std::time(nullptr);
    char file[32];
    std::strftime(file, sizeof file, "%Y%m%d.log", std::localtime(&now));
    auto got = lines(file);
    ASSERT_FALSE(got.empty());
    EXPECT_TRUE(std::regex_match(got[0], std::regex("^[0-9]{6}  MAIL  MED parent$")));
    for (std::size_t i = 1; i < got.size(); ++i) {
        const std::string& l = got[i];
        bool whole = l.size() > 5018 && std::regex_search(l.substr(0, 18), head) &&
                     (l.substr(18, 5000) == std::string(5000, 'x') || l.substr(18, 5000) == std::string(5000, 'y')) &&
                     std::regex_search(l.substr(5018), tail);
        EXPECT_TRUE(whole) << l.substr(0, 80);
        ++count;
    }
    EXPECT_EQ(count, 2 * kLines);
}

}  // namespace
