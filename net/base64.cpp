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

std::optional<std::string> base64Decode(std::string_view text) {
    if (text.size() % 4 != 0) return std::nullopt;
    auto value = [](char c) -> int {
        if (c >= 'A' && c <= 'Z') return c - 'A';
        if (c >= 'a' && c <= 'z') return c - 'a' + 26;
        if (c >= '0' && c <= '9') return c - '0' + 52;
        if (c == '+') return 62;
        if (c == '/') return 63;
        return -1;
    };
    std::string out;
    out.reserve(text.size() / 4 * 3);
    for (std::size_t i = 0; i < text.size(); i += 4) {
        bool last = i + 4 == text.size();
        int pad = 0;
        if (last && text[i + 3] == '=') pad = text[i + 2] == '=' ? 2 : 1;
        std::uint32_t n = 0;
        for (int k = 0; k < 4; ++k) {
            int v = k >= 4 - pad ? 0 : value(text[i + static_cast<std::size_t>(k)]);
            if (v < 0) return std::nullopt;
            n = n << 6 | static_cast<std::uint32_t>(v);
        }
        // The bits below the last byte must be zero, so that each text has one meaning.
        if ((pad == 1 && (n & 0xFF)) || (pad == 2 && (n & 0xFFFF))) return std::nullopt;
        out += static_cast<char>(n >> 16 & 0xFF);
        if (pad < 2) out += static_cast<char>(n >> 8 & 0xFF);
        if (pad < 1) out += static_cast<char>(n & 0xFF);
    }
    return out;
}
