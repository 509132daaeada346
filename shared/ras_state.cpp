#include "dialup/ras_state.h"

namespace {

struct StateName {
    unsigned state;
    const char* name;
};

constexpr StateName kStates[] = {
    {0, "OpenPort"},
    {1, "PortOpened"},
    {2, "ConnectDevice"},
    {3, "DeviceConnected"},
    {4, "AllDevicesConnected"},
    {5, "Authenticate"},
    {6, "AuthNotify"},
    {7, "AuthRetry"},
    {8, "AuthCallback"},
    {9, "AuthChangePassword"},
    {10, "AuthProject"},
    {11, "AuthLinkSpeed"},
    {12, "AuthAck"},
    {13, "ReAuthenticate"},
    {14, "Authenticated"},
    {15, "PrepareForCallback"},
    {16, "WaitForModemReset"},
    {17, "WaitForCallback"},
    {18, "Projected"},
    {19, "StartAuthentication"},
    {20, "CallbackComplete"},
    {21, "LogonNetwork"},
    {0x1000, "Interactive"},
    {0x1001, "RetryAuthentication"},
    {0x1002, "CallbackSetByCaller"},
    {0x1003, "PasswordExpired"},
    {0x2000, "Connected"},
    {0x2001, "Disconnected"},
};

}  // namespace

const char* rasStateName(unsigned state) {
    for (const auto& s : kStates) {
        if (s.state == state) return s.name;
    }
    return "**unknown**";
}

const char* rasErrorText(unsigned long error) {
    switch (error) {
    case 1: return "Unknown or unspecified error";
    case 2: return "Invalid user input, wrong nmcli invocation";
    case 3: return "Timeout expired";
    case 4: return "Connection activation failed";
    case 5: return "Connection deactivation failed";
    case 6: return "Disconnecting device failed";
    case 7: return "Connection deletion failed";
    case 8: return "NetworkManager is not running";
    case 10: return "Connection, device, or access point does not exist";
    case 128 + 9: return "The dial did not end in time and was stopped";
    default: return nullptr;
    }
}
