#include "dialup/ras_status.h"

#include "platform/spawn.h"
#include "dialup/nmcli.h"

RASStatus::RASStatus() : program_(plat::findOnPath("nmcli")) {}

bool RASStatus::isConnected(const char* entryName) const {
    if (!loaded() || !entryName) return false;
    std::vector<nmcli::ActiveConnection> active;
    if (!nmcli::activeConnections(program_, kQueryTimeoutMs, active).ran || active.empty()) return false;
    for (const auto& a : active) {
        if (nmcli::sameEntry(a.name, entryName)) return a.state == "activated";
    }
    return false;
}

bool RASStatus::listEntries(std::vector<std::string>& names) const {
    if (!loaded()) return false;
    std::vector<std::string> found;
    if (!nmcli::connectionNames(program_, kQueryTimeoutMs, found).ran) return false;
    names = std::move(found);
    return true;
}
