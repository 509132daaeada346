// Item file names: escaping, the two name forms, and exclusive creation of new items.
#include "store/item_lock.h"
#include "store/item_name.h"
#include "store_test_util.h"

#include "platform/named_mutex.h"
#include "platform/paths.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cerrno>
#include <algorithm>
#include <string>
#include <unistd.h>
#include <vector>

using namespace store;
using NewItemFileTest = storetest::StoreTest;

TEST(NamePart, EscapesEveryByteButLettersAndDigits) {
    EXPECT_EQ(encodeNamePart("ann@pop1"), "ann_40pop1");
    EXPECT_EQ(encodeNamePart("AB.12"), "AB_2E12");
    EXPECT_EQ(encodeNamePart("_"), "_5F");
    EXPECT_EQ(encodeNamePart("\t"), "_ 9");  // width 2, blank-padded
    EXPECT_EQ(encodeNamePart(std::string(1, '\0')), "_ 0");
    EXPECT_EQ(encodeNamePart("\xff[]"), "_FF_5B_5D");
    EXPECT_EQ(decodeNamePart("_5F"), "_");
    EXPECT_EQ(decodeNamePart("_ 9"), "\t");
    EXPECT_EQ(decodeNamePart("_2e"), ".");  // lower-case hex is read too
}

TEST(NamePart, EveryByteRoundTripsAndTheEscapedFormIsSafeInANameSlot) {
    std::string all;
    for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
    std::string encoded = encodeNamePart(all);
    for (char c : encoded) EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == ' ') << int(c);
    EXPECT_EQ(decodeNamePart(encoded), all);
}

TEST(NamePart, MalformedEscapesNeverReadPastTheText) {
    EXPECT_EQ(decodeNamePart("ab_"), "ab0");  // nothing after "_"
    EXPECT_EQ(decodeNamePart("_4"), "\x04");  // one digit at the end
    EXPECT_EQ(decodeNamePart("_G1x"), "0x");  // not hex: "0", both characters skipped
    EXPECT_EQ(decodeNamePart("_  z"), "0z");
    EXPECT_EQ(decodeNamePart("_4 z"), "\x04z");  // a blank after the digit ends it
}

TEST(ItemFileName, SplitsBothForms) {
    ItemFileName stamped = parseItemFileName("19980105143007123.rfc822");
    EXPECT_EQ(stamped.id, "19980105143007123");
    EXPECT_EQ(stamped.ownerTag, "");

    ItemFileName tagged = parseItemFileName("[ann_40pop1]AB_2E12.rfc822");
    EXPECT_EQ(tagged.ownerTag, "ann_40pop1");
    EXPECT_EQ(tagged.id, "AB.12");

    // Without a closing "]" the name has no owner tag; the id runs to the first ".".
    ItemFileName open = parseItemFileName("[abc.rfc822");
    EXPECT_EQ(open.ownerTag, "");
    EXPECT_EQ(open.id, "[abc");
    EXPECT_EQ(parseItemFileName("[t]").id, "");
    EXPECT_EQ(parseItemFileName("").id, "");
}

TEST(ItemFileName, MakesTheOwnerTaggedPath) {
    EXPECT_EQ(makeItemFileName("accounts/ann", "ann@pop1", "AB.12"), "accounts/ann/[ann_40pop1]AB_2E12.rfc822");
    EXPECT_EQ(makeItemFileName("", "a", "b"), "./[a]b.rfc822");
}

TEST(NewItemFileName, IsAUtcStampAndConsecutiveCallsDiffer) {
    std::string a = newItemFileName();
    std::string b = newItemFileName();
    ASSERT_EQ(a.size(), 17u + 7u) << a;
    for (int k = 0; k < 17; ++k) EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(a[k]))) << a;
    EXPECT_EQ(a.substr(17), ".rfc822");
    EXPECT_NE(a, b);
    EXPECT_LT(a, b);
}

TEST(NewItemFileName, ManyInOneMillisecondStayUniqueAndIncreasingWithoutWaiting) {
    std::vector<std::string> names;
    for (int i = 0; i < 5000; ++i) names.push_back(newItemFileName());
    for (std::size_t i = 1; i < names.size(); ++i) ASSERT_LT(names[i - 1], names[i]) << i;
    EXPECT_EQ(itemNameForMs(0), "19700101000000000.rfc822");
}

TEST(NewItemFileName, TheMillisecondAfterCarriesIntoTheNextYear) {
    // 31 Dec 2026 23:59:59.999 UTC and the millisecond after it.
    EXPECT_EQ(itemNameForMs(1798761599999LL), "20261231235959999.rfc822");
    EXPECT_EQ(itemNameForMs(1798761600000LL), "20270101000000000.rfc822");
    EXPECT_EQ(itemNameForMs(1709208000123LL), "20240229120000123.rfc822");
}

namespace {

// A clock that repeats itself: the names of a script, its last name for ever after.
std::vector<std::string> g_names;
std::size_t g_calls = 0;

std::string scriptedName() {
    std::string name = g_names[std::min(g_calls, g_names.size() - 1)];
    ++g_calls;
    return name;
}

void useScript(std::vector<std::string> names) {
    g_names = std::move(names);
    g_calls = 0;
}

}  // namespace

