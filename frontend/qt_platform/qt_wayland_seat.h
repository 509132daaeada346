// Whether a Wayland compositor offers an input seat (wl_seat), asked before Qt connects to it.
//
// Qt 6.4's Wayland client answers a compositor that offers a text-input protocol but no seat
// (a headless compositor, a kiosk without a keyboard) with a crash: its input context checks
// only that the text-input manager exists, then reaches the text input through the default
// input device, which is null without a seat (QWaylandInputContext::textInput(), a SIGSEGV in
// QWaylandInputDevice::textInput() once a line edit has the focus). Asked first, the program
// can choose an input context of Qt's own (QT_IM_MODULE) where there is no seat to type on.
#pragma once

#include <optional>

namespace plat {

// The compositor named by WAYLAND_DISPLAY (default "wayland-0") in XDG_RUNTIME_DIR: true when it
// offers a wl_seat, false when it offers none; nothing when it cannot be asked (no Wayland
// library, no compositor there).
std::optional<bool> waylandCompositorHasSeat();

// Whether this process is about to run as a Wayland client: QT_QPA_PLATFORM asks for wayland,
// or names no platform while WAYLAND_DISPLAY is set and no X display is.
bool startsAsWaylandClient();

}  // namespace plat
