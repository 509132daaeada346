// The identifier store: the file format, missing, empty, truncated and lying files, byte-exact
// identifiers, duplicates, and durable recording one identifier or one batch at a time.
#include "platform/files.h"
#include "pop3/uidl.h"
#include "tests/store/store_test_util.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

using storetest::entry;
using storetest::le32;
using storetest::logText;
using UIDLTest = storetest::StoreTest;

namespace {

std::vector<std::string> ids(const UIDL& list) {
    std::vector<std::string> out;
    for (const UIDLEntry& e : list) out.push_back(e.identifier);
    return out;
}

const char kReadError[] = " APP HIGH UIDL - FAIL - fread error\n";

int occurrences(const std::string& text, const std::string& what) {
    int n = 0;
    for (auto p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
    return n;
}

}  // namespace

TEST_F(UIDLTest, AMissingFileLoadsEmptyAndTheNextSaveCreatesIt) {
    UIDL list;
    list.load(in("a.uidl"));
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(list.fileName(), in("a.uidl"));
    ASSERT_TRUE(list.save());
    EXPECT_EQ(testsupport::readFile(in("a.uidl")), le32(0));  // an empty list: four zero bytes
    EXPECT_FALSE(plat::fileExists(in("a.uidl.tmp")));
    EXPECT_EQ(logText(), "");
}

TEST_F(UIDLTest, IdentifiersOfAnyBytesKeepTheirExactLayout) {
    const std::string odd("sp ace\0\xff\r\n", 10);
    UIDL list;
    list.load(in("b.uidl"));
    list.add("abc", 4, 1);
    list.add(odd, 7, 0);
    list.add("", 9, 0);
    ASSERT_TRUE(list.save());
    EXPECT_EQ(testsupport::readFile(in("b.uidl")), le32(3) + entry("abc") + entry(odd) + entry(""));

    UIDL back;
    back.add("kept", 0, 0);  // a load appends; it does not clear
    back.load(in("b.uidl"));
    EXPECT_EQ(ids(back), (std::vector<std::string>{"kept", "abc", odd, ""}));
    EXPECT_EQ(back.find(odd), back.item(3));
    EXPECT_EQ(back.item(3)->messageNumber, 0);  // numbers and flags are not stored
    EXPECT_EQ(back.find("ABC"), nullptr);  // compared byte for byte
    EXPECT_EQ(back.find("sp ace"), nullptr);
    EXPECT_EQ(back.item(0), back.first());
    EXPECT_EQ(back.item(5), nullptr);
}

TEST_F(UIDLTest, DuplicatesAreKeptAndFindAnswersTheFirstStill) {
    UIDL list;
    // Long identifiers live outside the entry: a key must not outlive the text it views.
    const std::string a(40, 'a');
    const std::string b(40, 'b');
    const UIDLEntry* a1 = &list.add(a, 1, 0);
    const UIDLEntry* b1 = &list.add(b, 2, 0);
    const UIDLEntry* a2 = &list.add(a, 3, 0);
    const UIDLEntry* b2 = &list.add(b, 4, 0);
    const UIDLEntry* a3 = &list.add(a, 5, 0);
    // Entries stay where they are while later ones come.
    for (int k = 0; k < 1000; ++k) list.add("filler" + std::to_string(k), 0, 0);
    EXPECT_EQ(list.count(), 1005);
    EXPECT_EQ(list.find(a), a1);
    EXPECT_EQ(list.item(3), a2);
    list.removeFirst();
    EXPECT_EQ(list.find(a), a2);
    EXPECT_EQ(list.find(b), b1);
    list.removeFirst();
    list.removeFirst();
    EXPECT_EQ(list.find(a), a3);
    EXPECT_EQ(list.find(b), b2);
    EXPECT_EQ(list.find(b)->messageNumber, 4);
    list.removeFirst();
    list.removeFirst();
    EXPECT_EQ(list.find(a), nullptr);
    EXPECT_EQ(list.find(b), nullptr);
    EXPECT_EQ(list.find("filler7"), list.item(8));
    list.setFlag(2, 5);
    EXPECT_EQ(list.item(2)->flag, 5);
    EXPECT_EQ(list.first()->identifier, "filler0");
    list.clear();
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(list.first(), nullptr);
    EXPECT_EQ(list.find("filler0"), nullptr);
    list.removeFirst();  // nothing to remove
    list.add(a, 0, 0);
    EXPECT_EQ(list.find(a), list.first());
}

TEST_F(UIDLTest, UnsoundFilesAreReadAsFarAsTheyGoWithOneLogLine) {
    struct Case {
        const char* name;
        std::string bytes;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {"short count", "\x01\x00", {}},
        {"count promises more", le32(3) + entry("one") + entry("two"), {"one", "two"}},
        {"negative count", le32(0xFFFFFFFFu) + entry("one"), {}},
        {"negative length", le32(2) + entry("one") + le32(0x80000000u) + "xx", {"one"}},
        {"length beyond the file", le32(2) + entry("one") + le32(0x7FFFFFFFu) + "tail", {"one"}},
        {"cut inside an identifier", le32(1) + le32(10) + "abc", {}},
    };
    for (const Case& c : cases) {
        std::remove(storetest::logFileName().c_str());
        put("u.uidl", c.bytes);
        UIDL list;
        list.load(in("u.uidl"));
        EXPECT_EQ(ids(list), c.expected) << c.name;
        EXPECT_EQ(occurrences(logText(), kReadError), 1) << c.name;
    }
    // Trailing bytes beyond the count are not read.
    std::remove(storetest::logFileName().c_str());
    put("t.uidl", le32(1) + entry("one") + entry("two"));
    UIDL list;
    list.load(in("t.uidl"));
    EXPECT_EQ(ids(list), std::vector<std::string>{"one"});
    EXPECT_EQ(logText(), "");
}

TEST_F(UIDLTest, RecordingAppendsDurablyAndFallsBackToAWholeSave) {
    UIDL list;
    list.load(in("r.uidl"));
    list.add("a", 0, 0);
    ASSERT_TRUE(list.save());
    ASSERT_TRUE(list.record("b"));
    ASSERT_TRUE(list.record("c c"));
    EXPECT_EQ(testsupport::readFile(in("r.uidl")), le32(3) + entry("a") + entry("b") + entry("c c"));
    EXPECT_EQ(list.last()->flag, 1);
    // A change the file has not seen makes the next record rewrite the whole file.
    list.removeFirst();
    ASSERT_TRUE(list.record("d"));
    EXPECT_EQ(testsupport::readFile(in("r.uidl")), le32(3) + entry("b") + entry("c c") + entry("d"));
    // A record whose file vanished meanwhile writes it again whole.
    std::remove(in("r.uidl").c_str());
    ASSERT_TRUE(list.record("e"));
    UIDL back;
    back.load(in("r.uidl"));
    EXPECT_EQ(ids(back), (std::vector<std::string>{"b", "c c", "d", "e"}));
}

TEST_F(UIDLTest, ABatchOfRecordsIsWrittenAtItsCommitOnly) {
    UIDL list;
    list.load(in("b.uidl"));
    list.add("a", 0, 0);
    ASSERT_TRUE(list.save());
    list.recordLater("b");
    list.recordLater("c");
    // Nothing reaches the file before the commit; then the whole batch at once.
    EXPECT_EQ(testsupport::readFile(in("b.uidl")), le32(1) + entry("a"));
    ASSERT_TRUE(list.commit());
    EXPECT_EQ(testsupport::readFile(in("b.uidl")), le32(3) + entry("a") + entry("b") + entry("c"));
    ASSERT_TRUE(list.commit());  // nothing new: the file stays as it is
    EXPECT_EQ(testsupport::readFile(in("b.uidl")), le32(3) + entry("a") + entry("b") + entry("c"));
    // A change the file has not seen in the middle of a batch makes the commit save it whole.
    list.recordLater("d");
    list.removeFirst();
    list.recordLater("e");
    ASSERT_TRUE(list.commit());
    EXPECT_EQ(testsupport::readFile(in("b.uidl")), le32(4) + entry("b") + entry("c") + entry("d") + entry("e"));
}

TEST_F(UIDLTest, AFileThatCannotBeWrittenIsLeftAsItWas) {
    put("keep.uidl", le32(1) + entry("old"));
    UIDL list;
    list.load(in("keep.uidl"));
    list.add("new", 0, 0);
    ::mkdir(in("keep.uidl.tmp").c_str(), 0700);  // the temporary name is taken by a directory
    EXPECT_FALSE(list.save());
    EXPECT_EQ(testsupport::readFile(in("keep.uidl")), le32(1) + entry("old"));
}
