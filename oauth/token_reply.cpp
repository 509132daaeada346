#include "oauth/token_reply.h"

#include <cctype>

namespace oauth {
namespace {

constexpr int kDeepest = 32;

class Reader {
public:
    explicit Reader(std::string_view text) : text_(text) {}

    bool object(TokenReply& out) {
        skipBlanks();
        if (!take('{')) return false;
        skipBlanks();
        if (take('}')) return atEnd();
        for (;;) {
            std::string name;
            skipBlanks();
            if (!string(name)) return false;
            skipBlanks();
            if (!take(':')) return false;
            skipBlanks();
            if (!member(name, out)) return false;
            skipBlanks();
            if (take('}')) return atEnd();
            if (!take(',')) return false;
        }
    }

private:
    bool member(const std::string& name, TokenReply& out) {
        if (peek() == '"') {
            std::string value;
            if (!string(value)) return false;
            if (name == "access_token") out.accessToken = value;
            if (name == "refresh_token") out.refreshToken = value;
            if (name == "error") out.error = value;
            if (name == "expires_in") out.expiresIn = number(value);  // some servers quote it
            return true;
        }
        if (name == "expires_in" && (std::isdigit(static_cast<unsigned char>(peek())) || peek() == '-')) {
            std::size_t from = pos_;
            if (!skipValue(0)) return false;
            out.expiresIn = number(text_.substr(from, pos_ - from));
            return true;
        }
        return skipValue(0);
    }

    // Whole seconds of a JSON number; a fraction is dropped, nonsense reads as 0.
    static long number(std::string_view text) {
        long n = 0;
        for (char c : text) {
            if (!std::isdigit(static_cast<unsigned char>(c))) break;
            if (n > 100000000) return n;  // far beyond any lifetime
            n = n * 10 + (c - '0');
        }
        return n;
    }

    bool skipValue(int depth) {
        if (depth > kDeepest) return false;
        skipBlanks();
        char c = peek();
        if (c == '"') {
            std::string ignored;
            return string(ignored);
        }
        if (c == '{' || c == '[') {
            char close = c == '{' ? '}' : ']';
            ++pos_;
            skipBlanks();
            if (take(close)) return true;
            for (;;) {
                skipBlanks();
                if (c == '{') {
                    std::string ignored;
                    if (!string(ignored)) return false;
                    skipBlanks();
                    if (!take(':')) return false;
                }
                if (!skipValue(depth + 1)) return false;
                skipBlanks();
                if (take(close)) return true;
                if (!take(',')) return false;
            }
        }
        // A number or a literal: its characters up to the next delimiter.
        std::size_t from = pos_;
        while (pos_ < text_.size() && (std::isalnum(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == '-' ||
                                       text_[pos_] == '+' || text_[pos_] == '.'))
            ++pos_;
        return pos_ > from;
    }

    bool string(std::string& out) {
        if (!take('"')) return false;
        while (pos_ < text_.size()) {
            char c = text_[pos_++];
            if (c == '"') return true;
            if (static_cast<unsigned char>(c) < 0x20) return false;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (pos_ >= text_.size()) return false;
            char e = text_[pos_++];
            switch (e) {
            case '"':
            case '\\':
            case '/': out += e; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'u': {
                if (pos_ + 4 > text_.size()) return false;
                unsigned code = 0;
                for (int i = 0; i < 4; ++i) {
                    char h = text_[pos_++];
                    if (!std::isxdigit(static_cast<unsigned char>(h))) return false;
                    code = code * 16 +
                           static_cast<unsigned>(std::isdigit(static_cast<unsigned char>(h))
                                                     ? h - '0'
                                                     : std::tolower(static_cast<unsigned char>(h)) - 'a' + 10);
                }
                // Tokens are ASCII; anything else is kept as a marker, never as raw bytes.
                out += code < 0x80 ? static_cast<char>(code) : '?';
                break;
            }
            default: return false;
            }
        }
        return false;
    }

    void skipBlanks() {
        while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) ++pos_;
    }
    char peek() const { return pos_ < text_.size() ? text_[pos_] : '\0'; }
    bool take(char c) {
        if (peek() != c || pos_ >= text_.size()) return false;
        ++pos_;
        return true;
    }
    bool atEnd() {
        skipBlanks();
        return pos_ == text_.size();
    }

    std::string_view text_;
    std::size_t pos_ = 0;
};

}  // namespace

std::optional<TokenReply> parseTokenReply(std::string_view json) {
    TokenReply out;
    Reader reader(json);
    if (!reader.object(out)) return std::nullopt;
    return out;
}

}  // namespace oauth