TEST_F(NewItemFileTest, NeverTruncatesAnExistingItem) {
    put("A.rfc822", "first item");
    useScript({"A.rfc822", "A.rfc822", "B.rfc822"});
    NewItemFile f = createNewItemFile(dir_, {}, scriptedName);
    ASSERT_NE(f.file, nullptr) << f.error;
    EXPECT_EQ(f.name, "B.rfc822");
    EXPECT_EQ(f.path, in("B.rfc822"));
    EXPECT_GE(std::fputs("second", f.file.get()), 0);
    EXPECT_TRUE(plat::closeFile(f.file));
    EXPECT_EQ(testsupport::readFile(in("A.rfc822")), "first item");
    EXPECT_EQ(testsupport::readFile(in("B.rfc822")), "second");
}

TEST_F(NewItemFileTest, SkipsNamesTakenInTheQueueAndGivesUp) {
    std::string queue = dir_ + "/outgoing";
    ASSERT_EQ(::mkdir(queue.c_str(), 0700), 0);
    testsupport::writeFile(queue + "/Q.rfc822.route", "x");
    useScript({"Q.rfc822", "R.rfc822"});
    NewItemFile f = createNewItemFile(dir_, queue, scriptedName);
    ASSERT_NE(f.file, nullptr);
    EXPECT_EQ(f.name, "R.rfc822");
    f.file.reset();

    // A name that stays taken is tried a bounded number of times.
    useScript({"R.rfc822"});
    f = createNewItemFile(dir_, {}, scriptedName);
    EXPECT_EQ(f.file, nullptr);
    EXPECT_EQ(f.error, EEXIST);
    EXPECT_EQ(g_calls, static_cast<std::size_t>(kNewItemAttempts));

    // Any other failure ends at once.
    useScript({"S.rfc822"});
    f = createNewItemFile(dir_ + "/missing", {}, scriptedName);
    EXPECT_EQ(f.file, nullptr);
    EXPECT_EQ(f.error, ENOENT);
    EXPECT_EQ(g_calls, 1u);
}

TEST(MailItemLock, ExcludesOtherHoldersUntilItsScopeEnds) {
    plat::NamedMutex other(kMailItemMutexName);
    ASSERT_TRUE(other.valid());
    {
        MailItemLock lock(LOG_APP, LOG_HIGH, "FAILED to create MUTEX for test");
        ASSERT_TRUE(lock.held());
        EXPECT_FALSE(other.wait(0));
    }
    EXPECT_TRUE(other.wait(0));
    other.release();
}

// The process keeps its handle open between holds; a lock file removed in between (a cleaned
// runtime directory) must not leave it locking a file nobody else sees.
TEST(MailItemLock, StillExcludesOthersAfterTheLockFileWasRemoved) {
    { MailItemLock first(LOG_APP, LOG_HIGH, "FAILED to create MUTEX for test"); }
    ASSERT_EQ(::unlink((plat::runtimeDir() + "/" + kMailItemMutexName + ".lock").c_str()), 0);
    {
        MailItemLock lock(LOG_APP, LOG_HIGH, "FAILED to create MUTEX for test");
        ASSERT_TRUE(lock.held());
        plat::NamedMutex other(kMailItemMutexName);  // opens the file the path leads to now
        EXPECT_FALSE(other.wait(0));
    }
    plat::NamedMutex other(kMailItemMutexName);
    EXPECT_TRUE(other.wait(0));
    other.release();
}

TEST(ItemFileName, NamesTooLongForTheFileSystemKeepTheirFormWithAHashedId) {
    const std::string owner = std::string(60, 'u') + "@" + std::string(40, 'h') + ".example";
    const std::string punctuated(90, '.');  // escapes to 270 bytes
    std::string name = ownerTaggedName(owner, punctuated);
    ASSERT_LE(name.size(), kMaxItemFileName);
    EXPECT_EQ(name, ownerTaggedName(owner, punctuated));  // the same message, the same name
    EXPECT_EQ(name.rfind("[" + encodeNamePart(owner) + "]_2E_2E", 0), 0u) << name;
    EXPECT_EQ(name.substr(name.size() - 7), ".rfc822");
    // Two identifiers that differ only past the cut get different names.
    EXPECT_NE(ownerTaggedName(owner, punctuated + "a"), ownerTaggedName(owner, punctuated + "b"));
    // The id a listing shows: the kept part, "~" and the hash digits.
    ItemFileName parsed = parseItemFileName(name);
    EXPECT_EQ(parsed.ownerTag, encodeNamePart(owner));
    ASSERT_GT(parsed.id.size(), 33u);
    EXPECT_EQ(parsed.id.substr(0, 2), "..");
    EXPECT_EQ(parsed.id[parsed.id.size() - 33], '~');
    // An owner tag too long on its own is shortened as well.
    std::string huge = ownerTaggedName(std::string(199, '.') + "@" + std::string(199, '.'), "id");
    EXPECT_LE(huge.size(), kMaxItemFileName);
    EXPECT_EQ(parseItemFileName(huge).id, "id");
    // A name that fits stays exactly as it is, up to the last byte allowed.
    std::string fits(kMaxItemFileName - 9 - 5, 'i');
    EXPECT_EQ(ownerTaggedName("a@b", fits), "[a_40b]" + fits + ".rfc822");
    EXPECT_EQ(ownerTaggedName("a@b", fits + "i").size(), kMaxItemFileName);
}
