// Hashing and randomness from the system's cryptography library, for the sign-in's proof key.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace plat {

// The 32-byte SHA-256 digest of bytes.
std::string sha256(std::string_view bytes);
// count bytes from a cryptographically strong generator; empty if it failed.
std::string randomBytes(std::size_t count);

}  // namespace plat
