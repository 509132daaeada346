// Base64 (RFC 4648): the standard alphabet with padding, as SASL exchanges use it, and the URL
// alphabet without padding, as OAuth 2.0's PKCE uses it.
#pragma once

#include <string>
#include <string_view>

std::string base64Encode(std::string_view bytes);
std::string base64UrlEncode(std::string_view bytes);
