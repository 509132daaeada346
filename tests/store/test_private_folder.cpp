// Folders of the mail tree made when missing: a new folder is flushed into its parent before
// anything can be stored in it, an existing one costs no flush (but at start-up), and a parent
// that cannot be flushed fails the folder aloud.
#include "platform/fault_hooks.h"
#include "store/private_folder.h"
#include "tests/support/day_log.h"
#include "tests/support/temp_env.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class PrivateFolder : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::clearWorld();
        testsupport::freshLog();
        synced.clear();
        // Records every directory flush; fails those named in refused.
        plat::faults::refuseDirectorySyncs([this](const std::string& dir) {
            synced.push_back(dir);
            return dir == refused;
        });
    }
    void TearDown() override {
        plat::faults::refuseDirectorySyncs({});
        DebugLogSetClock(nullptr);
    }
    std::vector<std::string> synced;
    std::string refused;
};

TEST_F(PrivateFolder, AFolderMadeIsFlushedIntoItsParentAndOneThatExistsIsNot) {
    ASSERT_TRUE(fs::create_directory("accounts"));
    EXPECT_TRUE(store::preparePrivateFolder("accounts/box"));
    EXPECT_TRUE(fs::is_directory("accounts/box"));
    EXPECT_EQ(synced, std::vector<std::string>{"accounts"});
    synced.clear();
    EXPECT_TRUE(store::preparePrivateFolder("accounts/box"));
    EXPECT_TRUE(synced.empty());
    EXPECT_EQ(testsupport::logText().find(" HIGH "), std::string::npos) << testsupport::logText();
}

TEST_F(PrivateFolder, AtStartUpAFolderThatIsThereAlreadyIsFlushedIntoItsParentToo) {
    // Made by someone else, or by a run that ended between its mkdir and the flush.
    ASSERT_TRUE(fs::create_directories("accounts/box"));
    fs::permissions("accounts/box", fs::perms::owner_all);
    EXPECT_TRUE(store::preparePrivateFolder("accounts/box", store::FolderFlush::Always));
    EXPECT_EQ(synced, std::vector<std::string>{"accounts"});
    refused = "accounts";
    EXPECT_FALSE(store::preparePrivateFolder("accounts/box", store::FolderFlush::Always));
}

TEST_F(PrivateFolder, AParentThatCannotBeFlushedFailsTheNewFolderAloud) {
    ASSERT_TRUE(fs::create_directory("accounts"));
    refused = "accounts";
    EXPECT_FALSE(store::preparePrivateFolder("accounts/box"));
    EXPECT_NE(testsupport::logText().find(" APP HIGH Unable to flush the folder that holds : accounts/box 5\n"),
              std::string::npos)
        << testsupport::logText();
}

}  // namespace
