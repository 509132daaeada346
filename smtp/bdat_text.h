// The message bytes of a queued item for BDAT. Items are stored in transmission form: CRLF
// line ends and every line that begins with "." given one more "." in front; DATA sends them
// as they are and the server takes the extra dot off. BDAT carries the message itself, so the
// extra dots come off here, and a text whose last line lacks its CRLF gets one, as DATA's end
// gives it. Only CR LF ends a line; a lone CR or LF is part of one.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

class BdatText {
public:
    // Appends the message bytes of the next n stored bytes to out.
    void decode(const char* stored, std::size_t n, std::string& out);
    // Appends what the end of the stored text adds (a final CRLF, when its last line lacks one).
    void finish(std::string& out);
    // Message bytes decoded so far, finish() included.
    std::uint64_t decoded() const { return decoded_; }

    // The message size of the item file, read in pieces; none when it cannot be read.
    static std::optional<std::uint64_t> messageSize(std::FILE* file);

private:
    bool lineStart_ = true;
    bool lastCR_ = false;
    bool any_ = false;  // a stored byte seen
    bool endsCRLF_ = false;  // the last stored bytes were CR LF
    std::uint64_t decoded_ = 0;
};
