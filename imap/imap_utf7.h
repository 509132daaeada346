// IMAP's modified UTF-7 for folder names: what the server lists and is sent in SELECT,
// EXAMINE, COPY and MOVE, while the settings and the record hold UTF-8.
//
// Printable ASCII other than "&" stands for itself, "&" is "&-", and a run of any other
// characters is "&", their UTF-16 in base64 with "," for "/" and no padding, then "-".
// Both directions answer nothing for input they cannot carry: malformed UTF-8 (overlong forms,
// surrogates, beyond U+10FFFF) one way; bytes outside printable ASCII, an unterminated or
// empty run, a run holding printable ASCII, stray bits, unpaired surrogates or two runs side
// by side the other way. What one direction accepts the other gives back exactly.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace imaputf7 {

std::optional<std::string> encode(std::string_view utf8);
std::optional<std::string> decode(std::string_view modified);

}  // namespace imaputf7
