// MailDrop listings: what is listed, ids and owner tags, sizes and read state.
#include "store/item_name.h"
#include "store/maildrop.h"
#include "store/read_state.h"
#include "store_test_util.h"

#include <gtest/gtest.h>

#include <map>
#include <sys/stat.h>

using namespace store;
using storetest::logText;
using MailDropTest = storetest::StoreTest;

namespace {

// Listed file names mapped to their index, whatever the directory order.
std::map<std::string, int> byName(const MailDrop& drop) {
    std::map<std::string, int> out;
    for (int i = 1; i <= drop.count(); ++i) out[drop.itemFileName(i)] = i;
    return out;
}

}  // namespace

TEST_F(MailDropTest, ListsBothNameFormsWithIdsAndOwnerTags) {
    put("19980105143007123.rfc822", "12345");
    std::string made = makeItemFileName(dir_, "ann@pop1", "AB.12");
    EXPECT_EQ(made, in("[ann_40pop1]AB_2E12.rfc822"));
    testsupport::writeFile(made, "abc");

    MailDrop drop(dir_);
    ASSERT_EQ(drop.count(), 2);
    EXPECT_EQ(drop.directory(), dir_ + "/");
    EXPECT_EQ(drop.makeItemFileName("ann@pop1", "AB.12"), made);
    auto names = byName(drop);
    int stamped = names.at("19980105143007123.rfc822");
    EXPECT_EQ(drop.itemId(stamped), "19980105143007123");
    EXPECT_EQ(drop.itemOwnerTag(stamped), "");
    EXPECT_EQ(drop.itemSize(stamped), 5u);
    int tagged = names.at("[ann_40pop1]AB_2E12.rfc822");
    EXPECT_EQ(drop.itemId(tagged), "AB.12");
    EXPECT_EQ(drop.itemOwnerTag(tagged), "ann_40pop1");
    EXPECT_EQ(drop.itemPath(tagged), made);
    EXPECT_EQ(drop.totalSize(), 8u);
}

TEST_F(MailDropTest, ListsOnlyVisibleItemFiles) {
    put("a.rfc822", "a");
    put(".hidden.rfc822", "hidden");
    put(".rfc822", "x");
    put("b.txt", "b");
    put("c.rfc822.route", "c");
    put("d.RFC822", "d");
    ASSERT_EQ(::mkdir(in("sub.rfc822").c_str(), 0700), 0);
    MailDrop drop(dir_);
    ASSERT_EQ(drop.count(), 1);
    EXPECT_EQ(drop.itemFileName(1), "a.rfc822");
    EXPECT_EQ(drop.totalSize(), 1u);
}

TEST_F(MailDropTest, MissingOrEmptyDirectoryListsNothing) {
    MailDrop empty(dir_);
    EXPECT_EQ(empty.count(), 0);
    EXPECT_EQ(empty.totalSize(), 0u);
    EXPECT_FALSE(empty.hasUnread());
    MailDrop missing(dir_ + "/nowhere");
    EXPECT_EQ(missing.count(), 0);
    EXPECT_EQ(missing.totalSize(), 0u);
    EXPECT_EQ(logText(), "");
}

TEST_F(MailDropTest, ReadStateFollowsThePermissionBits) {
    put("r.rfc822", "read");
    put("u.rfc822", "unread");
    ASSERT_EQ(::chmod(in("r.rfc822").c_str(), 0444), 0);
    ASSERT_EQ(::chmod(in("u.rfc822").c_str(), 0644), 0);
    EXPECT_TRUE(isItemRead(in("r.rfc822")));
    EXPECT_FALSE(isItemRead(in("u.rfc822")));

    MailDrop drop(dir_);
    auto names = byName(drop);
    int r = names.at("r.rfc822"), u = names.at("u.rfc822");
    EXPECT_TRUE(drop.isRead(r));
    EXPECT_FALSE(drop.isRead(u));
    EXPECT_TRUE(drop.hasUnread());
    EXPECT_EQ(drop.unreadCount(), 1);

    // The query reads the file now; the counts stay those of the scan.
    EXPECT_TRUE(drop.setRead(u, ReadState::Read));
    EXPECT_TRUE(drop.setRead(r, ReadState::Unread));
    EXPECT_TRUE(drop.isRead(u));
    EXPECT_FALSE(drop.isRead(r));
    EXPECT_EQ(drop.unreadCount(), 1);
    struct stat st {};
    ASSERT_EQ(::stat(in("u.rfc822").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0222, 0u);

    EXPECT_TRUE(drop.setRead(u, ReadState::Unread));
    MailDrop rescanned(dir_);
    EXPECT_EQ(rescanned.unreadCount(), 2);
    EXPECT_TRUE(rescanned.hasUnread());
}

TEST_F(MailDropTest, VanishedItemCountsAsReadAndRefusesAStateChange) {
    put("gone.rfc822", "x");
    MailDrop drop(dir_);
    ASSERT_EQ(drop.count(), 1);
    ASSERT_EQ(std::remove(in("gone.rfc822").c_str()), 0);
    EXPECT_TRUE(drop.isRead(1));
    EXPECT_FALSE(drop.setRead(1, ReadState::Read));
    EXPECT_FALSE(drop.setRead(1, ReadState::Unread));
    std::string log = logText();
    EXPECT_NE(log.find(" APP HIGH unable to set file as READ 2\n"), std::string::npos) << log;
    EXPECT_NE(log.find(" APP HIGH unable to set file as UNREAD 2\n"), std::string::npos) << log;
    EXPECT_NE(log.find(" APP HIGH " + in("gone.rfc822") + "\n"), std::string::npos) << log;
}

TEST_F(MailDropTest, DeletionMarksLiveInTheSnapshotAndBadIndexesAreHarmless) {
    put("a.rfc822", "a");
    MailDrop drop(dir_);
    EXPECT_FALSE(drop.deletionMark(1));
    drop.mark(1);
    EXPECT_TRUE(drop.deletionMark(1));
    drop.unmark(1);
    EXPECT_FALSE(drop.deletionMark(1));

    for (int bad : {0, -1, 2}) {
        drop.mark(bad);
        EXPECT_FALSE(drop.deletionMark(bad));
        EXPECT_EQ(drop.itemId(bad), "");
        EXPECT_EQ(drop.itemPath(bad), "");
        EXPECT_EQ(drop.itemSize(bad), 0u);
        EXPECT_TRUE(drop.isRead(bad));
        EXPECT_FALSE(drop.setRead(bad, ReadState::Read));
    }
}

TEST_F(MailDropTest, ItemsWithLongNamesAreListedWhole) {
    std::string uid(70, '~');  // escapes to 210 characters
    std::string path = makeItemFileName(dir_, "ann@pop1", uid);
    testsupport::writeFile(path, "long");
    MailDrop drop(dir_);
    ASSERT_EQ(drop.count(), 1);
    EXPECT_GT(drop.itemFileName(1).size(), 129u);
    EXPECT_EQ(drop.itemId(1), uid);
    EXPECT_EQ(drop.itemOwnerTag(1), "ann_40pop1");
    EXPECT_EQ(drop.itemPath(1), path);
    EXPECT_EQ(testsupport::readFile(drop.itemPath(1)), "long");
    EXPECT_FALSE(drop.isRead(1));
}
