#include "platform/link_record.h"

namespace plat::link {
namespace {

void put(std::string& out, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

std::uint64_t get(const std::string& in, std::size_t off, int bytes) {
    std::uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v |= static_cast<std::uint64_t>(static_cast<unsigned char>(in[off + i])) << (8 * i);
    return v;
}

void putRef(std::string& out, const std::string& ref) {
    put(out, ref.size(), 2);
    out += ref;
}

bool takeRef(const std::string& payload, std::size_t& pos, std::string& ref) {
    if (payload.size() - pos < 2) return false;
    std::size_t len = get(payload, pos, 2);
    pos += 2;
    if (len == 0 || len > kMaxRefLength || payload.size() - pos < len) return false;
    ref = payload.substr(pos, len);
    pos += len;
    return validRefName(ref);
}

}  // namespace

bool validRefName(const std::string& name) {
    if (name.empty() || name.size() > kMaxRefLength || name[0] == '.') return false;
    for (char c : name) {
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
                  c == '-';
        if (!ok) return false;
    }
    return true;
}

std::string encode(const Record& r) {
    std::string payload;
    if (r.flags & kWParamRef) putRef(payload, r.wRef);
    if (r.flags & kLParamRef) putRef(payload, r.lRef);
    if (r.flags & kCopyData) payload += r.copyData;
    std::string out;
    out.reserve(kHeaderSize + payload.size());
    put(out, kMagic, 4);
    put(out, kVersion, 2);
    put(out, static_cast<std::uint16_t>(r.kind), 2);
    put(out, r.msg, 4);
    put(out, r.flags, 4);
    put(out, r.wParam, 8);
    put(out, static_cast<std::uint64_t>(r.lParam), 8);
    put(out, r.dwData, 8);
    put(out, payload.size(), 4);
    put(out, 0, 4);
    out += payload;
    return out;
}

DecodeResult decode(const std::string& buf, Record& out, std::size_t& consumed) {
    if (buf.size() >= 4 && get(buf, 0, 4) != kMagic) return DecodeResult::Malformed;
    if (buf.size() < kHeaderSize) return DecodeResult::NeedMore;
    if (get(buf, 4, 2) != kVersion) return DecodeResult::Malformed;
    auto kind = static_cast<std::uint16_t>(get(buf, 6, 2));
    if (kind < 1 || kind > 3) return DecodeResult::Malformed;
    auto flags = static_cast<std::uint32_t>(get(buf, 12, 4));
    if (flags & ~(kWParamRef | kLParamRef | kCopyData)) return DecodeResult::Malformed;
    auto payloadLen = static_cast<std::uint32_t>(get(buf, 40, 4));
    if (payloadLen > kMaxPayload) return DecodeResult::Malformed;
    if (buf.size() - kHeaderSize < payloadLen) return DecodeResult::NeedMore;

    Record r;
    r.kind = static_cast<Kind>(kind);
    r.msg = static_cast<std::uint32_t>(get(buf, 8, 4));
    r.flags = flags;
    r.wParam = get(buf, 16, 8);
    r.lParam = static_cast<std::int64_t>(get(buf, 24, 8));
    r.dwData = get(buf, 32, 8);
    std::string payload = buf.substr(kHeaderSize, payloadLen);
    std::size_t pos = 0;
    if ((flags & kWParamRef) && !takeRef(payload, pos, r.wRef)) return DecodeResult::Malformed;
    if ((flags & kLParamRef) && !takeRef(payload, pos, r.lRef)) return DecodeResult::Malformed;
    if (flags & kCopyData) {
        r.copyData = payload.substr(pos);
    } else if (pos != payload.size()) {
        return DecodeResult::Malformed;
    }
    out = std::move(r);
    consumed = kHeaderSize + payloadLen;
    return DecodeResult::Complete;
}

}  // namespace plat::link
