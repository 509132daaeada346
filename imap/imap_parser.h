// IMAPParser: reads a server's responses (RFC 3501, RFC 9051) from a byte stream fed in pieces
// of any size, and tells a sink each part as soon as it is whole. Nothing a server sends makes
// it hold more than a bounded amount: an atom, a quoted string or a literal kept in memory is
// at most kMaxToken bytes, the text of a status response is cut at kMaxText, lists nest at
// most kMaxDepth deep; a literal of any size the sink asks for is handed over in pieces as it
// arrives. A response that breaks a bound or the grammar stops the parser for good (failed()),
// since nothing after it can be trusted to start where it seems to.
//
// What the sink hears of one response, in order:
//   begin(kind, tag)            "*" untagged, "+" continuation, or the tag of a tagged one
//   then for a status response ("A1 OK ...", "* BYE ...", "+ ..."): the status word as an atom
//   (none for "+"), and text(code, rest): the bracketed response code without its brackets
//   and the text after it;
//   otherwise a sequence of atom, string, listBegin/listEnd, and literals;
//   end()
// A literal is offered with literalBegin(size); a sink answering Stream gets its bytes through
// literalData and then literalEnd, one answering Keep gets it as a string (refused past
// kMaxToken).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class IMAPResponseSink {
public:
    enum class Kind { Untagged, Continuation, Tagged };
    enum class LiteralUse { Keep, Stream };

    virtual ~IMAPResponseSink() = default;
    virtual void begin(Kind kind, std::string_view tag) = 0;
    // An atom, a number or NIL, as it stands; a section such as "BODY[HEADER.FIELDS (X)]" is
    // one atom, brackets and all.
    virtual void atom(std::string_view text) = 0;
    // A quoted string, unescaped, or a kept literal.
    virtual void string(std::string_view text) = 0;
    virtual void listBegin() = 0;
    virtual void listEnd() = 0;
    virtual LiteralUse literalBegin(std::uint64_t size) = 0;
    virtual void literalData(std::string_view bytes) = 0;
    virtual void literalEnd() = 0;
    virtual void text(std::string_view code, std::string_view rest) = 0;
    virtual void end() = 0;
};

class IMAPParser {
public:
    static constexpr std::size_t kMaxToken = 64 * 1024;
    static constexpr std::size_t kMaxText = 8 * 1024;
    static constexpr int kMaxDepth = 32;
    // The bytes one response may hold outside its literals (a SEARCH of millions of UIDs fits).
    static constexpr std::uint64_t kMaxLineBytes = 64ull * 1024 * 1024;

    explicit IMAPParser(IMAPResponseSink& sink) : sink_(sink) {}

    // Takes the next bytes of the stream. False once the stream broke the grammar or a bound;
    // failure() says how. The sink may stop the parser from inside a call (stop()).
    bool feed(const char* data, std::size_t size);
    bool feed(std::string_view bytes) { return feed(bytes.data(), bytes.size()); }
    bool failed() const { return !failure_.empty(); }
    const std::string& failure() const { return failure_; }
    // Whether the parser stands between two responses.
    bool idle() const { return state_ == State::LineStart && token_.empty(); }
    // Makes the parser refuse everything from here on, with this reason.
    void stop(const std::string& why) {
        if (failure_.empty()) failure_ = why;
    }
    // Back to the start of a response, the failure forgotten (a new connection).
    void reset();

private:
    enum class State {
        LineStart,  // reading the tag
        Token,  // between tokens of a response
        Atom,
        Quoted,
        QuotedEscape,
        LiteralSize,  // inside "{...}"
        LiteralCr,  // after "}": CR
        LiteralLf,
        LiteralBody,
        Text,  // the rest of a status response or a continuation
        LineLf,  // CR seen at the end of a response: LF
    };

    std::size_t step(const char* data, std::size_t size);
    void fail(const std::string& why);
    void endToken();
    bool addTokenByte(char c);
    void finishResponse();
    void finishText();

    IMAPResponseSink& sink_;
    State state_ = State::LineStart;
    std::string token_;
    std::string failure_;
    int depth_ = 0;
    int bracket_ = 0;  // "[" open inside the current atom
    int tokens_ = 0;  // tokens at depth 0 so far, after the tag
    bool untagged_ = false;
    bool textMode_ = false;  // the response's rest is text
    bool literal8_ = false;
    std::uint64_t literalSize_ = 0;
    std::uint64_t literalLeft_ = 0;
    bool literalStream_ = false;
    std::uint64_t lineBytes_ = 0;
    State afterCr_ = State::Token;
};
