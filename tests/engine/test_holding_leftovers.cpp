// Start-up clean-up of the holding directory: an item file is removed only when no message can
// still claim it (its account has not recorded its identifier, so the message is still on the
// provider), or when it is empty; everything else stays, each with the reason in the log.
#include "engine/private_folders.h"
#include "engine/startup_cleanup.h"
#include "platform/fault_hooks.h"
#include "platform/registry.h"
#include "pop3/uidl.h"
#include "config/settings.h"
#include "store/item_name.h"
#include "tests/support/day_log.h"
#include "tests/support/temp_env.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using testsupport::logText;
using testsupport::writeFile;

namespace {

constexpr char kHolding[] = "accounts/holding/";
const std::string kOwner = "ann@pop.example.net";

class HoldingLeftovers : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::clearWorld();
        testsupport::freshLog();
        fs::create_directories(kHolding);
        ASSERT_TRUE(config::openAccountsKey(accounts));
        account("Home", "ann", "pop.example.net", "ann@pop.example.net.uidl");
    }
    void TearDown() override { DebugLogSetClock(nullptr); }

    void account(const std::string& title, const std::string& user, const std::string& server,
                 const std::string& uidl) {
        ASSERT_TRUE(config::createAccountKey(accounts, title));
        ASSERT_TRUE(config::writeAccountString(accounts, title, "user", user));
        ASSERT_TRUE(config::writeAccountString(accounts, title, "server", server));
        ASSERT_TRUE(config::writeAccountString(accounts, title, "uidlfile", uidl));
        ASSERT_TRUE(config::writeAccountString(accounts, title, "destmailbox", title));
    }
    static void recordIdentifiers(const std::string& file, const std::vector<std::string>& ids) {
        UIDL u;
        u.load(file);
        for (const std::string& id : ids) u.add(id, 0, 0);
        ASSERT_TRUE(u.save());
    }
    static std::string held(const std::string& owner, const std::string& id) {
        return kHolding + store::ownerTaggedName(owner, id);
    }
    bool logged(const std::string& text, const std::string& path) {
        return logText().find(" MAIL  MED " + text + " : " + path + "\n") != std::string::npos;
    }

    plat::RegKey accounts;
};

TEST_F(HoldingLeftovers, OnlyWhatNoMessageCanClaimIsRemovedAndEveryFileIsAccountedFor) {
    std::string longSeen(400, 's'), longNew(400, 'n');
    recordIdentifiers("ann@pop.example.net.uidl",
                      {"seen 1", longSeen, "empty-seen", "imap:INBOX:7:3\t1700000000\t12\t<a@b>"});
    struct File {
        std::string path;
        std::string text;
        const char* keptBecause;  // null: removed
    };
    std::vector<File> files{
        {held(kOwner, "new 1"), "Subject: a\r\n", nullptr},  // still on the provider
        {held(kOwner, longNew), "Subject: b\r\n", nullptr},  // a shortened name, not recorded
        {held(kOwner, "empty-seen"), "", nullptr},  // holds nothing
        {held("bob@elsewhere", "y"), "", nullptr},
        {held(kOwner, "seen 1"), "Subject: c\r\n", "its identifier is recorded as retrieved"},
        {held(kOwner, longSeen), "Subject: d\r\n", "its identifier is recorded as retrieved"},
        // An IMAP message is named by its entry's key; the part file of one being fetched is not.
        {held(kOwner, "imap:INBOX:7:3"), "Subject: g\r\n", "its identifier is recorded as retrieved"},
        {held(kOwner, "imap-part"), "Subject: h\r\n", nullptr},
        {held("bob@elsewhere", "x"), "Subject: e\r\n", "no configured account owns it"},
        {std::string(kHolding) + "notes.txt", "mine", "not a retrieved item's name"},
        {std::string(kHolding) + "20261207101500123.rfc822", "Subject: f\r\n", "not a retrieved item's name"},
        {std::string(kHolding) + "[ann_40pop_2Eexample_2Enet]seen.rfc822.tmp", "", "not a retrieved item's name"},
    };
    for (const File& f : files) writeFile(f.path, f.text);
    ASSERT_TRUE(fs::create_directory(std::string(kHolding) + "[x]dir.rfc822"));

    removeHoldingLeftovers(kHolding, kAccountsKey);

    for (const File& f : files) {
        if (f.keptBecause) {
            EXPECT_TRUE(fs::exists(f.path)) << f.path;
            EXPECT_TRUE(logged(std::string("Kept leftover of an unfinished retrieval, ") + f.keptBecause, f.path))
                << f.path << "\n"
                << logText();
        } else {
            EXPECT_FALSE(fs::exists(f.path)) << f.path;
            EXPECT_TRUE(logged("Removed leftover of an unfinished retrieval", f.path)) << f.path << "\n" << logText();
        }
    }
    EXPECT_TRUE(fs::is_directory(std::string(kHolding) + "[x]dir.rfc822"));
    EXPECT_EQ(logText().find(" HIGH "), std::string::npos) << logText();
    // The identifier file is only read.
    UIDL after;
    after.load("ann@pop.example.net.uidl");
    EXPECT_EQ(after.count(), 4);
}

