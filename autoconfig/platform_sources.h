// The look-up's sources over the real network: HTTPS through libcurl, DNS through the C
// library's resolver.
#pragma once

#include "autoconfig/discovery.h"
#include "platform/dns_query.h"
#include "platform/https_get.h"

namespace autoconfig {

class NetworkHttps : public HttpsSource {
public:
    explicit NetworkHttps(plat::HttpsGetOptions options) : options_(std::move(options)) {}
    FetchReply get(const std::string& url) override;

private:
    plat::HttpsGetOptions options_;
};

class NetworkDns : public DnsSource {
public:
    explicit NetworkDns(plat::DnsQueryOptions options) : options_(std::move(options)) {}
    DnsReply query(const std::string& name, DnsType type) override;

private:
    plat::DnsQueryOptions options_;
};

// What both programs look up with: every request bounded (TRAWLEX_LOOKUP_TIMEOUT_MS, 100 to
// 60000, for tests), caFile trusted besides the system's certificates, and a test's own
// servers when TRAWLEX_AUTOCONFIG_CONNECT and TRAWLEX_DNS_SERVER name loopback ones.
struct LookupOptions {
    plat::HttpsGetOptions http;
    plat::DnsQueryOptions dns;
};
LookupOptions lookupOptions(const std::string& caFile);

// A number from 0 to n from the system's random source, for SRV weights.
std::uint32_t systemRandom(std::uint32_t n);

}  // namespace autoconfig
