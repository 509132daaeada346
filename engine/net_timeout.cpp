#include "engine/net_timeout.h"

#include "net/connection.h"

#include <cstdlib>
#include <optional>

namespace {

// The variable's value when it is a whole number within [low, high].
std::optional<unsigned long> numberSetting(const char* name, unsigned long low, unsigned long high) {
    const char* v = std::getenv(name);
    if (!v || !*v) return std::nullopt;
    char* end = nullptr;
    unsigned long n = std::strtoul(v, &end, 10);
    if (*end != '\0' || n < low || n > high) return std::nullopt;
    return n;
}

}  // namespace

void applyNetTimeoutSetting() {
    if (auto ms = numberSetting("TRAWLEX_NET_TIMEOUT_MS", 100, 600000))
        Connection::timeoutMs = static_cast<unsigned>(*ms);
    if (auto s = numberSetting("TRAWLEX_CONNECTION_LIMIT_S", 1, Connection::kDefaultLifeLimitMs / 1000))
        Connection::lifeLimitMs = static_cast<unsigned>(*s * 1000);
}
