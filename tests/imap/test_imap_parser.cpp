// The IMAP response parser: every case fed whole and one byte at a time gives the same
// transcript; literals streamed or kept; hostile input (endless tokens, lying or huge kept
// literals, unbalanced or deep lists, bare LF) stops it with a reason and bounded memory.
#include "imap/imap_parser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Writes what the parser says as text; streams the literal that follows a "BODY[]" atom.
class Transcript : public IMAPResponseSink {
public:
    std::string out;
    std::string lastAtom;
    std::uint64_t streamed = 0;
    bool keepStreamed = true;

    void begin(Kind kind, std::string_view tag) override {
        out += kind == Kind::Untagged ? "U" : kind == Kind::Continuation ? "C" : "T:" + std::string(tag);
    }
    void atom(std::string_view t) override {
        out += " a[" + std::string(t) + "]";
        lastAtom = t;
    }
    void string(std::string_view t) override { out += " s[" + std::string(t) + "]"; }
    void listBegin() override { out += " ("; }
    void listEnd() override { out += " )"; }
    LiteralUse literalBegin(std::uint64_t size) override {
        if (lastAtom != "BODY[]") return LiteralUse::Keep;
        out += " L" + std::to_string(size) + "[";
        return LiteralUse::Stream;
    }
    void literalData(std::string_view b) override {
        streamed += b.size();
        if (keepStreamed) out += std::string(b);
    }
    void literalEnd() override { out += "]"; }
    void text(std::string_view code, std::string_view rest) override {
        out += " c[" + std::string(code) + "] t[" + std::string(rest) + "]";
    }
    void end() override { out += ";"; }
};

struct Case {
    const char* name;
    std::string input;
    std::string transcript;
};

std::string parseWhole(const std::string& input, bool& ok) {
    Transcript t;
    IMAPParser p(t);
    ok = p.feed(input);
    return t.out;
}

std::string parseBytewise(const std::string& input, bool& ok) {
    Transcript t;
    IMAPParser p(t);
    ok = true;
    for (char c : input) ok = p.feed(&c, 1) && ok;
    return t.out;
}

}  // namespace

TEST(IMAPParser, ResponsesGiveTheSameTranscriptWholeAndByteByByte) {
    const std::vector<Case> cases = {
        {"tagged status with code", "A1 OK [READ-WRITE] SELECT done\r\n", "T:A1 a[OK] c[READ-WRITE] t[SELECT done];"},
        {"greeting with capabilities", "* OK [CAPABILITY IMAP4rev1 AUTH=PLAIN] ready\r\n",
         "U a[OK] c[CAPABILITY IMAP4rev1 AUTH=PLAIN] t[ready];"},
        {"status without text", "A2 NO\r\n", "T:A2 a[NO] c[] t[];"},
        {"text that looks like syntax", "* BYE (gone \"away {5}\r\n", "U a[BYE] c[] t[(gone \"away {5}];"},
        {"continuation", "+ YmFzZQ==\r\n+\r\n+ \r\n", "C c[] t[YmFzZQ==];C c[] t[];C c[] t[];"},
        {"exists and expunge", "* 23 EXISTS\r\n* 3 EXPUNGE\r\n", "U a[23] a[EXISTS];U a[3] a[EXPUNGE];"},
        {"list with quoted name and escapes", "* LIST (\\HasNoChildren \\Trash) \"/\" \"a \\\"b\\\\c\"\r\n",
         "U a[LIST] ( a[\\HasNoChildren] a[\\Trash] ) s[/] s[a \"b\\c];"},
        {"fetch with a section atom, kept and streamed literals",
         "* 1 FETCH (UID 7 BODY[HEADER.FIELDS (MESSAGE-ID)] {9}\r\nMID: <x>\n BODY[] {12}\r\na\r\n)\r\n{3}\r\n.)\r\n",
         "U a[1] a[FETCH] ( a[UID] a[7] a[BODY[HEADER.FIELDS (MESSAGE-ID)]] s[MID: <x>\n] a[BODY[]] "
         "L12[a\r\n)\r\n{3}\r\n.] );"},
        {"empty literals and NIL", "* 2 FETCH (BODY[] {0}\r\n X {0}\r\n NIL)\r\n",
         "U a[2] a[FETCH] ( a[BODY[]] L0[] a[X] s[] a[NIL] );"},
        {"literal8", "* 3 FETCH (BINARY[] ~{3}\r\nabc)\r\n", "U a[3] a[FETCH] ( a[BINARY[]] s[abc] );"},
        {"nested lists", "* 4 FETCH (BODYSTRUCTURE ((\"text\" NIL) (\"a\" (\"b\" \"c\"))))\r\n",
         "U a[4] a[FETCH] ( a[BODYSTRUCTURE] ( ( s[text] a[NIL] ) ( s[a] ( s[b] s[c] ) ) ) );"},
        {"search", "* SEARCH 2 84 882\r\nT5 OK done\r\n", "U a[SEARCH] a[2] a[84] a[882];T:T5 a[OK] c[] t[done];"},
    };
    for (const Case& c : cases) {
        bool okWhole = false, okBytes = false;
        EXPECT_EQ(parseWhole(c.input, okWhole), c.transcript) << c.name;
        EXPECT_EQ(parseBytewise(c.input, okBytes), c.transcript) << c.name << " (byte by byte)";
        EXPECT_TRUE(okWhole && okBytes) << c.name;
    }
}

