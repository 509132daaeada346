// Header values as people read them: MIME encoded words ("=?UTF-8?Q?J=C3=BCrgen?=") decoded
// into UTF-8 for display. The stored items are never changed; only what is shown is decoded.
#pragma once

#include <string>
#include <string_view>

namespace mail {

// Decodes every well-formed encoded word of a header value (B or Q, any character set the
// system's converters know, an RFC 2231 language suffix ignored). Blanks between two adjacent
// encoded words go, as they are only there to separate them; a word that cannot be decoded
// (unknown character set or encoding, bad Base64 or hex) stays as it was written. Adjacent
// words in one character set are decoded together, so a character split between two of them
// survives. Control characters a word decodes to show as blanks, so that no word can start a
// new line in what is shown. Text outside encoded words is passed on unchanged.
std::string decodeHeaderValue(std::string_view value);

// The text of a whole mail item as the built-in viewer shows it: the header block with its
// encoded words decoded line by line (folded words joined), the body untouched.
std::string decodeItemHeaders(std::string_view item);

}  // namespace mail
