// Encoded words decoded for display: the examples of RFC 2047, the character sets mail uses,
// words that cannot be decoded (shown as written, never dropped), and whole items for the viewer.
#include "frontend/mail/encoded_words.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

namespace {

using mail::decodeHeaderValue;

TEST(EncodedWords, TheRfcExamples) {
    struct Row {
        const char* in;
        const char* out;
    };
    const Row rows[] = {
        {"=?US-ASCII?Q?Keith_Moore?= <moore@cs.utk.edu>", "Keith Moore <moore@cs.utk.edu>"},
        {"=?ISO-8859-1?Q?Keld_J=F8rn_Simonsen?= <keld@dkuug.dk>", "Keld J\u00f8rn Simonsen <keld@dkuug.dk>"},
        {"=?ISO-8859-1?Q?Andr=E9?= Pirard <PIRARD@vm1.ulg.ac.be>", "Andr\u00e9 Pirard <PIRARD@vm1.ulg.ac.be>"},
        {"=?ISO-8859-1?B?SWYgeW91IGNhbiByZWFkIHRoaXMgeW8=?=\t    =?ISO-8859-2?B?dSB1bmRlcnN0YW5kIHRoZSBleGFtcGxlLg==?=",
         "If you can read this you understand the example."},
        {"=?ISO-8859-1?Q?Olle_J=E4rnefors?= <ojarnef@admin.kth.se>", "Olle J\u00e4rnefors <ojarnef@admin.kth.se>"},
        {"Nathaniel Borenstein <nsb@thumper.bellcore.com> (=?iso-8859-8?b?7eXs+SDv4SDp7Oj08A==?=)",
         "Nathaniel Borenstein <nsb@thumper.bellcore.com> (\u05dd\u05d5\u05dc\u05e9 \u05df\u05d1 "
         "\u05d9\u05dc\u05d8\u05e4\u05e0)"},
        // Section 8's table of adjacent words.
        {"(=?ISO-8859-1?Q?a?=)", "(a)"},
        {"(=?ISO-8859-1?Q?a?= b)", "(a b)"},
        {"(=?ISO-8859-1?Q?a?= =?ISO-8859-1?Q?b?=)", "(ab)"},
        {"(=?ISO-8859-1?Q?a?=  =?ISO-8859-1?Q?b?=)", "(ab)"},
        {"(=?ISO-8859-1?Q?a?=\r\n    =?ISO-8859-1?Q?b?=)", "(ab)"},
        {"(=?ISO-8859-1?Q?a_b?=)", "(a b)"},
        {"(=?ISO-8859-1?Q?a?= =?ISO-8859-2?Q?_b?=)", "(a b)"},
    };
    for (const Row& r : rows) EXPECT_EQ(decodeHeaderValue(r.in), r.out) << r.in;
}

TEST(EncodedWords, CharacterSetsOfEveryDayMail) {
    EXPECT_EQ(decodeHeaderValue("=?UTF-8?Q?J=C3=BCrgen?= <j@example.de>"), "J\u00fcrgen <j@example.de>");
    EXPECT_EQ(decodeHeaderValue("=?utf-8?b?5pel5pys6Kqe?="), "\u65e5\u672c\u8a9e");
    EXPECT_EQ(decodeHeaderValue("=?ISO-8859-15?Q?=A4uro?="), "\u20acuro");
    EXPECT_EQ(decodeHeaderValue("=?ISO-8859-2?Q?=B1?="), "\u0105");
    EXPECT_EQ(decodeHeaderValue("=?windows-1252?Q?=80_=93quoted=94?="), "\u20ac \u201cquoted\u201d");
    EXPECT_EQ(decodeHeaderValue("=?windows-1251?B?z/Du4uXw6uA=?="), "\u041f\u0440\u043e\u0432\u0435\u0440\u043a\u0430");
    EXPECT_EQ(decodeHeaderValue("=?KOI8-R?Q?=F0=D2=C9=D7=C5=D4?="), "\u041f\u0440\u0438\u0432\u0435\u0442");
    // A language suffix (RFC 2231), lower-case encodings, padding left off.
    EXPECT_EQ(decodeHeaderValue("=?UTF-8*de?q?Gr=C3=BC=C3=9Fe?="), "Gr\u00fc\u00dfe");
    EXPECT_EQ(decodeHeaderValue("=?UTF-8?B?w7w?="), "\u00fc");
}

TEST(EncodedWords, ACharacterSplitBetweenTwoWordsSurvives) {
    // "ü" is C3 BC; a sender cut it between two words.
    EXPECT_EQ(decodeHeaderValue("=?UTF-8?Q?J=C3?= =?UTF-8?Q?=BCrgen?="), "J\u00fcrgen");
    EXPECT_EQ(decodeHeaderValue("=?UTF-8?B?SsM=?=\r\n =?utf-8?B?vHJnZW4=?="), "J\u00fcrgen");
}

TEST(EncodedWords, WordsThatCannotBeDecodedAreShownAsWritten) {
    const char* const raw[] = {
        "=?NO-SUCH-CHARSET?Q?abc?=",
        "=?UTF-8?X?abc?=",
        "=?UTF-8?Q?bad=ZZhex?=",
        "=?UTF-8?Q?cut=C?=",
        "=?UTF-8?B?not*base64?=",
        "=?UTF-8?B?abcde?=",
        "=?UTF-8?Q?never closed",
        "=?UTF-8?Q?has blank?=",
        "=??Q?no-charset?=",
        "=?UTF-8?Q",
        "=?",
        "plain = text ?= with =? marks",
    };
    for (const char* r : raw) EXPECT_EQ(decodeHeaderValue(r), r) << r;
    // A bad word keeps the blanks around it; the good ones beside it are still decoded.
    EXPECT_EQ(decodeHeaderValue("=?UTF-8?Q?a?= =?BOGUS?Q?b?= =?UTF-8?Q?c?="), "a =?BOGUS?Q?b?= c");
    EXPECT_EQ(decodeHeaderValue("=?UTF-8?Q?=C3=BC?==?UTF-8?Q?x?="), "\u00fcx");
}

TEST(EncodedWords, PlainTextAndBlanksOutsideWordsStayAsTheyAre) {
    EXPECT_EQ(decodeHeaderValue(""), "");
    EXPECT_EQ(decodeHeaderValue("Ann  Example\t<ann@example.net>"), "Ann  Example\t<ann@example.net>");
    EXPECT_EQ(decodeHeaderValue("Re: =?UTF-8?Q?=C3=A9t=C3=A9?=  again"), "Re: \u00e9t\u00e9  again");
    EXPECT_EQ(decodeHeaderValue("Caf\xc3\xa9 =?UTF-8?Q?x?="), "Caf\u00e9 x");
}

TEST(EncodedWords, DecodedControlCharactersCannotBreakTheLine) {
    EXPECT_EQ(decodeHeaderValue("=?UTF-8?Q?a=0D=0AFrom:_evil?="), "a  From: evil");
    EXPECT_EQ(decodeHeaderValue("=?UTF-8?Q?nul=00end?="), "nul end");
    EXPECT_EQ(decodeHeaderValue("=?UTF-8?Q?=E2=80=A8sep?="), " sep");
}

// Values assembled from the pieces of encoded words, good and broken, and random bytes: the
// decoder never adds a line break or NUL of its own, and leaves a value without "=?" alone.
TEST(EncodedWords, AnyValueDecodesWithoutBreakingTheLine) {
    const char* const pieces[] = {"=?",  "?=",    "UTF-8", "utf-8", "ISO-8859-1", "x-bogus", "*en", "?Q?",  "?B?",
                                  "?q?", "?b?",   "=C3",   "=BC",   "=0A",        "=00",     "=",   "_",    " ",
                                  "\t",  "\r\n ", "w7w",   "SsM=",  "==",         "?",       "a",   "\xff", "\xc3"};
    std::mt19937 random(20261208);
    for (int round = 0; round < 20000; ++round) {
        std::string value;
        const int n = static_cast<int>(random() % 24);
        for (int i = 0; i < n; ++i) {
            if (random() % 8 == 0) value += static_cast<char>(random() % 256);
            else value += pieces[random() % std::size(pieces)];
        }
        const std::string shown = decodeHeaderValue(value);
        auto count = [](const std::string& s, char c) { return std::count(s.begin(), s.end(), c); };
        ASSERT_LE(count(shown, '\n'), count(value, '\n')) << value;
        ASSERT_LE(count(shown, '\0'), count(value, '\0')) << value;
        ASSERT_LE(count(shown, '\r'), count(value, '\r')) << value;
        if (value.find("=?") == std::string::npos) {
            ASSERT_EQ(shown, value);
        }
    }
}

TEST(EncodedWords, TheViewerDecodesTheHeaderBlockOnly) {
    const std::string item =
        "From: =?UTF-8?Q?J=C3=BCrgen?= <j@example.de>\r\n"
        "Subject: =?ISO-8859-1?Q?a?=\r\n =?ISO-8859-1?Q?b?=\r\n"
        "\r\n"
        "Body =?UTF-8?Q?stays?=\r\n";
    EXPECT_EQ(mail::decodeItemHeaders(item),
              "From: J\u00fcrgen <j@example.de>\r\nSubject: ab\r\n\r\nBody =?UTF-8?Q?stays?=\r\n");
    EXPECT_EQ(mail::decodeItemHeaders("\nBody =?UTF-8?Q?x?=\n"), "\nBody =?UTF-8?Q?x?=\n");
    EXPECT_EQ(mail::decodeItemHeaders("Subject: =?UTF-8?Q?x?=\n\n=?UTF-8?Q?y?="), "Subject: x\n\n=?UTF-8?Q?y?=");
    EXPECT_EQ(mail::decodeItemHeaders("Subject: =?UTF-8?Q?x?="), "Subject: x");
}

}  // namespace
