#include "frontend/app/placement.h"

#include "shared/int32_slots.h"

config::WindowPlacement encodePlacement(const Placement& p) {
    config::WindowPlacement b{};
    const std::int32_t fields[11] = {44, p.flags, p.showCmd, p.minX, p.minY, p.maxX, p.maxY,
                                     p.left, p.top, p.right, p.bottom};
    for (int i = 0; i < 11; ++i) putInt32Slot(b, i, fields[i]);
    return b;
}

std::optional<Placement> decodePlacement(const config::WindowPlacement& b) {
    if (getInt32Slot(b, 0) != 44) return std::nullopt;
    Placement p;
    p.flags = getInt32Slot(b, 1);
    p.showCmd = getInt32Slot(b, 2);
    p.minX = getInt32Slot(b, 3);
    p.minY = getInt32Slot(b, 4);
    p.maxX = getInt32Slot(b, 5);
    p.maxY = getInt32Slot(b, 6);
    p.left = getInt32Slot(b, 7);
    p.top = getInt32Slot(b, 8);
    p.right = getInt32Slot(b, 9);
    p.bottom = getInt32Slot(b, 10);
    if (p.right <= p.left || p.bottom <= p.top) return std::nullopt;
    return p;
}
