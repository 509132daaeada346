// One blocking DNS query through the C library's resolver (/etc/resolv.conf), for programs
// that wait for it anyway; the engine's loop uses host_lookup.h instead.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace plat {

struct DnsQueryReply {
    bool answered = false;  // a reply came; "no such name" counts, with no records
    std::vector<std::uint8_t> message;  // the reply as it came (empty for "no such name")
    std::string failure;  // in words, when !answered
};

struct DnsQueryOptions {
    int timeoutSeconds = 3;  // per try
    int attempts = 2;
    // "127.0.0.1:PORT": ask that name server instead of resolv.conf's (for tests); empty: those.
    std::string server;
};

// type: 15 MX, 33 SRV (class IN).
DnsQueryReply dnsQuery(const std::string& name, std::uint16_t type, const DnsQueryOptions& options);

}  // namespace plat
