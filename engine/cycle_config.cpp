#include "engine/cycle_config.h"

#include "platform/registry.h"
#include "shared/settings_keys.h"

#include <cstdint>

using namespace plat;

const char* readCycleConfig(CycleConfig& config) {
    static const char kHostFailed[] = "Failed to retrieve outgoing mail host name from registry";
    static const char kPortFailed[] = "Failed to retrieve outgoing mail host port from registry";
    static const char kRasFailed[] = "Failed to retrieve RAS entry from registry";

    RegKey key;
    // A missing key fails at the first value.
    if (regOpenKey(Hive::CurrentUser, kSettingsKey, false, false, key) != RegStatus::Ok) return kHostFailed;
    char buf[260];
    if (regQueryString(key, "outhostname", buf, sizeof buf) != RegStatus::Ok) return kHostFailed;
    config.outHostName = buf;
    std::uint32_t port = 0;
    if (regQueryDword(key, "outhostport", port) != RegStatus::Ok) return kPortFailed;
    config.outHostPort = port;
    if (regQueryString(key, "rasentry", buf, sizeof buf) != RegStatus::Ok) return kRasFailed;
    config.rasEntry = buf;
    return nullptr;
}
