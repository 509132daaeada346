// Fuzz target: the IMAP response parser on any bytes. It must never crash, must keep what it
// holds within its bounds, and must read the same stream the same way whether it comes whole
// or in pieces of any size (the first input byte picks the piece size).
#include "imap/imap_parser.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

namespace {

class Sink : public IMAPResponseSink {
public:
    std::string out;
    bool lastWasBody = false;
    void note(char kind, std::string_view text) {
        // Only a digest of long runs: the transcript itself must stay small.
        out += kind;
        out += std::to_string(text.size());
        if (out.size() > (1u << 20)) out.erase(0, out.size() / 2);
    }
    void begin(Kind kind, std::string_view tag) override {
        note('b', tag), out += static_cast<char>('0' + static_cast<int>(kind));
    }
    void atom(std::string_view t) override {
        if (t.size() > IMAPParser::kMaxToken) __builtin_trap();
        note('a', t);
        lastWasBody = t == "BODY[]";
    }
    void string(std::string_view t) override {
        if (t.size() > IMAPParser::kMaxToken) __builtin_trap();
        note('s', t);
    }
    void listBegin() override { out += '('; }
    void listEnd() override { out += ')'; }
    LiteralUse literalBegin(std::uint64_t size) override {
        note('L', std::to_string(size));
        return lastWasBody ? LiteralUse::Stream : LiteralUse::Keep;
    }
    void literalData(std::string_view b) override { streamed += b.size(); }
    void literalEnd() override { note('E', std::to_string(streamed)), streamed = 0; }
    void text(std::string_view code, std::string_view rest) override {
        if (code.size() + rest.size() > IMAPParser::kMaxText) __builtin_trap();
        note('c', code), note('t', rest);
    }
    void end() override { out += ';'; }
    std::uint64_t streamed = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    std::size_t piece = data[0] % 17 + 1;
    const char* bytes = reinterpret_cast<const char*>(data + 1);
    std::size_t n = size - 1;

    Sink whole;
    IMAPParser a(whole);
    bool okWhole = a.feed(bytes, n);

    Sink split;
    IMAPParser b(split);
    bool okSplit = true;
    for (std::size_t at = 0; at < n && okSplit; at += piece) okSplit = b.feed(bytes + at, std::min(piece, n - at));
    if (okWhole != okSplit || whole.out != split.out) __builtin_trap();
    return 0;
}
