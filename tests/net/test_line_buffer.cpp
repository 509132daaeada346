// The CRLF line buffer, fed whole and one byte at a time.
#include "net/line_buffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

std::vector<std::string> feed(const std::string& bytes, std::size_t step, std::size_t capacity) {
    LineBuffer b;
    std::vector<std::string> out;
    std::vector<char> dest(capacity + 1, '#');
    for (std::size_t i = 0; i < bytes.size(); i += step) {
        std::string part = bytes.substr(i, step);
        b.append(part.data(), static_cast<long>(part.size()));
        while (b.hasLine()) {
            b.takeLine(dest.data(), capacity);
            EXPECT_EQ(dest[capacity], '#') << "wrote past the capacity";
            out.emplace_back(dest.data());
        }
    }
    return out;
}

TEST(LineBuffer, CutsOnlyAtCrLfWhetherFedWholeOrByteByByte) {
    struct Case {
        std::string bytes;
        std::vector<std::string> lines;
    } cases[] = {
        {"220 ready\r\n", {"220 ready"}},
        {"a\r\nb\r\n", {"a", "b"}},
        {"lone\nlf\r\n", {"lone\nlf"}},
        {"lone\rcr\r\n", {"lone\rcr"}},
        {"\r\n\r\n", {"", ""}},
        {"no end", {}},
        {"cr at end\r", {}},
        {"x\r\r\n", {"x\r"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(feed(c.bytes, c.bytes.size() ? c.bytes.size() : 1, 1023), c.lines) << c.bytes;
        EXPECT_EQ(feed(c.bytes, 1, 1023), c.lines) << c.bytes;
    }
}

TEST(LineBuffer, ALineThatDoesNotFitArrivesEmptyAndIsRemovedWhole) {
    std::string fits(1022, 'f');
    std::string tooLong(1023, 't');
    std::string bytes = fits + "\r\n" + tooLong + "\r\n" + "next\r\n";
    std::vector<std::string> expected{fits, "", "next"};
    EXPECT_EQ(feed(bytes, bytes.size(), 1023), expected);
    EXPECT_EQ(feed(bytes, 7, 1023), expected);
    // With enough room a line of any length arrives whole.
    std::string huge(70000, 'h');
    EXPECT_EQ(feed(huge + "\r\n", 1024, huge.size() + 1), std::vector<std::string>{huge});
}

TEST(LineBuffer, WholeLineTakeAndResetAndOddInput) {
    LineBuffer b;
    EXPECT_EQ(b.lineLength(), -1);
    b.append(nullptr, 5);
    b.append("x", 0);
    b.append("x", -3);
    EXPECT_EQ(b.length(), 0u);
    std::string big(5000, 'd');
    std::string bytes = big + "\r\nrest";
    b.append(bytes.data(), static_cast<long>(bytes.size()));
    EXPECT_GE(b.capacity(), bytes.size());
    EXPECT_EQ(b.capacity() % LineBuffer::kInitialCapacity, 0u);  // grown by doubling
    ASSERT_TRUE(b.hasLine());
    EXPECT_EQ(b.lineLength(), 5000);
    EXPECT_EQ(b.takeLine(), big);
    EXPECT_EQ(b.length(), 4u);
    EXPECT_FALSE(b.hasLine());
    b.reset();
    EXPECT_EQ(b.length(), 0u);
    EXPECT_EQ(b.capacity(), LineBuffer::kInitialCapacity);
    EXPECT_EQ(b.lineLength(), 5000);  // kept across a reset
    char dest[4] = "abc";
    b.takeLine(dest, sizeof dest);  // no line held: nothing read, an empty result
    EXPECT_STREQ(dest, "");
}

TEST(LineBuffer, PartsOfAnUnfinishedLineJoinIntoTheLineWhateverTheSplit) {
    // A line taken in parts, then finished by takeLine, gives back every byte once, also the
    // CRs that were not followed by LF; a CR at the end stays behind, in case its LF comes next.
    std::string text = "ab\rcd\re\r\r\n";
    for (std::size_t step : {std::size_t{1}, std::size_t{2}, std::size_t{3}, text.size()}) {
        LineBuffer b;
        std::string joined;
        bool ended = false;
        for (std::size_t i = 0; i < text.size(); i += step) {
            b.append(text.data() + i, static_cast<long>(std::min(step, text.size() - i)));
            if (b.hasLine()) {
                joined += b.takeLine();
                ended = true;
            } else {
                joined += b.takePart();
            }
        }
        EXPECT_TRUE(ended) << step;
        EXPECT_EQ(joined, "ab\rcd\re\r") << step;
        EXPECT_EQ(b.length(), 0u) << step;
    }
}

}  // namespace
