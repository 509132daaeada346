#include "frontend/qt_platform/qt_wayland_seat.h"

#include <dlfcn.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace plat {

namespace {

// The few parts of libwayland-client used here, declared as the library exports them, so that
// the program needs neither its headers at build time nor the library where Wayland is absent.
struct wl_proxy;
struct wl_interface;
struct RegistryListener {
    void (*global)(void* data, wl_proxy* registry, std::uint32_t name, const char* interface, std::uint32_t version);
    void (*globalRemove)(void* data, wl_proxy* registry, std::uint32_t name);
};
constexpr std::uint32_t kDisplayGetRegistry = 1;  // wl_display.get_registry

struct Wayland {
    void* lib = nullptr;
    wl_proxy* (*connect)(const char*) = nullptr;
    void (*disconnect)(wl_proxy*) = nullptr;
    int (*roundtrip)(wl_proxy*) = nullptr;
    wl_proxy* (*marshalFlags)(wl_proxy*, std::uint32_t, const wl_interface*, std::uint32_t, std::uint32_t,
                              ...) = nullptr;
    std::uint32_t (*version)(wl_proxy*) = nullptr;
    int (*addListener)(wl_proxy*, void (**)(void), void*) = nullptr;
    void (*destroy)(wl_proxy*) = nullptr;
    const wl_interface* registryInterface = nullptr;

    bool load() {
        lib = ::dlopen("libwayland-client.so.0", RTLD_NOW | RTLD_LOCAL);
        if (!lib) return false;
        connect = reinterpret_cast<decltype(connect)>(::dlsym(lib, "wl_display_connect"));
        disconnect = reinterpret_cast<decltype(disconnect)>(::dlsym(lib, "wl_display_disconnect"));
        roundtrip = reinterpret_cast<decltype(roundtrip)>(::dlsym(lib, "wl_display_roundtrip"));
        marshalFlags = reinterpret_cast<decltype(marshalFlags)>(::dlsym(lib, "wl_proxy_marshal_flags"));
        version = reinterpret_cast<decltype(version)>(::dlsym(lib, "wl_proxy_get_version"));
        addListener = reinterpret_cast<decltype(addListener)>(::dlsym(lib, "wl_proxy_add_listener"));
        destroy = reinterpret_cast<decltype(destroy)>(::dlsym(lib, "wl_proxy_destroy"));
        registryInterface = static_cast<const wl_interface*>(::dlsym(lib, "wl_registry_interface"));
        return connect && disconnect && roundtrip && marshalFlags && version && addListener && destroy &&
               registryInterface;
    }
    ~Wayland() {
        if (lib) ::dlclose(lib);
    }
};

void onGlobal(void* data, wl_proxy*, std::uint32_t, const char* interface, std::uint32_t) {
    if (interface && std::strcmp(interface, "wl_seat") == 0) *static_cast<bool*>(data) = true;
}
void onGlobalRemove(void*, wl_proxy*, std::uint32_t) {}

}  // namespace

std::optional<bool> waylandCompositorHasSeat() {
    Wayland wl;
    if (!wl.load()) return std::nullopt;
    wl_proxy* display = wl.connect(nullptr);
    if (!display) return std::nullopt;
    bool seat = false;
    static const RegistryListener listener{onGlobal, onGlobalRemove};
    wl_proxy* registry = wl.marshalFlags(display, kDisplayGetRegistry, wl.registryInterface, wl.version(display), 0,
                                         nullptr);
    std::optional<bool> answer;
    if (registry) {
        wl.addListener(registry, reinterpret_cast<void (**)(void)>(const_cast<RegistryListener*>(&listener)), &seat);
        if (wl.roundtrip(display) >= 0) answer = seat;
        wl.destroy(registry);
    }
    wl.disconnect(display);
    return answer;
}

bool startsAsWaylandClient() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && *platform) return std::strncmp(platform, "wayland", 7) == 0;
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const char* x11 = std::getenv("DISPLAY");
    return wayland && *wayland && !(x11 && *x11);
}

}  // namespace plat
