// Files synced on the syncer's thread: every file handed reaches the disk whole, a file the
// disk refuses says so by its outcome, and the syncer does not end before its files are done.
#include "platform/file_syncer.h"
#include "tests/support/temp_env.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

plat::FilePtr fileWith(const std::string& path, const std::string& text) {
    plat::FilePtr f = plat::openFile(path, "wb");
    if (f) std::fwrite(text.data(), 1, text.size(), f.get());  // left in the buffer
    return f;
}

}  // namespace

TEST(FileSyncer, EachFileHasItsOwnOutcomeAndAFullDiskIsAFailure) {
    std::string dir = testsupport::makeTempDir("syncer");
    plat::FileSyncer syncer;
    std::size_t a = syncer.hand(fileWith(dir + "/a", "first"));
    // /dev/full takes the write into the buffer and refuses it at the flush.
    std::size_t full = syncer.hand(fileWith("/dev/full", std::string(100, 'x')));
    std::size_t b = syncer.hand(fileWith(dir + "/b", "second"));
    std::size_t none = syncer.hand(nullptr);
    EXPECT_TRUE(syncer.outcome(b)) << "asked before the earlier ones";
    EXPECT_TRUE(syncer.outcome(a));
    EXPECT_FALSE(syncer.outcome(full));
    EXPECT_FALSE(syncer.outcome(none));
    EXPECT_FALSE(syncer.outcome(none + 1)) << "never handed";
    EXPECT_EQ(testsupport::readFile(dir + "/a"), "first");
    EXPECT_EQ(testsupport::readFile(dir + "/b"), "second");
    fs::remove_all(dir);
}

TEST(FileSyncer, FilesSyncedTogetherKeepTheirOwnOutcomesAndEndingWaitsForThemAll) {
    std::string dir = testsupport::makeTempDir("syncer");
    const std::string text(70000, 'm');  // more than a buffer's worth, so partly written already
    std::vector<std::size_t> tickets;
    {
        plat::FileSyncer syncer;
        // Every third file is refused by the disk: its outcome, and only its, is a failure,
        // however the threads share the files out and finish them.
        for (int i = 0; i < 40; ++i)
            tickets.push_back(syncer.hand(fileWith(i % 3 == 0 ? "/dev/full" : dir + "/" + std::to_string(i), text)));
        for (int i = 39; i >= 20; --i) EXPECT_EQ(syncer.outcome(tickets[i]), i % 3 != 0) << i;
        // The first twenty are left for the end to wait on.
    }
    for (int i = 0; i < 40; ++i) {
        if (i % 3 == 0) continue;
        EXPECT_EQ(fs::file_size(dir + "/" + std::to_string(i)), text.size()) << i;
    }
    fs::remove_all(dir);
}
