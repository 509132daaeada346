// How a mail client protects its connection, and the rule that keeps passwords off the wire
// in clear. The values are those stored in the settings ("outhostsecurity", an account's
// "security").
#pragma once

#include <cstdint>

enum class Security : std::uint32_t {
    None = 0,  // plain text throughout
    StartTls = 1,  // plain greeting, then the protocol's upgrade command (STARTTLS, STLS)
    Tls = 2,  // TLS from the first byte
};

// A stored value. One this program does not know never means "plain": it reads as Tls.
inline Security securityFromSetting(std::uint32_t value) {
    return value <= 2 ? static_cast<Security>(value) : Security::Tls;
}

// A password may travel over TLS, or in plain text to this machine only (127.0.0.0/8).
inline bool passwordMayTravel(bool secured, bool peerIsLoopback) {
    return secured || peerIsLoopback;
}
