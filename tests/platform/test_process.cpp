// Child processes: queries run to their end, ends told from the loop, and the file mask
// of a program started for the user.
#include "platform/event_loop.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/spawn.h"
#include "platform/window.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <vector>

using namespace plat;

namespace {

struct Ended {
    int pid;
    int code;
};
std::vector<Ended> g_ended;

TEST(Process, QueriesCollectOutputAndExitCodeWithinTheirTime) {
    ProcessResult r = runProcess({"sh", "-c", "printf 'home:activated\\nwork:\\n'; exit 4"}, 5000);
    EXPECT_TRUE(r.started);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 4);
    EXPECT_EQ(r.output, "home:activated\nwork:\n");
    ProcessResult slow = runProcess({"sleep", "5"}, 100);
    EXPECT_TRUE(slow.timedOut);
    EXPECT_EQ(slow.exitCode, 128 + 9);
    EXPECT_FALSE(runProcess({"no-such-program-here"}, 1000).started);
    EXPECT_NE(findOnPath("sh"), "");
    EXPECT_EQ(findOnPath("no-such-program-here"), "");
}

TEST(Process, AStartedProgramsEndIsToldFromTheLoop) {
    auto ended = [](int pid, int code) { g_ended.push_back({pid, code}); };
    int quick = startProcess({"sh", "-c", "exit 3"}, ended);
    int slower = startProcess({"sh", "-c", "sleep 0.2; exit 0"}, ended);
    ASSERT_GT(quick, 0);
    ASSERT_GT(slower, 0);
    EXPECT_TRUE(g_ended.empty());  // never inside the start
    for (int i = 0; i < 300 && g_ended.size() < 2; ++i) pumpMessages(10);
    ASSERT_EQ(g_ended.size(), 2u);
    EXPECT_EQ(g_ended[0].pid, quick);
    EXPECT_EQ(g_ended[0].code, 3);
    EXPECT_EQ(g_ended[1].pid, slower);
    EXPECT_EQ(g_ended[1].code, 0);
    EXPECT_EQ(startProcess({"no-such-program-here"}, ended), 0);
}

TEST(Process, AProgramStartedForTheUserGetsTheUsersFileMask) {
    // The gateway's own files are private; a program it starts (an e-mail program) is not
    // the gateway's to restrict.
    char dir[] = "/tmp/umask-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    std::string out = std::string(dir) + "/mask";
    mode_t before = ::umask(027);
    keepNewFilesPrivate();
    ASSERT_EQ(spawnDetached("/bin/sh", {"sh", "-c", "umask > " + out + ".tmp && mv " + out + ".tmp " + out}), 0);
    std::string mask;
    for (int i = 0; i < 300 && mask.empty(); ++i) {
        pumpMessages(10);
        std::ifstream f(out);
        std::getline(f, mask);
    }
    EXPECT_EQ(mask, "0027");
    EXPECT_EQ(::umask(before), 077);  // the gateway's own stays private
    std::filesystem::remove_all(dir);
}

}  // namespace
