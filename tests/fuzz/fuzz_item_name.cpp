// Fuzz target: splitting and decoding item file names of any bytes, and the round trips of
// the escaping: decode(encode(x)) == x, and an owner-tagged name parses back into its parts.
#include "store/item_name.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);

    store::ItemFileName parts = store::parseItemFileName(text);
    if (parts.ownerTag.size() > size || parts.id.size() > size) __builtin_trap();
    std::string decoded = store::decodeNamePart(text);
    if (decoded.size() > size) __builtin_trap();

    std::string encoded = store::encodeNamePart(text);
    if (encoded.find_first_of(".[]") != std::string::npos) __builtin_trap();
    if (store::decodeNamePart(encoded) != text) __builtin_trap();

    // The first byte chooses where the owner ends and the id begins.
    if (size > 0) {
        std::string_view rest = text.substr(1);
        std::size_t cut = data[0] % (rest.size() + 1);
        std::string_view owner = rest.substr(0, cut), id = rest.substr(cut);
        std::string name = store::ownerTaggedName(owner, id);
        if (name.size() > store::kMaxItemFileName) __builtin_trap();
        // A name that fits as it is parses back into its parts; a longer one was shortened.
        bool fits = 9 + store::encodeNamePart(owner).size() + store::encodeNamePart(id).size() <=
                    store::kMaxItemFileName;
        store::ItemFileName back = store::parseItemFileName(name);
        if (fits && (back.ownerTag != store::encodeNamePart(owner) || back.id != id)) __builtin_trap();
        if (!fits && name != store::ownerTaggedName(owner, id)) __builtin_trap();
    }
    return 0;
}
