// Files made ahead on the maker's threads: taken in turn, the ones it could not make and the ones
// never asked for left to the caller, and the ones never taken gone at the end, also when the
// program is killed.
#include "platform/file_maker.h"
#include "tests/support/temp_env.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// The threads begin the files in the order asked: once the last is made, every other one is
// made or being made, and take() waits for those.
bool madeInTime(const plat::FileMaker& maker, const std::string& path) {
    for (int i = 0; i < 500 && !maker.ready(path); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return maker.ready(path);
}

}  // namespace

TEST(FileMaker, FilesAreMadeEmptyTakenOnceAndTheUntakenRemoved) {
    std::string dir = testsupport::makeTempDir("maker");
    std::string a = dir + "/a", b = dir + "/b", c = dir + "/c";
    std::string lost = dir + "/missing/d";
    testsupport::writeFile(a, "an interrupted attempt");
    {
        plat::FileMaker maker;
        for (const std::string& p : {a, lost, b, c}) maker.request(p);
        EXPECT_TRUE(maker.holds(b));
        ASSERT_TRUE(madeInTime(maker, c));
        plat::FilePtr fa = maker.take(a);
        ASSERT_TRUE(fa);
        EXPECT_EQ(fs::file_size(a), 0u);
        EXPECT_GE(std::fputs("new", fa.get()), 0);
        fa.reset();
        EXPECT_FALSE(maker.take(a)) << "taken twice";
        EXPECT_FALSE(maker.take(lost)) << "could not be made: the caller opens it and learns why";
        EXPECT_FALSE(maker.take(dir + "/never-asked"));
        EXPECT_EQ(maker.waiting(), 2u);
        EXPECT_TRUE(maker.take(b));
        EXPECT_FALSE(maker.holds(b));
    }
    // c was made and never taken.
    EXPECT_FALSE(fs::exists(c));
    EXPECT_TRUE(fs::exists(b));
    EXPECT_EQ(testsupport::readFile(a), "new");
    fs::remove_all(dir);
}

TEST(FileMaker, ADiscardedMakerCanBeAskedAgain) {
    std::string dir = testsupport::makeTempDir("maker");
    plat::FileMaker maker;
    maker.request(dir + "/one");
    maker.discard();
    EXPECT_EQ(maker.waiting(), 0u);
    maker.request(dir + "/two");
    ASSERT_TRUE(madeInTime(maker, dir + "/two"));
    EXPECT_TRUE(maker.take(dir + "/two"));
    fs::remove_all(dir);
}

TEST(FileMaker, AProgramKilledBeforeTakingItsFilesLeavesOnlyTheOnesItTook) {
    std::string dir = testsupport::makeTempDir("maker");
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        plat::FileMaker maker;
        for (const char* name : {"/taken", "/made", "/also-made"}) maker.request(dir + name);
        bool ready = madeInTime(maker, dir + "/made") && madeInTime(maker, dir + "/also-made");
        plat::FilePtr taken = maker.take(dir + "/taken");
        ::kill(::getpid(), ready && taken ? SIGKILL : SIGTERM);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    ASSERT_EQ(WTERMSIG(status), SIGKILL) << "the child's files were not made";
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(dir)) left.push_back(e.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"taken"});
    fs::remove_all(dir);
}
