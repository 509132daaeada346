#include "autoconfig/platform_sources.h"

#include <random>

namespace autoconfig {

FetchReply NetworkHttps::get(const std::string& url) {
    plat::HttpsGetReply r = plat::httpsGet(url, options_);
    FetchReply out;
    out.completed = r.completed;
    out.status = r.status;
    out.body = std::move(r.body);
    out.failure = std::move(r.failure);
    return out;
}

DnsReply NetworkDns::query(const std::string& name, DnsType type) {
    plat::DnsQueryReply r = plat::dnsQuery(name, static_cast<std::uint16_t>(type), options_);
    DnsReply out;
    out.answered = r.answered;
    out.message = std::move(r.message);
    out.failure = std::move(r.failure);
    return out;
}

std::uint32_t systemRandom(std::uint32_t n) {
    static std::mt19937 generator{std::random_device{}()};
    return std::uniform_int_distribution<std::uint32_t>(0, n)(generator);
}

}  // namespace autoconfig
