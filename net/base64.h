// Base64 (RFC 4648): the standard alphabet with padding, as SASL exchanges use it, and the URL
// alphabet without padding, as OAuth 2.0's PKCE uses it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

std::string base64Encode(std::string_view bytes);
std::string base64UrlEncode(std::string_view bytes);
// Strict decoding of the standard alphabet with padding: none for anything else (a length
// that is not a multiple of 4, a character outside the alphabet, padding in the middle, or
// bits set past the last byte).
std::optional<std::string> base64Decode(std::string_view text);
