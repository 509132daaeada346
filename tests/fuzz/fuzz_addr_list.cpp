// Fuzz target: loading a routing file of any content. A load must never crash or allocate
// from what the file claims, must keep only addresses the file really holds, and a file that
// loads must save back to exactly the bytes that were read.
#include "store/addr_list.h"
#include "fuzz_world.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzworld::enter();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzworld::trimLog();
    std::FILE* f = std::fopen("in.route", "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);

    store::AddrList list;
    bool loaded = list.load("in.route");

    std::size_t held = 4;
    for (int n = 1; n <= list.count(); ++n) {
        const std::string* a = list.address(n);
        if (!a || a->empty()) __builtin_trap();
        held += 4 + a->size();
    }
    if ((loaded || list.count() > 0) && held > size) __builtin_trap();

    if (loaded) {
        if (!list.save("out.route")) __builtin_trap();
        std::ifstream in("out.route", std::ios::binary);
        std::string saved((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::string read(reinterpret_cast<const char*>(data), held);
        if (saved != read) __builtin_trap();
    }
    return 0;
}
