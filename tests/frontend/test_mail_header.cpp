// The header reader over real files: unfolding, where the block ends, the kinds' prefix match,
// and the limits on count and length.
#include "frontend/mail/rfc822_mail_header.h"
#include "tests/support/day_log.h"
#include "tests/support/temp_env.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using testsupport::writeFile;

std::string item(const std::string& text) {
    static const std::string dir = testsupport::makeTempDir("hdr");
    static int n = 0;
    const std::string path = dir + "/" + std::to_string(++n) + ".rfc822";
    writeFile(path, text);
    return path;
}

std::string valueOf(const RFC822MailHeader& h, int kind) {
    const char* v = h.value(kind);
    return v ? v : "<none>";
}

TEST(MailHeader, FindsKindsByPrefixIgnoringCaseAndBlanks) {
    const RFC822MailHeader h(
        item("Received: from a by b; Mon, 7 Dec 2026 10:00:00 +0000\r\n"
             "Received: from c by a; Mon, 7 Dec 2026 09:59:00 +0000\r\n"
             "FROM:Ann <ann@example.net>\r\n"
             "Topic: not the recipients\r\n"
             "To: bob@example.net\r\n"
             "Subject:\t \t spaced\r\n"
             "Date:   Mon, 7 Dec 2026 10:00:00 +0000\r\n"
             "X-No-Colon here\r\n"
             "\r\n"
             "Subject: in the body\r\n"));
    EXPECT_EQ(h.count(), 8u);
    EXPECT_EQ(valueOf(h, RFC822MailHeader::kFrom), "Ann <ann@example.net>");
    EXPECT_EQ(valueOf(h, RFC822MailHeader::kTo), "not the recipients");  // "To" begins "Topic"
    EXPECT_EQ(valueOf(h, RFC822MailHeader::kSubject), "spaced");
    EXPECT_EQ(valueOf(h, RFC822MailHeader::kDate), "Mon, 7 Dec 2026 10:00:00 +0000");
    EXPECT_EQ(valueOf(h, RFC822MailHeader::kReceived), "from a by b; Mon, 7 Dec 2026 10:00:00 +0000");
    EXPECT_EQ(valueOf(h, RFC822MailHeader::kCC), "<none>");
    EXPECT_EQ(valueOf(h, 12), "<none>");
    EXPECT_EQ(valueOf(h, -1), "<none>");
}

TEST(MailHeader, LinesWithoutColonAreNeverReturned) {
    const RFC822MailHeader h(item("From nobody\r\nFrom: late@example.net\r\n\r\n"));
    EXPECT_EQ(valueOf(h, RFC822MailHeader::kFrom), "late@example.net");
    const RFC822MailHeader only(item("Subject without colon\n\n"));
    EXPECT_EQ(only.count(), 1u);
    EXPECT_EQ(valueOf(only, RFC822MailHeader::kSubject), "<none>");
}

TEST(MailHeader, UnfoldsContinuationsKeepingTheirLeadingBlanks) {
    const RFC822MailHeader h(item("Subject: first\r\n\tsecond\r\n  third  \r\nTo: x@y\r\n\r\n"));
    EXPECT_EQ(valueOf(h, RFC822MailHeader::kSubject), "first\tsecond  third");
    EXPECT_EQ(valueOf(h, RFC822MailHeader::kTo), "x@y");
}

TEST(MailHeader, TheBlockEndsAtAnEmptyOrVeryShortLine) {
    EXPECT_EQ(RFC822MailHeader(item("\r\nFrom: a@b\r\n")).count(), 0u);
    const RFC822MailHeader stub(item("From: a@b\r\nX:\r\nTo: c@d\r\n"));
    EXPECT_EQ(stub.count(), 1u);
    EXPECT_EQ(valueOf(stub, RFC822MailHeader::kTo), "<none>");
    // No blank line at all: the last header still counts.
    EXPECT_EQ(valueOf(RFC822MailHeader(item("To: c@d")), RFC822MailHeader::kTo), "c@d");
}

