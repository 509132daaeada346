// Folder names between UTF-8 and IMAP's modified UTF-7: known names both ways, "&" as "&-",
// characters beyond the BMP as surrogate pairs, every malformed form refused in either
// direction, and round trips of the characters at each encoding's boundaries.
#include "imap/imap_utf7.h"

#include <gtest/gtest.h>

#include <string>

using imaputf7::decode;
using imaputf7::encode;

TEST(IMAPUtf7, KnownNamesBothWays) {
    struct {
        const char* utf8;
        const char* wire;
    } cases[] = {
        {"INBOX", "INBOX"},
        {"", ""},
        {"Entw\xc3\xbcrfe/Gr\xc3\xb6\xc3\x9f"
         "e",
         "Entw&APw-rfe/Gr&APYA3w-e"},
        {"Tom & Jerry", "Tom &- Jerry"},
        {"&&", "&-&-"},
        {"~peter/mail/\xe5\x8f\xb0\xe5\x8c\x97/\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e",
         "~peter/mail/&U,BTFw-/&ZeVnLIqe-"},
        {"\xf0\x9f\x93\xa7 Post", "&2D3c5w- Post"},  // U+1F4E7: a surrogate pair
        {"a\tb", "a&AAk-b"},  // control characters are encoded too
        {"\xc3\xa4&\xc3\xb6", "&AOQ-&-&APY-"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(encode(c.utf8).value_or("<none>"), c.wire) << c.utf8;
        EXPECT_EQ(decode(c.wire).value_or("<none>"), c.utf8) << c.wire;
    }
}

TEST(IMAPUtf7, MalformedUtf8IsRefused) {
    for (const char* bad : {"\x80", "a\xc3", "\xc0\xaf", "\xe0\x80\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80",
                            "\xf8\x88\x80\x80\x80", "\xff", "ok\xe2\x82"})
        EXPECT_FALSE(encode(bad)) << bad;
}

TEST(IMAPUtf7, MalformedModifiedUtf7IsRefused) {
    for (const char* bad : {
             "&",  // unterminated
             "&AOQ",  // unterminated run
             "a&AOQ-&APY-",  // two runs side by side
             "&AGE-",  // printable ASCII ("a") encoded
             "&AOQ=-",  // padding, or a byte outside the alphabet
             "&AO-",  // too short for one unit
             "&AOR-",  // stray bits left over
             "&2D0-",  // a high surrogate alone
             "&3-c-",  // not base64 at all
             "&3+c-",  // a low surrogate alone
             "Entw\xc3\xbcrfe",  // raw 8-bit
             "a\tb",  // a raw control character
         })
        EXPECT_FALSE(decode(bad)) << bad;
}

TEST(IMAPUtf7, BoundaryCharactersRoundTrip) {
    auto utf8 = [](char32_t c) {
        std::string s;
        if (c < 0x80) {
            s += static_cast<char>(c);
        } else if (c < 0x800) {
            s += static_cast<char>(0xc0 | (c >> 6)), s += static_cast<char>(0x80 | (c & 0x3f));
        } else if (c < 0x10000) {
            s += static_cast<char>(0xe0 | (c >> 12)), s += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
            s += static_cast<char>(0x80 | (c & 0x3f));
        } else {
            s += static_cast<char>(0xf0 | (c >> 18)), s += static_cast<char>(0x80 | ((c >> 12) & 0x3f));
            s += static_cast<char>(0x80 | ((c >> 6) & 0x3f)), s += static_cast<char>(0x80 | (c & 0x3f));
        }
        return s;
    };
    for (char32_t c :
         {0x01, 0x1f, 0x20, 0x7e, 0x7f, 0x80, 0x7ff, 0x800, 0xd7ff, 0xe000, 0xfffd, 0xffff, 0x10000, 0x10ffff}) {
        // Alone, between ASCII, and in runs of every length modulo three units.
        for (const std::string& name : {utf8(c), "x" + utf8(c) + "y", utf8(c) + utf8(c), utf8(c) + utf8(c) + utf8(c)}) {
            auto wire = encode(name);
            ASSERT_TRUE(wire) << static_cast<unsigned>(c);
            for (char w : *wire) EXPECT_TRUE(w >= 0x20 && w <= 0x7e);
            EXPECT_EQ(decode(*wire).value_or("<none>"), name) << *wire;
        }
    }
}
