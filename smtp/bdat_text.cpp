#include "smtp/bdat_text.h"

#include <vector>

void BdatText::decode(const char* stored, std::size_t n, std::string& out) {
    std::size_t before = out.size();
    for (std::size_t i = 0; i < n; ++i) {
        char c = stored[i];
        bool dropped = lineStart_ && c == '.';
        if (!dropped) out += c;
        endsCRLF_ = lastCR_ && c == '\n';
        lineStart_ = endsCRLF_;
        lastCR_ = c == '\r';
        any_ = true;
    }
    decoded_ += out.size() - before;
}

void BdatText::finish(std::string& out) {
    if (any_ && !endsCRLF_) {
        out += "\r\n";
        decoded_ += 2;
    }
    // Once only.
    any_ = false;
}

std::optional<std::uint64_t> BdatText::messageSize(std::FILE* file) {
    BdatText text;
    std::vector<char> block(64 * 1024);
    std::string out;
    for (;;) {
        std::size_t n = std::fread(block.data(), 1, block.size(), file);
        out.clear();
        text.decode(block.data(), n, out);
        if (n < block.size()) {
            if (std::ferror(file)) return std::nullopt;
            break;
        }
    }
    out.clear();
    text.finish(out);
    return text.decoded();
}
