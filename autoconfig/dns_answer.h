// The answer section of a DNS reply (RFC 1035 message format) for the two record types the
// look-ups ask for: SRV (RFC 2782) and MX. Read with bounds on every length and on name
// compression, whatever the bytes hold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace autoconfig {

enum class DnsType : std::uint16_t { Mx = 15, Srv = 33 };

struct SrvRecord {
    std::uint16_t priority = 0;
    std::uint16_t weight = 0;
    std::uint16_t port = 0;
    std::string target;  // without the final dot; "." (service not offered) reads as empty
};

struct MxRecord {
    std::uint16_t preference = 0;
    std::string host;
};

// The records of the reply's answer section; records of other types (a CNAME on the way)
// are passed over. False with why when the message is malformed.
bool parseSrvAnswer(const std::uint8_t* data, std::size_t size, std::vector<SrvRecord>& out, std::string& why);
bool parseMxAnswer(const std::uint8_t* data, std::size_t size, std::vector<MxRecord>& out, std::string& why);

// RFC 2782's order for trying the targets: lowest priority first; within one priority a
// weighted random choice, drawn with random(n), which answers a number from 0 to n.
std::vector<SrvRecord> orderSrv(std::vector<SrvRecord> records,
                                const std::function<std::uint32_t(std::uint32_t)>& random);
// Lowest preference first (stable among equals).
std::vector<MxRecord> orderMx(std::vector<MxRecord> records);

}  // namespace autoconfig
