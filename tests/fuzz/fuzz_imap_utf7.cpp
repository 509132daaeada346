// Fuzz target: folder names between UTF-8 and modified UTF-7 on any bytes. Neither direction
// may crash; whatever one accepts, the other must give back exactly, and an encoded name is
// printable ASCII only.
#include "imap/imap_utf7.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    if (auto decoded = imaputf7::decode(input)) {
        auto again = imaputf7::encode(*decoded);
        if (!again || *again != input) __builtin_trap();
    }
    if (auto encoded = imaputf7::encode(input)) {
        for (char c : *encoded)
            if (c < 0x20 || c > 0x7e) __builtin_trap();
        auto back = imaputf7::decode(*encoded);
        if (!back || *back != input) __builtin_trap();
    }
    return 0;
}
