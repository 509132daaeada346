// Asynchronous host look-up (evdns; /etc/resolv.conf and /etc/hosts).
#pragma once

#include "platform/window.h"

#include <cstdint>
#include <string>

namespace plat {

// Result area of a look-up, filled before the completion message is queued.
struct HostLookupResult {
    int addressLength = 0;  // 4 for an IPv4 address, 0 when nothing was found
    std::uint32_t address = 0;  // first IPv4 address, host byte order
};

using LookupHandle = std::uintptr_t;

// Starts looking up name; completion is queued to hwnd as (msg, handle, error in the high
// word of lParam, 0 on success). result must stay valid until then or until cancelLookup.
// Answers 0 if the look-up cannot be started (errorOut gets the reason).
// Names in the reserved top-level domain "invalid" fail at once without a query.
LookupHandle asyncGetHostByName(HWND hwnd, UINT msg, const char* name, HostLookupResult* result, int* errorOut);
// The failure of a look-up in words, from the error of its completion ("no such host").
std::string lookupErrorWords(int error);

// Forgets a pending look-up: no completion will be queued and result is no longer touched.
void cancelLookup(LookupHandle handle);

}  // namespace plat
