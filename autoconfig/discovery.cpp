#include "autoconfig/discovery.h"

#include "autoconfig/autoconfig_xml.h"
#include "autoconfig/provider_table.h"

namespace autoconfig {
namespace {

bool fromSettingsFile(const std::string& url, const MailAddress& address, HttpsSource& https, ProviderSettings& out,
                      std::vector<std::string>& trail) {
    FetchReply reply = https.get(url);
    if (!reply.completed) {
        trail.push_back(url + ": " + reply.failure);
        return false;
    }
    if (reply.status != 200) {
        trail.push_back(url + ": HTTP status " + std::to_string(reply.status));
        return false;
    }
    std::string why;
    std::vector<std::string> skipped;
    if (!parseAutoconfig(reply.body, address, out, why, &skipped)) {
        trail.push_back(url + ": refused: " + why);
        return false;
    }
    out.source = url;
    std::string line = url + ": found";
    for (const std::string& s : skipped) line += "; left out " + s;
    trail.push_back(line);
    return true;
}

struct SrvService {
    const char* label;
    Protocol protocol;
    Security security;
};

constexpr SrvService kServices[] = {
    {"_pop3s._tcp.", Protocol::Pop3, Security::Tls},
    {"_imaps._tcp.", Protocol::Imap, Security::Tls},
    {"_submissions._tcp.", Protocol::Smtp, Security::Tls},
    {"_submission._tcp.", Protocol::Smtp, Security::StartTls},
};

}  // namespace

bool settingsFromSrv(const MailAddress& address, DnsSource& dns,
                     const std::function<std::uint32_t(std::uint32_t)>& random, ProviderSettings& out,
                     std::vector<std::string>& trail) {
    ProviderSettings found;
    found.provider = address.domain;
    found.source = "DNS SRV records";
    auto first = [](std::uint32_t) { return 0u; };
    for (const SrvService& service : kServices) {
        std::string name = service.label + address.domain;
        DnsReply reply = dns.query(name, DnsType::Srv);
        if (!reply.answered) {
            trail.push_back(name + ": " + reply.failure);
            continue;
        }
        std::vector<SrvRecord> records;
        std::string why;
        if (!reply.message.empty() && !parseSrvAnswer(reply.message.data(), reply.message.size(), records, why)) {
            trail.push_back(name + ": " + why);
            continue;
        }
        if (records.empty()) continue;
        int kept = 0;
        for (const SrvRecord& r : orderSrv(records, random ? random : first)) {
            // A target "." says the service is not offered at all.
            if (r.target.empty() || r.port == 0 || !plausibleHostName(r.target)) continue;
            ServerSettings s;
            s.protocol = service.protocol;
            s.host = r.target;
            for (char& c : s.host)
                if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            s.port = r.port;
            s.security = service.security;
            s.user = address.text();
            (s.protocol == Protocol::Smtp ? found.outgoing : found.incoming).push_back(s);
            ++kept;
        }
        trail.push_back(name + ": " + std::to_string(kept) + " server(s)");
    }
    if (found.incoming.empty()) return false;
    out = std::move(found);
    return true;
}

Discovery discover(const MailAddress& address, const DiscoverySources& sources) {
    Discovery d;
    if (lookUpProviderByDomain(address, d.settings)) {
        d.found = true;
        d.trail.push_back("provider table: " + d.settings.provider);
        return d;
    }
    d.trail.push_back("provider table: no entry for " + address.domain);
    if (sources.https) {
        for (const std::string& url : {"https://autoconfig." + address.domain + "/mail/config-v1.1.xml",
                                       "https://" + address.domain + "/.well-known/autoconfig/mail/config-v1.1.xml"}) {
            if (fromSettingsFile(url, address, *sources.https, d.settings, d.trail)) {
                d.found = true;
                return d;
            }
        }
    }
    if (!sources.dns) return d;
    if (settingsFromSrv(address, *sources.dns, sources.random, d.settings, d.trail)) {
        d.found = true;
        return d;
    }
    DnsReply reply = sources.dns->query(address.domain, DnsType::Mx);
    std::vector<MxRecord> records;
    std::string why;
    if (!reply.answered) {
        d.trail.push_back("MX of " + address.domain + ": " + reply.failure);
    } else if (!reply.message.empty() && !parseMxAnswer(reply.message.data(), reply.message.size(), records, why)) {
        d.trail.push_back("MX of " + address.domain + ": " + why);
    } else {
        for (const MxRecord& mx : orderMx(records)) {
            if (lookUpProviderByMx(mx.host, address, d.settings)) {
                d.found = true;
                d.trail.push_back("MX of " + address.domain + ": " + mx.host + " is " + d.settings.provider);
                return d;
            }
        }
        d.trail.push_back("MX of " + address.domain + ": no known provider");
    }
    return d;
}

}  // namespace autoconfig
