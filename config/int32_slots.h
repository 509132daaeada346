// Fixed binary registry values made of little-endian 32-bit integers ("Placement",
// "ListColumns"): slot n is bytes 4n to 4n+3.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

template <std::size_t N>
void putInt32Slot(std::array<std::uint8_t, N>& b, int slot, std::int32_t v) {
    auto u = static_cast<std::uint32_t>(v);
    for (int i = 0; i < 4; ++i) b[static_cast<std::size_t>(slot * 4 + i)] = static_cast<std::uint8_t>(u >> (8 * i));
}

template <std::size_t N>
std::int32_t getInt32Slot(const std::array<std::uint8_t, N>& b, int slot) {
    std::uint32_t u = 0;
    for (int i = 0; i < 4; ++i) u |= static_cast<std::uint32_t>(b[static_cast<std::size_t>(slot * 4 + i)]) << (8 * i);
    return static_cast<std::int32_t>(u);
}
