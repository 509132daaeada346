// Fuzz target: a token endpoint's reply of any content. The reader must never crash, recurse
// without bound or read past the text, and what it keeps must come from the text.
#include "oauth/token_reply.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    auto reply = oauth::parseTokenReply(text);
    if (reply) {
        // Unescaping never makes a string longer than the text it came from.
        if (reply->accessToken.size() > size || reply->refreshToken.size() > size || reply->error.size() > size)
            std::abort();
        if (reply->expiresIn < 0) std::abort();
    }
    return 0;
}
