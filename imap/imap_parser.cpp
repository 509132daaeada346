#include "imap/imap_parser.h"

#include <algorithm>
#include <cstring>

namespace {

bool isStatusWord(std::string_view w) {
    auto eq = [&](const char* s) {
        std::size_t n = std::strlen(s);
        if (w.size() != n) return false;
        for (std::size_t i = 0; i < n; ++i)
            if ((w[i] & ~0x20) != s[i]) return false;
        return true;
    };
    return eq("OK") || eq("NO") || eq("BAD") || eq("BYE") || eq("PREAUTH");
}

}  // namespace

void IMAPParser::reset() {
    state_ = State::LineStart;
    token_.clear();
    failure_.clear();
    depth_ = bracket_ = tokens_ = 0;
    untagged_ = textMode_ = literal8_ = literalStream_ = false;
    literalSize_ = literalLeft_ = lineBytes_ = 0;
}

void IMAPParser::fail(const std::string& why) {
    if (failure_.empty()) failure_ = why;
    token_.clear();
    token_.shrink_to_fit();
}

bool IMAPParser::feed(const char* data, std::size_t size) {
    std::size_t pos = 0;
    while (pos < size && failure_.empty()) pos += step(data + pos, size - pos);
    return failure_.empty();
}

bool IMAPParser::addTokenByte(char c) {
    if (token_.size() >= kMaxToken) {
        fail("IMAP response holds a token longer than " + std::to_string(kMaxToken) + " bytes");
        return false;
    }
    token_.push_back(c);
    return true;
}

void IMAPParser::endToken() {
    // An atom at the head of a response that names a status makes the rest of it text.
    if (depth_ == 0) ++tokens_;
    sink_.atom(token_);
    if (depth_ == 0 && tokens_ == 1 && isStatusWord(token_)) textMode_ = true;
    token_.clear();
    bracket_ = 0;
}

