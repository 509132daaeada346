#include "net/base64.h"

#include <cstdint>

namespace {
enum class Padding { Pad, NoPad };

std::string encode(std::string_view bytes, const char* kDigits, Padding padding) {
    bool pad = padding == Padding::Pad;
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        std::uint32_t n = static_cast<unsigned char>(bytes[i]) << 16 | static_cast<unsigned char>(bytes[i + 1]) << 8 |
                          static_cast<unsigned char>(bytes[i + 2]);
        out += kDigits[n >> 18 & 63];
        out += kDigits[n >> 12 & 63];
        out += kDigits[n >> 6 & 63];
        out += kDigits[n & 63];
    }
    std::size_t left = bytes.size() - i;
    if (left > 0) {
        std::uint32_t n = static_cast<unsigned char>(bytes[i]) << 16;
        if (left == 2) n |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        out += kDigits[n >> 18 & 63];
        out += kDigits[n >> 12 & 63];
        if (left == 2) {
            out += kDigits[n >> 6 & 63];
        } else if (pad) {
            out += '=';
        }
        if (pad) out += '=';
    }
    return out;
}
}  // namespace

std::string base64Encode(std::string_view bytes) {
    return encode(bytes, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/", Padding::Pad);
}

std::string base64UrlEncode(std::string_view bytes) {
    return encode(bytes, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_", Padding::NoPad);
}
