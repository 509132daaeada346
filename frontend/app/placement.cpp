#include "frontend/app/placement.h"

namespace {

void put(config::WindowPlacement& b, int slot, std::int32_t v) {
    auto u = static_cast<std::uint32_t>(v);
    for (int i = 0; i < 4; ++i) b[static_cast<std::size_t>(slot * 4 + i)] = static_cast<std::uint8_t>(u >> (8 * i));
}

std::int32_t get(const config::WindowPlacement& b, int slot) {
    std::uint32_t u = 0;
    for (int i = 0; i < 4; ++i) u |= static_cast<std::uint32_t>(b[static_cast<std::size_t>(slot * 4 + i)]) << (8 * i);
    return static_cast<std::int32_t>(u);
}

}  // namespace

config::WindowPlacement encodePlacement(const Placement& p) {
    config::WindowPlacement b{};
    const std::int32_t fields[11] = {44, p.flags, p.showCmd, p.minX, p.minY, p.maxX, p.maxY,
                                     p.left, p.top, p.right, p.bottom};
    for (int i = 0; i < 11; ++i) put(b, i, fields[i]);
    return b;
}

std::optional<Placement> decodePlacement(const config::WindowPlacement& b) {
    if (get(b, 0) != 44) return std::nullopt;
    Placement p;
    p.flags = get(b, 1);
    p.showCmd = get(b, 2);
    p.minX = get(b, 3);
    p.minY = get(b, 4);
    p.maxX = get(b, 5);
    p.maxY = get(b, 6);
    p.left = get(b, 7);
    p.top = get(b, 8);
    p.right = get(b, 9);
    p.bottom = get(b, 10);
    if (p.right <= p.left || p.bottom <= p.top) return std::nullopt;
    return p;
}
