// Routing files: the exact format, and loads of missing, truncated and lying files.
#include "store/addr_list.h"
#include "store_test_util.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>

using namespace store;
using storetest::entry;
using storetest::le32;
using storetest::logText;
using AddrListTest = storetest::StoreTest;

namespace {

std::vector<std::string> contents(const AddrList& list) {
    std::vector<std::string> out;
    for (int n = 1; n <= list.count(); ++n) out.push_back(*list.address(n));
    return out;
}

const char kReadProblem[] = " APP HIGH FAILED TO LOAD ADDRLIST - READ PROBLEM : ";

}  // namespace

TEST_F(AddrListTest, RoutingFileHasTheExactLayoutAndLoadsBackEqual) {
    AddrList list;
    EXPECT_EQ(list.address(1), nullptr);
    list.append("<a@b>");
    list.append("<c@d>");
    list.append("<e@f>");
    ASSERT_TRUE(list.save(in("r.route")));
    EXPECT_EQ(list.path(), in("r.route"));
    std::string bytes = testsupport::readFile(in("r.route"));
    ASSERT_EQ(bytes.size(), 31u);
    EXPECT_EQ(bytes, le32(3) + entry("<a@b>") + entry("<c@d>") + entry("<e@f>"));

    AddrList back;
    back.append("left over");
    ASSERT_TRUE(back.load(in("r.route")));
    EXPECT_EQ(contents(back), (std::vector<std::string>{"<a@b>", "<c@d>", "<e@f>"}));
    EXPECT_EQ(back.address(0), nullptr);
    EXPECT_EQ(back.address(4), nullptr);
    EXPECT_EQ(logText(), "");
}

TEST_F(AddrListTest, CountZeroLoadsEmpty) {
    put("zero.route", le32(0));
    AddrList list;
    list.append("x");
    EXPECT_TRUE(list.load(in("zero.route")));
    EXPECT_EQ(list.count(), 0);
}

TEST_F(AddrListTest, MissingRoutingFileIsAnOpenProblem) {
    AddrList list;
    list.append("x");
    EXPECT_FALSE(list.load(in("none.route")));
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(list.path(), in("none.route"));
    EXPECT_NE(logText().find(" APP HIGH FAILED TO LOAD ADDRLIST - OPEN PROBLEM : " + in("none.route") + "\n"),
              std::string::npos)
        << logText();
}

TEST_F(AddrListTest, TruncatedOrLyingRoutingFilesAreReadProblemsThatKeepWhatWasRead) {
    const std::string two = entry("<a@b>") + entry("<c@d>");
    struct Case {
        const char* what;
        std::string bytes;
        std::vector<std::string> kept;
    };
    const std::vector<Case> cases = {
        {"empty file", "", {}},
        {"short count", "\x02\x00", {}},
        {"negative count", le32(0xFFFFFFFFu), {}},
        {"count beyond the file", le32(5) + two, {"<a@b>", "<c@d>"}},
        {"huge count", le32(0x7FFFFFFFu) + two, {"<a@b>", "<c@d>"}},
        {"cut inside an address", le32(3) + two + le32(5) + "<e@", {"<a@b>", "<c@d>"}},
        {"cut inside a length", le32(3) + two + "\x05", {"<a@b>", "<c@d>"}},
        {"zero length", le32(2) + entry("<a@b>") + le32(0) + "x", {"<a@b>"}},
        {"negative length", le32(2) + entry("<a@b>") + le32(0x80000000u) + "x", {"<a@b>"}},
        {"length beyond the file", le32(2) + entry("<a@b>") + le32(0x7FFFFFFFu) + "abc", {"<a@b>"}},
    };
    int k = 0;
    for (const Case& c : cases) {
        std::string name = "bad" + std::to_string(k++) + ".route";
        put(name, c.bytes);
        AddrList list;
        EXPECT_FALSE(list.load(in(name))) << c.what;
        EXPECT_EQ(contents(list), c.kept) << c.what;
        EXPECT_NE(logText().find(kReadProblem + in(name) + "\n"), std::string::npos) << c.what;
    }
}

TEST_F(AddrListTest, SaveReportsOpenAndWriteProblems) {
    AddrList list;
    list.append("<a@b>");
    list.append("<c@d>");
    EXPECT_FALSE(list.save(in("missing/r.route")));
    EXPECT_NE(logText().find(" APP HIGH FAILED TO SAVE ADDRLIST - OPEN PROBLEM : " + in("missing/r.route") + "\n"),
              std::string::npos)
        << logText();

    // A full disk shows only when the buffer is flushed; the save must still fail.
    EXPECT_FALSE(list.save("/dev/full"));
    EXPECT_NE(logText().find(" APP HIGH FAILED TO SAVE ADDRLIST - WRITE PROBLEM : /dev/full\n"), std::string::npos)
        << logText();
}
