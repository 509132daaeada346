#include "store/addr_list.h"

#include "platform/files.h"
#include "log/debug.h"
#include "store/binary_io.h"

#include <cstdint>
#include <cstdio>
#include <limits>

namespace store {

const std::string* AddrList::address(int n) const {
    if (n < 1 || n > count()) return nullptr;
    return &addresses_[static_cast<std::size_t>(n - 1)];
}

bool AddrList::load(const std::string& path) {
    clear();
    path_ = path;
    plat::FilePtr file = plat::openFile(path, "rb");
    std::FILE* f = file.get();
    if (!f) {
        DebugLineStr(LOG_APP, LOG_HIGH, "FAILED TO LOAD ADDRLIST - OPEN PROBLEM :", path.c_str());
        return false;
    }
    bool ok = true;
    std::int32_t n = 0;
    if (!readInt32(f, n) || n < 0) ok = false;
    // A count larger than the file can hold simply ends in a short read: nothing is reserved
    // from it, and the addresses before that point are kept.
    for (std::int32_t k = 0; ok && k < n; ++k) {
        std::int32_t length = 0;
        std::string text;
        if (!readInt32(f, length) || length < 1 || !readBytes(f, static_cast<std::size_t>(length), text)) {
            ok = false;
            break;
        }
        addresses_.push_back(std::move(text));
    }
    file.reset();
    if (!ok) {
        DebugLineStr(LOG_APP, LOG_HIGH, "FAILED TO LOAD ADDRLIST - READ PROBLEM :", path.c_str());
        return false;
    }
    DebugLine(LOG_APP, LOG_LOW, "ADDRLIST LOADED");
    for (const std::string& a : addresses_) DebugLine(LOG_APP, LOG_LOW, a.c_str());
    return true;
}

bool AddrList::save(const std::string& path) {
    path_ = path;
    plat::FilePtr file = plat::openFile(path, "wb");
    std::FILE* f = file.get();
    if (!f) {
        DebugLineStr(LOG_APP, LOG_HIGH, "FAILED TO SAVE ADDRLIST - OPEN PROBLEM :", path.c_str());
        return false;
    }
    constexpr std::size_t kMax = std::numeric_limits<std::int32_t>::max();
    bool ok = addresses_.size() <= kMax && writeInt32(f, static_cast<std::uint32_t>(addresses_.size()));
    for (const std::string& a : addresses_) {
        if (!ok) break;
        ok = a.size() <= kMax && writeInt32(f, static_cast<std::uint32_t>(a.size())) &&
             std::fwrite(a.data(), 1, a.size(), f) == a.size();
    }
    // A write that only fails when the buffer is flushed (a full disk) is a write problem too:
    // a short routing file would later load as a partial envelope.
    if (ok) ok = plat::syncFile(f) == 0;
    if (!plat::closeFile(file)) ok = false;
    if (!ok) {
        DebugLineStr(LOG_APP, LOG_HIGH, "FAILED TO SAVE ADDRLIST - WRITE PROBLEM :", path.c_str());
        return false;
    }
    DebugLine(LOG_APP, LOG_LOW, "ADDRLIST SAVED");
    for (const std::string& a : addresses_) DebugLine(LOG_APP, LOG_LOW, a.c_str());
    return true;
}

}  // namespace store
