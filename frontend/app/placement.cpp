#include "frontend/app/placement.h"

#include "config/int32_slots.h"

namespace {

// The fields after the length, in their stored order.
constexpr std::int32_t Placement::*kFields[] = {
    &Placement::flags, &Placement::showCmd, &Placement::minX, &Placement::minY,  &Placement::maxX,
    &Placement::maxY,  &Placement::left,    &Placement::top,  &Placement::right, &Placement::bottom,
};
constexpr std::int32_t kLength = 44;

}  // namespace

config::WindowPlacement encodePlacement(const Placement& p) {
    config::WindowPlacement b{};
    putInt32Slot(b, 0, kLength);
    for (int i = 0; i < 10; ++i) putInt32Slot(b, i + 1, p.*kFields[i]);
    return b;
}

std::optional<Placement> decodePlacement(const config::WindowPlacement& b) {
    if (getInt32Slot(b, 0) != kLength) return std::nullopt;
    Placement p;
    for (int i = 0; i < 10; ++i) p.*kFields[i] = getInt32Slot(b, i + 1);
    if (p.right <= p.left || p.bottom <= p.top) return std::nullopt;
    return p;
}