TEST(MailHeader, MissingFileIsLoggedAndAnswersNothing) {
    testsupport::freshLog();
    const std::string path = testsupport::worldDir() + "/gone.rfc822";
    const RFC822MailHeader h(path);
    EXPECT_EQ(h.count(), 0u);
    EXPECT_EQ(h.value(RFC822MailHeader::kFrom), nullptr);
    EXPECT_NE(testsupport::logText().find("readHeaders() can't find file : " + path), std::string::npos);
}

TEST(MailHeader, LimitsOnCountLengthAndLinePieces) {
    std::string many;
    for (int i = 0; i < 200; ++i) many += "X-N" + std::to_string(i) + ": v\r\n";
    many += "From: after@limit\r\n\r\n";
    const RFC822MailHeader h(item(many));
    EXPECT_EQ(h.count(), RFC822MailHeader::kMaxHeaders);
    EXPECT_EQ(valueOf(h, RFC822MailHeader::kFrom), "<none>");

    // Folding stops adding once the header would pass 8191 characters.
    std::string folded = "Subject: s\r\n";
    const std::string piece(1000, 'a');
    for (int i = 0; i < 10; ++i) folded += " " + piece + "\r\n";
    folded += "To: t@u\r\n\r\n";
    const RFC822MailHeader f(item(folded));
    EXPECT_EQ(f.line(0).size(), 10u + 8 * 1001);
    EXPECT_EQ(valueOf(f, RFC822MailHeader::kTo), "t@u");

    // A line longer than a header may be is cut; its rest is never read as a line.
    const RFC822MailHeader l(item("Subject: " + std::string(9000, 'b') + "\r\nTo: t@u\r\n\r\n"));
    ASSERT_EQ(l.count(), 2u);
    EXPECT_EQ(l.line(0).size(), RFC822MailHeader::kMaxHeaderLength);
    EXPECT_EQ(valueOf(l, RFC822MailHeader::kTo), "t@u");
}

// A Subject padded to 2047 characters followed by "From: ..." on the same line once made the
// tail a header of its own, and the forged sender won over the real one.
TEST(MailHeader, TheTailOfALongLineIsNeverAHeader) {
    for (std::size_t pad : {2047u - 9u, 2047u - 8u, 2047u, 4094u - 9u, 8191u - 9u, 8191u - 3u, 20000u}) {
        const std::string subject = "Subject: " + std::string(pad, 'x');
        const RFC822MailHeader h(item(subject + "From: forged@evil.example\r\n"
                                                "From: Ann <ann@example.net>\r\n\r\n"));
        EXPECT_EQ(valueOf(h, RFC822MailHeader::kFrom), "Ann <ann@example.net>") << "pad " << pad;
        ASSERT_EQ(h.count(), 2u) << "pad " << pad;
        const std::string joined = subject + "From: forged@evil.example";
        EXPECT_EQ(h.line(0), joined.substr(0, RFC822MailHeader::kMaxHeaderLength)) << "pad " << pad;
    }
    // The same with the tail folded over a continuation, and with a NUL inside the long line.
    const RFC822MailHeader folded(item("Subject: s\r\n " + std::string(2040, 'y') +
                                       "From: forged@evil\r\n"
                                       "From: real@example.net\r\n\r\n"));
    EXPECT_EQ(valueOf(folded, RFC822MailHeader::kFrom), "real@example.net");
    std::string withNul = "Subject: a" + std::string(1, '\0') + std::string(3000, 'z') + "From: forged@evil\r\n";
    const RFC822MailHeader nul(item(withNul + "To: t@u\r\n\r\n"));
    EXPECT_EQ(valueOf(nul, RFC822MailHeader::kFrom), "<none>");
    EXPECT_EQ(valueOf(nul, RFC822MailHeader::kSubject), "a");
    EXPECT_EQ(valueOf(nul, RFC822MailHeader::kTo), "t@u");
}

}  // namespace
