// Fuzz target: loading an identifier file of any content. A load must never crash or allocate
// from what the file claims, must keep only identifiers the file really holds, and a file read
// whole must save back to exactly the bytes that were read.
#include "fuzz_world.h"
#include "pop3/uidl.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzworld::enter();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzworld::trimLog();
    std::FILE* f = std::fopen("in.uidl", "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);

    UIDL list;
    list.load("in.uidl");
    std::size_t held = 4;
    for (const UIDLEntry& e : list) held += 4 + e.identifier.size();
    if (list.count() > 0 && held > size) __builtin_trap();

    std::int32_t declared = -1;
    if (size >= 4) std::memcpy(&declared, data, 4);
    if (declared == list.count()) {
        if (!list.save()) __builtin_trap();
        std::ifstream in("in.uidl", std::ios::binary);
        std::string saved((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (saved != std::string(reinterpret_cast<const char*>(data), held)) __builtin_trap();
    }
    return 0;
}
