#include "autoconfig/platform_sources.h"

#include <cstdlib>
#include <random>

namespace autoconfig {
namespace {

// "127.x.y.z:PORT" from the environment, else empty: tests point the look-up at loopback only.
std::string loopbackFromEnv(const char* name) {
    const char* v = std::getenv(name);
    std::string s = v ? v : "";
    return s.rfind("127.", 0) == 0 && s.find(':') != std::string::npos ? s : std::string();
}

}  // namespace

LookupOptions lookupOptions(const std::string& caFile) {
    LookupOptions o;
    if (const char* v = std::getenv("TRAWLEX_LOOKUP_TIMEOUT_MS")) {
        int ms = std::atoi(v);
        if (ms >= 100 && ms <= 60000) o.http.timeoutMs = ms;
    }
    o.http.caFile = caFile;
    o.http.connectTo = loopbackFromEnv("TRAWLEX_AUTOCONFIG_CONNECT");
    o.dns.server = loopbackFromEnv("TRAWLEX_DNS_SERVER");
    return o;
}

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
