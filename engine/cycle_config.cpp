#include "engine/cycle_config.h"

#include "config/settings.h"

const char* readCycleConfig(CycleConfig& config) {
    // A broken hive file is named at every cycle until it is mended: the cycle goes on with its
    // last good contents, and only the log shows why a change made to it has no effect.
    config::logHiveProblem();
    config::CycleSettings settings;
    switch (config::readCycleSettings(settings)) {
    case config::CycleSettingsFault::OutHostName: return "Failed to retrieve outgoing mail host name from registry";
    case config::CycleSettingsFault::OutHostPort: return "Failed to retrieve outgoing mail host port from registry";
    case config::CycleSettingsFault::RasEntry: return "Failed to retrieve RAS entry from registry";
    case config::CycleSettingsFault::None: break;
    }
    config.outHostName = settings.outHostName;
    config.outHostPort = settings.outHostPort;
    config.rasEntry = settings.rasEntry;
    return nullptr;
}
