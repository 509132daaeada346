#include "frontend/mail/encoded_words.h"

#include <QString>
#include <QStringDecoder>

#include <optional>
#include <vector>

namespace mail {

namespace {

constexpr std::size_t kLongestCharsetName = 64;

// A piece of a header value: text as written, or one encoded word that could be decoded into
// bytes of a known character set.
struct Piece {
    std::string_view raw;
    bool encoded = false;
    std::string charset;  // the name as written, language suffix removed
    std::string bytes;  // the word's decoded bytes
};

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool onlyBlanks(std::string_view s) {
    for (char c : s)
        if (!isBlank(c)) return false;
    return true;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

int base64Value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

// Base64 with its padding optional (many senders leave it off); anything else fails.
std::optional<std::string> decodeB(std::string_view text) {
    while (!text.empty() && text.back() == '=') text.remove_suffix(1);
    if (text.size() % 4 == 1) return std::nullopt;
    std::string out;
    unsigned bits = 0;
    int count = 0;
    for (char c : text) {
        const int v = base64Value(c);
        if (v < 0) return std::nullopt;
        bits = (bits << 6) | static_cast<unsigned>(v);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out.push_back(static_cast<char>((bits >> count) & 0xFF));
        }
    }
    return out;
}

// "_" is a blank, "=" and two hex digits one byte, anything else itself.
std::optional<std::string> decodeQ(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '_') {
            out.push_back(' ');
        } else if (c == '=') {
            if (i + 2 >= text.size()) return std::nullopt;
            const int hi = hexValue(text[i + 1]);
            const int lo = hexValue(text[i + 2]);
            if (hi < 0 || lo < 0) return std::nullopt;
            out.push_back(static_cast<char>(hi * 16 + lo));
            i += 2;
        } else {
            out.push_back(c);
        }
    }
    return out;
}

bool knownCharset(const std::string& name) {
    return QStringDecoder(name.c_str()).isValid();
}

// An encoded word at the start of s ("=?charset?B|Q?text?="); its length, or 0 when s does
// not start with one that can be decoded.
std::size_t parseWord(std::string_view s, Piece& piece) {
    if (s.size() < 8 || s[0] != '=' || s[1] != '?') return 0;
    const std::size_t charsetEnd = s.find('?', 2);
    if (charsetEnd == std::string_view::npos || charsetEnd + 2 >= s.size() || s[charsetEnd + 2] != '?') return 0;
    std::string_view charset = s.substr(2, charsetEnd - 2);
    const char encoding = s[charsetEnd + 1];
    const std::size_t textStart = charsetEnd + 3;
    // The text holds no blank and no '?': the first of them must be the closing "?=".
    std::size_t end = textStart;
    while (end < s.size() && !isBlank(s[end]) && s[end] != '?') ++end;
    if (end + 1 >= s.size() || s[end] != '?' || s[end + 1] != '=') return 0;
    const std::string_view text = s.substr(textStart, end - textStart);
    if (std::size_t star = charset.find('*'); star != std::string_view::npos) charset = charset.substr(0, star);
    if (charset.empty() || charset.size() > kLongestCharsetName) return 0;
    for (char c : charset)
        if (isBlank(c) || static_cast<unsigned char>(c) < 0x21 || static_cast<unsigned char>(c) > 0x7E) return 0;

    std::optional<std::string> bytes;
    if (encoding == 'B' || encoding == 'b') bytes = decodeB(text);
    else if (encoding == 'Q' || encoding == 'q') bytes = decodeQ(text);
    if (!bytes) return 0;
    piece.charset.assign(charset);
    if (!knownCharset(piece.charset)) return 0;
    piece.encoded = true;
    piece.bytes = std::move(*bytes);
    piece.raw = s.substr(0, end + 2);
    return end + 2;
}

Piece textPiece(std::string_view text) {
    Piece p;
    p.raw = text;
    return p;
}

std::vector<Piece> split(std::string_view value) {
    std::vector<Piece> pieces;
    std::size_t textStart = 0;
    std::size_t i = 0;
    while (i < value.size()) {
        Piece word;
        const std::size_t length = value[i] == '=' ? parseWord(value.substr(i), word) : 0;
        if (length == 0) {
            ++i;
            continue;
        }
        if (i > textStart) pieces.push_back(textPiece(value.substr(textStart, i - textStart)));
        pieces.push_back(std::move(word));
        i += length;
        textStart = i;
    }
    if (textStart < value.size()) pieces.push_back(textPiece(value.substr(textStart)));
    return pieces;
}

bool sameCharset(const std::string& a, const std::string& b) {
    return QString::fromLatin1(a).compare(QString::fromLatin1(b), Qt::CaseInsensitive) == 0;
}

// The bytes in the character set as UTF-8, control characters (line breaks included) blanked.
std::string toDisplay(const std::string& charset, const std::string& bytes) {
    QStringDecoder decoder(charset.c_str());
    QString text = decoder(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    for (QChar& c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u == 0x7F || (u >= 0x80 && u < 0xA0) || u == 0x2028 || u == 0x2029) c = QLatin1Char(' ');
    }
    return text.toStdString();
}

}  // namespace

std::string decodeHeaderValue(std::string_view value) {
    std::vector<Piece> pieces = split(value);
    std::string out;
    out.reserve(value.size());
    std::string charset;
    std::string pending;  // bytes of adjacent words in one character set, decoded together
    auto flush = [&] {
        if (!pending.empty()) out += toDisplay(charset, pending);
        pending.clear();
    };
    for (std::size_t k = 0; k < pieces.size(); ++k) {
        const Piece& p = pieces[k];
        if (!p.encoded) {
            // Blanks that only separate two encoded words are not part of the text.
            const bool between = k > 0 && k + 1 < pieces.size() && pieces[k - 1].encoded && pieces[k + 1].encoded;
            if (between && onlyBlanks(p.raw)) continue;
            flush();
            out.append(p.raw);
            continue;
        }
        if (!pending.empty() && !sameCharset(charset, p.charset)) flush();
        charset = p.charset;
        pending += p.bytes;
    }
    flush();
    return out;
}

std::string decodeItemHeaders(std::string_view item) {
    // The block ends at the first empty line (CRLF or LF line ends), or the item starts with it.
    std::size_t end = std::string_view::npos;
    if (item.substr(0, 2) == "\r\n" || item.substr(0, 1) == "\n") end = 0;
    for (std::size_t at = item.find('\n'); end == std::string_view::npos && at != std::string_view::npos;
         at = item.find('\n', at + 1)) {
        std::string_view rest = item.substr(at + 1);
        if (rest.substr(0, 2) == "\r\n" || rest.substr(0, 1) == "\n") end = at + 1;
    }
    if (end == std::string_view::npos) end = item.size();
    return decodeHeaderValue(item.substr(0, end)) + std::string(item.substr(end));
}

}  // namespace mail
