// Little-endian record I/O shared by the routing files and the identifier files: 32-bit signed
// counts and lengths, then raw bytes, through stdio.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace store {

// Reads one little-endian 32-bit signed value; false on a short read.
bool readInt32(std::FILE* f, std::int32_t& value);

// Writes one little-endian 32-bit value; false on a short write.
bool writeInt32(std::FILE* f, std::uint32_t value);

// Reads exactly length bytes into out in chunks, so that a length the file does not back costs
// no more memory than the bytes actually there. False on a short read (out holds what was read).
bool readBytes(std::FILE* f, std::size_t length, std::string& out);

}  // namespace store
