#include "store/binary_io.h"

#include <algorithm>

namespace store {

namespace {
constexpr std::size_t kReadChunk = 4096;
}

bool readInt32(std::FILE* f, std::int32_t& value) {
    unsigned char b[4];
    if (std::fread(b, 1, 4, f) != 4) return false;
    std::uint32_t u = std::uint32_t{b[0]} | std::uint32_t{b[1]} << 8 | std::uint32_t{b[2]} << 16 |
                      std::uint32_t{b[3]} << 24;
    value = static_cast<std::int32_t>(u);
    return true;
}

bool writeInt32(std::FILE* f, std::uint32_t u) {
    unsigned char b[4] = {static_cast<unsigned char>(u), static_cast<unsigned char>(u >> 8),
                          static_cast<unsigned char>(u >> 16), static_cast<unsigned char>(u >> 24)};
    return std::fwrite(b, 1, 4, f) == 4;
}

bool readBytes(std::FILE* f, std::size_t length, std::string& out) {
    out.clear();
    while (out.size() < length) {
        std::size_t want = std::min(kReadChunk, length - out.size());
        std::size_t old = out.size();
        out.resize(old + want);
        std::size_t got = std::fread(out.data() + old, 1, want, f);
        if (got != want) {
            out.resize(old + got);
            return false;
        }
    }
    return true;
}

}  // namespace store
