#include "imap/imap_utf7.h"

#include "net/base64.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace imaputf7 {

namespace {

bool printable(std::uint32_t c) {
    return c >= 0x20 && c <= 0x7e;
}

// The next code point of UTF-8 text at i; false for anything malformed.
bool nextCodePoint(std::string_view s, std::size_t& i, std::uint32_t& out) {
    auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char b = byte(i);
    std::size_t n;
    std::uint32_t min;
    if (b < 0x80) {
        out = b;
        ++i;
        return true;
    } else if ((b & 0xe0) == 0xc0) {
        n = 1, out = b & 0x1f, min = 0x80;
    } else if ((b & 0xf0) == 0xe0) {
        n = 2, out = b & 0x0f, min = 0x800;
    } else if ((b & 0xf8) == 0xf0) {
        n = 3, out = b & 0x07, min = 0x10000;
    } else {
        return false;
    }
    if (i + n >= s.size()) return false;
    for (std::size_t k = 1; k <= n; ++k) {
        if ((byte(i + k) & 0xc0) != 0x80) return false;
        out = (out << 6) | (byte(i + k) & 0x3f);
    }
    if (out < min || out > 0x10ffff || (out >= 0xd800 && out <= 0xdfff)) return false;
    i += n + 1;
    return true;
}

void appendUtf8(std::string& out, std::uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xc0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3f));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xe0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
        out += static_cast<char>(0x80 | (c & 0x3f));
    } else {
        out += static_cast<char>(0xf0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3f));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
        out += static_cast<char>(0x80 | (c & 0x3f));
    }
}

// A run's UTF-16 as base64 with "," for "/" and without padding, between "&" and "-".
void appendRun(std::string& out, const std::vector<std::uint16_t>& units) {
    std::string bytes;
    for (std::uint16_t u : units) bytes += static_cast<char>(u >> 8), bytes += static_cast<char>(u & 0xff);
    std::string text = base64Encode(bytes);
    while (!text.empty() && text.back() == '=') text.pop_back();
    std::replace(text.begin(), text.end(), '/', ',');
    out += '&' + text + '-';
}

// The characters of one run (between "&" and "-"), appended to out as UTF-8.
bool decodeRun(std::string_view run, std::string& out) {
    // Strict base64 once "," is "/" again and the padding is back: no byte outside the
    // alphabet, no length that ends inside a byte, no bits set past the last byte.
    if (run.find_first_of("/=") != std::string_view::npos || run.size() % 4 == 1) return false;
    std::string text(run);
    std::replace(text.begin(), text.end(), ',', '/');
    text.append((4 - text.size() % 4) % 4, '=');
    std::optional<std::string> bytes = base64Decode(text);
    if (!bytes || bytes->empty() || bytes->size() % 2 != 0) return false;
    std::vector<std::uint16_t> units;
    for (std::size_t k = 0; k < bytes->size(); k += 2)
        units.push_back(static_cast<std::uint16_t>((static_cast<unsigned char>((*bytes)[k]) << 8) |
                                                   static_cast<unsigned char>((*bytes)[k + 1])));
    for (std::size_t k = 0; k < units.size(); ++k) {
        std::uint32_t u = units[k];
        if (u >= 0xdc00 && u <= 0xdfff) return false;
        if (u >= 0xd800 && u <= 0xdbff) {
            if (k + 1 >= units.size() || units[k + 1] < 0xdc00 || units[k + 1] > 0xdfff) return false;
            u = 0x10000 + ((u - 0xd800) << 10) + (units[++k] - 0xdc00);
        } else if (printable(u)) {
            return false;  // printable ASCII always stands for itself
        }
        appendUtf8(out, u);
    }
    return true;
}

}  // namespace

std::optional<std::string> encode(std::string_view utf8) {
    std::string out;
    std::vector<std::uint16_t> run;
    std::size_t i = 0;
    while (i < utf8.size()) {
        std::uint32_t c = 0;
        if (!nextCodePoint(utf8, i, c)) return std::nullopt;
        if (printable(c)) {
            if (!run.empty()) appendRun(out, run), run.clear();
            out += c == '&' ? std::string("&-") : std::string(1, static_cast<char>(c));
        } else if (c >= 0x10000) {
            run.push_back(static_cast<std::uint16_t>(0xd800 + ((c - 0x10000) >> 10)));
            run.push_back(static_cast<std::uint16_t>(0xdc00 + ((c - 0x10000) & 0x3ff)));
        } else {
            run.push_back(static_cast<std::uint16_t>(c));
        }
    }
    if (!run.empty()) appendRun(out, run);
    return out;
}

std::optional<std::string> decode(std::string_view modified) {
    std::string out;
    bool afterRun = false;  // the last thing read was a base64 run
    std::size_t i = 0;
    while (i < modified.size()) {
        char c = modified[i];
        if (!printable(static_cast<unsigned char>(c))) return std::nullopt;
        if (c != '&') {
            out += c;
            afterRun = false;
            ++i;
            continue;
        }
        std::size_t end = modified.find('-', i + 1);
        if (end == std::string_view::npos) return std::nullopt;
        if (end == i + 1) {
            out += '&';
            afterRun = false;
        } else {
            // Two runs side by side are one run written in two pieces.
            if (afterRun || !decodeRun(modified.substr(i + 1, end - i - 1), out)) return std::nullopt;
            afterRun = true;
        }
        i = end + 1;
    }
    return out;
}

}  // namespace imaputf7