TEST_F(HoldingLeftovers, AnAccountWhoseRecordCannotBeReadKeepsItsFiles) {
    account("Other", "cy", "pop.example.org", "");
    account("Third", "di", "pop.example.org", "di.uidl");
    ASSERT_TRUE(fs::create_directory("di.uidl"));  // not a file that can be read
    std::string noFile = held("cy@pop.example.org", "1");
    std::string unreadable = held("di@pop.example.org", "1");
    writeFile(noFile, "Subject: a\r\n");
    writeFile(unreadable, "Subject: b\r\n");
    // An identifier file that does not exist yet records nothing.
    std::string unrecorded = held(kOwner, "1");
    writeFile(unrecorded, "Subject: c\r\n");

    removeHoldingLeftovers(kHolding, kAccountsKey);

    EXPECT_TRUE(logged("Kept leftover of an unfinished retrieval, its account keeps no identifier file", noFile))
        << logText();
    EXPECT_TRUE(logged("Kept leftover of an unfinished retrieval, the identifier file of its account cannot be read",
                       unreadable))
        << logText();
    EXPECT_TRUE(fs::exists(noFile));
    EXPECT_TRUE(fs::exists(unreadable));
    EXPECT_FALSE(fs::exists(unrecorded));
}

// The working folders are made parents first, each flushed into its parent before the next
// is made in it; a parent that cannot be flushed fails the preparation aloud.
TEST(WorkingFolders, EachFolderMadeIsFlushedIntoItsParentBeforeItsChildren) {
    testsupport::clearWorld();
    testsupport::freshLog();
    plat::RegKey accounts;
    ASSERT_TRUE(config::openAccountsKey(accounts));
    ASSERT_TRUE(config::createAccountKey(accounts, "Home"));
    ASSERT_TRUE(config::writeAccountString(accounts, "Home", "destmailbox", "box"));
    std::vector<std::string> synced;
    std::string refused;
    plat::faults::refuseDirectorySyncs([&](const std::string& dir) {
        synced.push_back(dir + (fs::exists(dir) ? "" : " (missing)"));
        return dir == refused;
    });
    EXPECT_TRUE(prepareWorkingFolders("outgoing/", kHolding, kAccountsKey));
    // The working folder was there already: flushed all the same, as is every folder at start.
    EXPECT_EQ(synced, (std::vector<std::string>{".", ".", ".", "accounts", "accounts"}));
    for (const char* dir : {"outgoing", "accounts/holding", "accounts/box"}) EXPECT_TRUE(fs::is_directory(dir)) << dir;

    fs::remove_all("accounts");
    synced.clear();
    refused = "accounts";
    EXPECT_FALSE(prepareWorkingFolders("outgoing/", kHolding, kAccountsKey));
    std::string log = logText();
    EXPECT_NE(log.find(" APP HIGH Unable to flush the folder that holds : accounts/holding 5\n"), std::string::npos)
        << log;
    EXPECT_NE(log.find(" APP HIGH Unable to flush the folder that holds : accounts/box 5\n"), std::string::npos) << log;
    plat::faults::refuseDirectorySyncs({});
    DebugLogSetClock(nullptr);
}

}  // namespace
