// Finding an address's mail settings, in order: the provider table shipped with the program,
// the domain's settings file over HTTPS (autoconfig.DOMAIN, then DOMAIN/.well-known), the
// domain's SRV records (RFC 6186), and the provider of the domain's mail exchanger. The first
// that answers wins; every step says what it found or why not, for the user to see.
//
// The network is reached only through the two interfaces below, so that tests can stand in
// for it; platform_sources.h has the real ones. Each call blocks, bounded in time by the
// source: run a look-up outside any event loop (trawlexctl), or on a thread of its own.
#pragma once

#include "autoconfig/dns_answer.h"
#include "autoconfig/mail_settings.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace autoconfig {

struct FetchReply {
    bool completed = false;  // a whole reply came, of at most the source's size bound
    long status = 0;  // the HTTP status
    std::string body;
    std::string failure;  // why not, in words, when !completed
};

class HttpsSource {
public:
    virtual ~HttpsSource() = default;
    // GET of an https:// URL, the certificate checked, no redirect followed.
    virtual FetchReply get(const std::string& url) = 0;
};

struct DnsReply {
    bool answered = false;  // a reply came (it may hold no records)
    std::vector<std::uint8_t> message;
    std::string failure;  // why not, in words ("no such name" counts as answered)
};

class DnsSource {
public:
    virtual ~DnsSource() = default;
    virtual DnsReply query(const std::string& name, DnsType type) = 0;
};

struct Discovery {
    bool found = false;
    ProviderSettings settings;
    std::vector<std::string> trail;  // one line per step tried: what it found or why not
};

struct DiscoverySources {
    HttpsSource* https = nullptr;  // null: the step is left out
    DnsSource* dns = nullptr;  // null: SRV and MX are left out
    std::function<std::uint32_t(std::uint32_t)> random;  // for SRV weights; empty: the first
};

Discovery discover(const MailAddress& address, const DiscoverySources& sources);

// The servers the SRV records of address's domain name, as the SRV step reads them.
bool settingsFromSrv(const MailAddress& address, DnsSource& dns,
                     const std::function<std::uint32_t(std::uint32_t)>& random, ProviderSettings& out,
                     std::vector<std::string>& trail);

}  // namespace autoconfig
