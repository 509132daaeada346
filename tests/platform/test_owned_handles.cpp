// Owned streams and descriptors: a failed last flush reaches the writer, moves never close
// twice, and the file helpers give back every descriptor, on their failure paths too.
#include "platform/files.h"
#include "platform/hive_file.h"
#include "platform/owned_handles.h"
#include "platform/run_process.h"
#include "tests/support/temp_env.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fcntl.h>
#include <string>
#include <unistd.h>

using namespace plat;

namespace {

int openDescriptors() {
    int n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) ++n;
    return n;
}

bool isOpen(int fd) {
    return ::fcntl(fd, F_GETFD) != -1;
}

TEST(OwnedHandles, AFlushThatFailsAtTheCloseIsReportedToTheWriter) {
    FilePtr full = openFile("/dev/full", "wb");
    ASSERT_TRUE(full);
    std::fputs("held in the buffer until the close", full.get());
    EXPECT_FALSE(closeFile(full));
    EXPECT_FALSE(full);
    EXPECT_TRUE(closeFile(full));  // nothing left to close

    FilePtr null = openFile("/dev/null", "wb");
    std::fputs("x", null.get());
    EXPECT_TRUE(closeFile(null));
    EXPECT_FALSE(openFile("/nonexistent/dir/file", "rb"));
}

TEST(OwnedHandles, ADescriptorIsClosedOnceByItsLastOwner) {
    int raw = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(raw, 0);
    {
        Descriptor first(raw);
        Descriptor second(std::move(first));
        EXPECT_FALSE(first.valid());
        Descriptor third;
        third = std::move(second);
        third = std::move(third);  // self-move keeps it
        EXPECT_EQ(third.get(), raw);
        EXPECT_TRUE(isOpen(raw));
    }
    EXPECT_FALSE(isOpen(raw));

    Descriptor kept(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    int released = kept.release();
    kept.reset();
    EXPECT_TRUE(isOpen(released));
    ::close(released);
}

TEST(OwnedHandles, FileHelpersLeakNoDescriptorOnAnyPath) {
    std::string dir = testsupport::makeTempDir("handles-");
    testsupport::writeFile(dir + "/a.txt", "same");
    testsupport::writeFile(dir + "/b.txt", "same");
    testsupport::writeFile(dir + "/c.txt", "other");
    testsupport::writeFile(dir + "/user.reg", "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software]\n\"a\"=\"b\"\n");
    std::filesystem::create_directory_symlink(dir, dir + "/link");
    int before = openDescriptors();
    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(listFiles(dir, ".txt").size(), 3u);
        EXPECT_TRUE(listFiles(dir + "/missing", ".txt").empty());
        EXPECT_TRUE(sameFileContents(dir + "/a.txt", dir + "/b.txt"));
        EXPECT_FALSE(sameFileContents(dir + "/a.txt", dir + "/c.txt"));
        EXPECT_FALSE(sameFileContents(dir + "/a.txt", dir + "/missing"));
        EXPECT_EQ(syncDirectoryOf(dir + "/a.txt"), 0);
        bool madePrivate = false;
        EXPECT_EQ(makePrivateDirectory(dir + "/link", madePrivate), ELOOP);
        EXPECT_EQ(makePrivateDirectory(dir, madePrivate), 0);
        int err = 0;
        EXPECT_FALSE(createExclusive(dir + "/a.txt", &err));
        EXPECT_EQ(err, EEXIST);
        FilePtr made = createExclusive(dir + "/new" + std::to_string(round), &err);
        EXPECT_TRUE(made);
        made.reset();
        EXPECT_TRUE(runProcess({"sh", "-c", "echo out"}, 5000).started);
        EXPECT_FALSE(runProcess({"/nonexistent/program"}, 5000).started);
        {
            hive::HiveLock lock(dir + "/user.reg");
            EXPECT_TRUE(lock.held());
            std::string problems;
            hive::HiveFile hive("HKEY_CURRENT_USER", hive::HiveFile::Owner::Ours, problems);
            hive.refresh(dir + "/user.reg",
                         hive::HiveFile::Reread::Always);  // keeps the file it read open while it lives
            EXPECT_EQ(hive.state(), hive::HiveState::Loaded) << problems;
            EXPECT_TRUE(hive.write());
        }
    }
    EXPECT_EQ(openDescriptors(), before);
    std::filesystem::remove_all(dir);
}

}  // namespace
