// Reads the JSON object a token endpoint answers with (RFC 6749 sections 5.1 and 5.2):
// the access token, its lifetime, a new refresh token, or the error code. Anything else in the
// object is skipped. The reader never trusts the text: nesting is bounded, and a malformed
// object reads as nothing.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace oauth {

struct TokenReply {
    std::string accessToken;
    long expiresIn = 0;  // seconds; 0 when the reply does not say
    std::string refreshToken;  // empty when the provider keeps the old one
    std::string error;  // "invalid_grant", ... ; empty on success
};

std::optional<TokenReply> parseTokenReply(std::string_view json);

}  // namespace oauth