void IMAPParser::finishText() {
    std::string_view all = token_;
    std::string_view code;
    std::string_view rest = all;
    if (!all.empty() && all.front() == '[') {
        std::size_t close = all.find(']');
        if (close != std::string_view::npos) {
            code = all.substr(1, close - 1);
            rest = all.substr(close + 1);
            if (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
        }
    }
    sink_.text(code, rest);
    token_.clear();
}

void IMAPParser::finishResponse() {
    if (depth_ != 0) {
        fail("IMAP response ends inside a list");
        return;
    }
    sink_.end();
    state_ = State::LineStart;
    token_.clear();
    if (token_.capacity() > 4 * 1024) token_.shrink_to_fit();
    tokens_ = 0;
    bracket_ = 0;
    textMode_ = false;
    lineBytes_ = 0;
}

std::size_t IMAPParser::step(const char* data, std::size_t size) {
    if (state_ == State::LiteralBody) {
        std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(literalLeft_, size));
        if (literalStream_) {
            if (n > 0) sink_.literalData(std::string_view(data, n));
        } else {
            token_.append(data, n);
        }
        literalLeft_ -= n;
        if (literalLeft_ == 0) {
            if (depth_ == 0) ++tokens_;
            if (literalStream_) {
                sink_.literalEnd();
            } else {
                sink_.string(token_);
                token_.clear();
            }
            state_ = State::Token;
        }
        return n;
    }
    char c = data[0];
    if (++lineBytes_ > kMaxLineBytes) {
        fail("IMAP response line longer than " + std::to_string(kMaxLineBytes) + " bytes");
        return 1;
    }
    switch (state_) {
    case State::LineStart:
        if (c == ' ' || c == '\r') {
            if (token_.empty()) {
                fail("IMAP response without a tag");
                return 1;
            }
            untagged_ = token_ == "*";
            bool continuation = token_ == "+";
            sink_.begin(untagged_      ? IMAPResponseSink::Kind::Untagged
                        : continuation ? IMAPResponseSink::Kind::Continuation
                                       : IMAPResponseSink::Kind::Tagged,
                        token_);
            token_.clear();
            tokens_ = 0;
            depth_ = 0;
            if (continuation) {
                textMode_ = true;
                if (c == '\r') {
                    afterCr_ = State::Text;
                    state_ = State::LineLf;
                } else {
                    state_ = State::Text;
                }
                return 1;
            }
            if (c == '\r') {
                fail("IMAP response holds nothing but its tag");
                return 1;
            }
            state_ = State::Token;
            return 1;
        }
        if (static_cast<unsigned char>(c) < 0x21 || c == 0x7f || token_.size() >= 64) {
            fail("IMAP response begins with a malformed tag");
            return 1;
        }
        token_.push_back(c);
        return 1;
    case State::Token:
        if (textMode_) {
            // One blank parts the status word from its text.
            if (c == ' ') {
                state_ = State::Text;
                return 1;
            }
            if (c == '\r') {
                afterCr_ = State::Text;
                state_ = State::LineLf;
                return 1;
            }
            state_ = State::Text;
            return step(data, size);
        }
        switch (c) {
        case ' ': return 1;
        case '(':
            if (depth_ == 0) ++tokens_;
            if (++depth_ > kMaxDepth) {
                fail("IMAP response nests lists too deep");
                return 1;
            }
            sink_.listBegin();
            return 1;
        case ')':
            if (depth_ == 0) {
                fail("IMAP response closes a list it never opened");
                return 1;
            }
            --depth_;
            sink_.listEnd();
            return 1;
        case '"': state_ = State::Quoted; return 1;
        case '{':
            literal8_ = false;
            literalSize_ = 0;
            token_.clear();
            state_ = State::LiteralSize;
            return 1;
        case '\r':
            afterCr_ = State::Token;
            state_ = State::LineLf;
            return 1;
        case '\n': fail("IMAP response line ends without CR"); return 1;
        default:
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
                fail("IMAP response holds a control character");
                return 1;
            }
            token_.clear();
            bracket_ = 0;
            state_ = State::Atom;
            return step(data, size);
        }
    case State::Atom:
        if (c == '[') {
            ++bracket_;
        } else if (c == ']' && bracket_ > 0) {
            --bracket_;
        } else if (c == '{' && token_ == "~") {
            // A literal8 (RFC 3516) is read as a literal.
            literal8_ = true;
            literalSize_ = 0;
            token_.clear();
            state_ = State::LiteralSize;
            return 1;
        } else if (c == '\r' || c == '\n' || (bracket_ == 0 && (c == ' ' || c == '(' || c == ')' || c == '"'))) {
            endToken();
            state_ = State::Token;
            return 0;  // the byte is read again between tokens
        } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            fail("IMAP response holds a control character");
            return 1;
        }
        addTokenByte(c);
        return 1;
    case State::Quoted:
        if (c == '\\') {
            state_ = State::QuotedEscape;
            return 1;
        }
        if (c == '"') {
            if (depth_ == 0) ++tokens_;
            sink_.string(token_);
            token_.clear();
            state_ = State::Token;
            return 1;
        }
        if (c == '\r' || c == '\n') {
            fail("IMAP quoted string runs past the end of its line");
            return 1;
        }
        addTokenByte(c);
        return 1;
    case State::QuotedEscape:
        if (c == '\r' || c == '\n') {
            fail("IMAP quoted string runs past the end of its line");
            return 1;
        }
        addTokenByte(c);
        state_ = State::Quoted;
        return 1;
    case State::LiteralSize:
        if (c >= '0' && c <= '9') {
            if (literalSize_ > (UINT64_MAX - 9) / 10) {
                fail("IMAP literal size out of range");
                return 1;
            }
            literalSize_ = literalSize_ * 10 + static_cast<std::uint64_t>(c - '0');
            return 1;
        }
        if (c == '+') return 1;
        if (c == '}') {
            state_ = State::LiteralCr;
            return 1;
        }
        fail("IMAP literal with a malformed size");
        return 1;
    case State::LiteralCr:
        if (c != '\r') {
            fail("IMAP literal size not followed by a line end");
            return 1;
        }
        state_ = State::LiteralLf;
        return 1;
    case State::LiteralLf: {
        if (c != '\n') {
            fail("IMAP literal size not followed by a line end");
            return 1;
        }
        literalStream_ = sink_.literalBegin(literalSize_) == IMAPResponseSink::LiteralUse::Stream;
        if (!failure_.empty()) return 1;
        if (!literalStream_ && literalSize_ > kMaxToken) {
            fail("IMAP literal of " + std::to_string(literalSize_) + " bytes where at most " +
                 std::to_string(kMaxToken) + " are taken");
            return 1;
        }
        token_.clear();
        literalLeft_ = literalSize_;
        state_ = State::LiteralBody;
        if (literalLeft_ == 0) step(data, 0);  // an empty literal ends at once
        return 1;
    }
    case State::Text:
        if (c == '\r') {
            afterCr_ = State::Text;
            state_ = State::LineLf;
            return 1;
        }
        if (c == '\n') {
            fail("IMAP response line ends without CR");
            return 1;
        }
        // The text is for the log: what passes the bound is dropped.
        if (token_.size() < kMaxText) token_.push_back(c);
        return 1;
    case State::LineLf:
        if (c != '\n') {
            fail("IMAP response holds a CR without LF");
            return 1;
        }
        if (afterCr_ == State::Text) finishText();
        finishResponse();
        return 1;
    case State::LiteralBody: break;
    }
    return 1;
}
