// The record that carries one message between two programs over the link, and its checks.
// Little-endian, fixed 48-byte header, then the payload:
//   [u16 length + name of the wParam window reference]   when flags & kWParamRef
//   [u16 length + name of the lParam window reference]   when flags & kLParamRef
//   [the WM_COPYDATA bytes]                               when flags & kCopyData (the rest)
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace plat::link {

constexpr std::uint32_t kMagic = 0x4B4C5754;  // "TWLK"
constexpr std::uint16_t kVersion = 1;
constexpr std::size_t kHeaderSize = 48;
constexpr std::uint32_t kMaxPayload = 1u << 20;
constexpr std::size_t kMaxRefLength = 200;

enum class Kind : std::uint16_t { Post = 1, Send = 2, Reply = 3 };

constexpr std::uint32_t kWParamRef = 1;
constexpr std::uint32_t kLParamRef = 2;
constexpr std::uint32_t kCopyData = 4;

struct Record {
    Kind kind = Kind::Post;
    std::uint32_t msg = 0;
    std::uint32_t flags = 0;
    std::uint64_t wParam = 0;
    std::int64_t lParam = 0;
    std::uint64_t dwData = 0;
    std::string wRef;  // published name "<class>.<title>" of a window passed as wParam
    std::string lRef;
    std::string copyData;  // the bytes of a WM_COPYDATA payload
};

std::string encode(const Record& r);

enum class DecodeResult { Complete, NeedMore, Malformed };
// Decodes the first record of buf; consumed gets its length when Complete.
DecodeResult decode(const std::string& buf, Record& out, std::size_t& consumed);

// A window reference names a socket in the runtime directory: letters, digits, ".", "_", "-",
// not beginning with ".", so that it can never leave that directory.
bool validRefName(const std::string& name);

}  // namespace plat::link
