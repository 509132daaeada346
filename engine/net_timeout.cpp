#include "engine/net_timeout.h"

#include "net/client.h"

#include <cstdlib>

void applyNetTimeoutSetting() {
    const char* v = std::getenv("TRAWLEX_NET_TIMEOUT_MS");
    if (!v || !*v) return;
    char* end = nullptr;
    unsigned long ms = std::strtoul(v, &end, 10);
    if (*end == '\0' && ms >= 100 && ms <= 600000) Client::timeoutMs = static_cast<unsigned>(ms);
}