TEST(IMAPParser, MalformedOrHostileInputStopsItWithAReason) {
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"bare LF", "* 1 EXISTS\n"},
        {"CR without LF", "* 1 EXISTS\rX\r\n"},
        {"no tag", " OK hi\r\n"},
        {"tag alone", "A1\r\n"},
        {"list closed twice", "* 1 FETCH (UID 1))\r\n"},
        {"line ends inside a list", "* 1 FETCH (UID 1\r\n"},
        {"lists nested too deep", "* X " + std::string(IMAPParser::kMaxDepth + 1, '(') + "\r\n"},
        {"endless atom", "* X " + std::string(IMAPParser::kMaxToken + 1, 'a')},
        {"endless quoted string", "* X \"" + std::string(IMAPParser::kMaxToken + 1, 'a')},
        {"kept literal too large", "* LIST () \"/\" {100000}\r\n"},
        {"literal size that overflows", "* X {99999999999999999999999}\r\n"},
        {"literal size not followed by CRLF", "* X {5} abc\r\n"},
        {"control character in an atom", std::string("* X a\x01b\r\n")},
        {"quoted string across lines", "* X \"ab\r\ncd\"\r\n"},
    };
    for (const auto& [name, input] : cases) {
        Transcript t;
        IMAPParser p(t);
        EXPECT_FALSE(p.feed(input)) << name;
        EXPECT_TRUE(p.failed()) << name;
        EXPECT_FALSE(p.failure().empty()) << name;
        // Stopped for good: a sound response after it is not read.
        std::string before = t.out;
        EXPECT_FALSE(p.feed("A1 OK fine\r\n")) << name;
        EXPECT_EQ(t.out, before) << name;
    }
}

TEST(IMAPParser, LongStatusTextIsCutAndTheStreamGoesOn) {
    Transcript t;
    IMAPParser p(t);
    std::string longText(IMAPParser::kMaxText * 4, 'x');
    ASSERT_TRUE(p.feed("* OK " + longText + "\r\nA1 OK done\r\n"));
    EXPECT_EQ(t.out, "U a[OK] c[] t[" + std::string(IMAPParser::kMaxText, 'x') + "];T:A1 a[OK] c[] t[done];");
}

TEST(IMAPParser, AStreamedLiteralOfManyMegabytesPassesInPiecesWithoutBeingHeld) {
    Transcript t;
    t.keepStreamed = false;
    IMAPParser p(t);
    const std::uint64_t size = 64ull * 1024 * 1024;
    ASSERT_TRUE(p.feed("* 1 FETCH (UID 9 BODY[] {" + std::to_string(size) + "}\r\n"));
    std::string chunk(64 * 1024, 'm');
    for (std::uint64_t sent = 0; sent < size; sent += chunk.size()) ASSERT_TRUE(p.feed(chunk));
    ASSERT_TRUE(p.feed(")\r\nT1 OK done\r\n"));
    EXPECT_EQ(t.streamed, size);
    EXPECT_EQ(t.out,
              "U a[1] a[FETCH] ( a[UID] a[9] a[BODY[]] L" + std::to_string(size) + "[] );T:T1 a[OK] c[] t[done];");
    EXPECT_TRUE(p.idle());
}

TEST(IMAPParser, ResetAfterAFailureReadsANewStream) {
    Transcript t;
    IMAPParser p(t);
    EXPECT_FALSE(p.feed("* 1 EXISTS\n"));
    p.reset();
    t.out.clear();
    EXPECT_TRUE(p.feed("* OK hi\r\n"));
    EXPECT_EQ(t.out, "U a[OK] c[] t[hi];");
}
