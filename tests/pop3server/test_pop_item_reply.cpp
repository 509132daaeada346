// The RETR and TOP bodies read from item files: the stored form unchanged, the final "." on a
// line of its own, TOP's header and line counting, long lines whole, pieces of bounded size;
// and the identifiers reported by UIDL.
#include "pop3/pop_item_reply.h"
#include "pop3/pop_serv_uid.h"
#include "tests/support/temp_env.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

// The whole reply body for an item holding stored, read piece by piece.
std::string replyFor(const std::string& stored, std::optional<long> topLines, std::size_t* pieces = nullptr) {
    testsupport::writeFile("item.rfc822", stored);
    auto reply = ItemReply::open("item.rfc822", topLines);
    EXPECT_TRUE(reply);
    std::string out;
    std::size_t count = 0;
    for (int guard = 0; guard < 10000; ++guard) {
        std::string piece;
        ItemReply::Piece p = reply->next(piece);
        EXPECT_NE(p, ItemReply::Piece::Error);
        EXPECT_LE(piece.size(), 2 * ItemReply::kPieceSize + 16);
        out += piece;
        ++count;
        if (p != ItemReply::Piece::More) break;
    }
    if (pieces) *pieces = count;
    return out;
}

TEST(ItemReply, RetrSendsTheStoredBytesAndEndsWithALoneDot) {
    struct Case {
        const char* stored;
        const char* reply;
    } cases[] = {
        {"Subject: a\r\n\r\n..dot\r\nbody\r\n", "Subject: a\r\n\r\n..dot\r\nbody\r\n.\r\n"},
        {"Subject: a\r\n\r\nno end", "Subject: a\r\n\r\nno end\r\n.\r\n"},
        {"Subject: a\r\n\r\nends in LF\n", "Subject: a\r\n\r\nends in LF\n\r\n.\r\n"},
        {"x\r", "x\r\r\n.\r\n"},
        {"", ".\r\n"},
    };
    for (const Case& c : cases) EXPECT_EQ(replyFor(c.stored, std::nullopt), c.reply) << c.stored;
}

TEST(ItemReply, ALargeItemGoesOutInBoundedPiecesUnchanged) {
    std::string stored;
    for (int i = 0; stored.size() < 5 * ItemReply::kPieceSize; ++i) stored += "line " + std::to_string(i) + "\r\n";
    std::size_t pieces = 0;
    EXPECT_EQ(replyFor(stored, std::nullopt, &pieces), stored + ".\r\n");
    EXPECT_GE(pieces, 5u);
    // An item of exactly one piece still ends properly.
    std::string exact(ItemReply::kPieceSize - 2, 'q');
    exact += "\r\n";
    EXPECT_EQ(replyFor(exact, std::nullopt), exact + ".\r\n");
}

TEST(ItemReply, TopSendsTheHeaderTheBlankLineAndCountsBodyLines) {
    const std::string item = "From: a\r\nSubject: b\r\n\r\none\r\n\r\nthree\r\nfour\r\n";
    EXPECT_EQ(replyFor(item, 0), "From: a\r\nSubject: b\r\n\r\n.\r\n");
    EXPECT_EQ(replyFor(item, 1), "From: a\r\nSubject: b\r\n\r\none\r\n.\r\n");
    EXPECT_EQ(replyFor(item, 2), "From: a\r\nSubject: b\r\n\r\none\r\n\r\n.\r\n");  // blank lines count
    EXPECT_EQ(replyFor(item, 99), item + ".\r\n");
    EXPECT_EQ(replyFor(item, -1), item + ".\r\n");
    EXPECT_EQ(replyFor(item, LONG_MIN), item + ".\r\n");
    EXPECT_EQ(replyFor("From: a\r\nno body", 0), "From: a\r\nno body\r\n.\r\n");
}

TEST(ItemReply, TopEndsEveryLineWithCrlf) {
    EXPECT_EQ(replyFor("A: 1\nB: 2\r\n\nbody\n", 5), "A: 1\r\nB: 2\r\n\r\nbody\r\n.\r\n");
    EXPECT_EQ(replyFor("A: 1\r\n\r\nlast\r", 5), "A: 1\r\n\r\nlast\r\n.\r\n");
}

TEST(ItemReply, TopSendsALongLineWholeSoThatNoPartOfItCanEndTheReply) {
    // A line of more than a piece whose tail is a lone "." must not become a "." line.
    std::string longLine(3 * ItemReply::kPieceSize, 'w');
    std::string item = "A: 1\r\n\r\n" + longLine + "\r\n.\r\n" + longLine + "." + "\r\nnext\r\n";
    std::string reply = replyFor(item, 2);
    EXPECT_EQ(reply, "A: 1\r\n\r\n" + longLine + "\r\n.\r\n.\r\n");
    reply = replyFor("A: " + longLine + "\r\n\r\nbody\r\n", 0);
    EXPECT_EQ(reply, "A: " + longLine + "\r\n\r\n.\r\n");
}

TEST(ItemReply, AMissingFileCannotBeOpened) {
    EXPECT_FALSE(ItemReply::open("no-such-item.rfc822", std::nullopt));
}

TEST(UidlReplyId, VisibleIdentifiersAreReportedAsTheyAre) {
    EXPECT_EQ(uidlReplyId("AB.12", "x"), "AB.12");
    EXPECT_EQ(uidlReplyId("0000abc_x-y!~", "x"), "0000abc_x-y!~");
    EXPECT_EQ(uidlReplyId("19980105143007123", "19980105143007123.rfc822"), "19980105143007123");
}

TEST(UidlReplyId, ControlCharactersAndBlanksNeverReachTheReplyLine) {
    EXPECT_EQ(uidlReplyId("a\r\n+OK b", "x"), "a_0D_0A+OK_20b");
    EXPECT_EQ(uidlReplyId(std::string("n\0l\x7f\xff", 5), "x"), "n_00l_7F_FF");
    EXPECT_EQ(uidlReplyId("", "[tag].rfc822"), "[tag].rfc822");
}

}  // namespace
