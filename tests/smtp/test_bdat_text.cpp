// The message bytes BDAT carries for a stored item: each case fed whole, then a byte at a
// time, and its size as the item file gives it.
#include "smtp/bdat_text.h"
#include "smtp/smtp_extensions.h"
#include "tests/support/temp_env.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

TEST(BdatText, StoredTextsBecomeTheMessagesDataWouldHaveDelivered) {
    struct Case {
        std::string stored;
        std::string message;
    };
    const Case cases[] = {
        {"", ""},
        {"a\r\n", "a\r\n"},
        {"..a\r\n", ".a\r\n"},
        {"a\r\n..\r\n...b\r\n", "a\r\n.\r\n..b\r\n"},
        // Only CR LF ends a line: a dot after a lone LF or CR stays.
        {"a\n..b\r\n", "a\n..b\r\n"},
        {"a\r..b\r\n", "a\r..b\r\n"},
        // A last line without its CRLF gets one, as DATA's end gives it.
        {"a", "a\r\n"},
        {"a\r", "a\r\r\n"},
        {"a\r\n..", "a\r\n.\r\n"},
        {"\xff\x80..\r\n", "\xff\x80..\r\n"},
    };
    std::string path = testsupport::makeTempDir("bdat-") + "/item";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        BdatText whole;
        std::string out;
        whole.decode(c.stored.data(), c.stored.size(), out);
        whole.finish(out);
        EXPECT_EQ(out, c.message);
        EXPECT_EQ(whole.decoded(), c.message.size());
        BdatText bytes;
        std::string out2;
        for (char ch : c.stored) bytes.decode(&ch, 1, out2);
        bytes.finish(out2);
        EXPECT_EQ(out2, c.message);
        testsupport::writeFile(path, c.stored);
        std::FILE* f = std::fopen(path.c_str(), "rb");
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(BdatText::messageSize(f), c.message.size());
        std::fclose(f);
    }
}

TEST(BdatText, ChunkingIsReadFromTheEhloReply) {
    EhloCapabilities caps;
    caps.note("250-provider");
    EXPECT_FALSE(caps.chunking);
    caps.note("250-chunking");
    EXPECT_TRUE(caps.chunking);
}

}  // namespace
