// The saved window placement ("Placement"): eleven little-endian 32-bit integers, 44 bytes:
// length (44), flags, show command, minimised x and y, maximised x and y, normal left, top,
// right and bottom.
#pragma once

#include "config/settings.h"

#include <cstdint>
#include <optional>

struct Placement {
    std::int32_t flags = 0;
    std::int32_t showCmd = 1;  // SW_SHOWNORMAL
    std::int32_t minX = -1, minY = -1, maxX = -1, maxY = -1;
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
};

config::WindowPlacement encodePlacement(const Placement& p);
// Empty when the length field is not 44 or the normal rectangle is empty or inverted.
std::optional<Placement> decodePlacement(const config::WindowPlacement& bytes);
