// Fuzz target: a domain's mail settings file of any content, and a DNS reply of any content.
// The readers must never crash, recurse without bound or read past the text, and every server
// they keep must have a usable host name and port.
#include "autoconfig/autoconfig_xml.h"
#include "autoconfig/dns_answer.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    autoconfig::MailAddress address{"ann", "example.org"};
    autoconfig::ProviderSettings settings;
    std::string why;
    if (autoconfig::parseAutoconfig(text, address, settings, why)) {
        if (settings.incoming.empty()) std::abort();
        for (const auto* list : {&settings.incoming, &settings.outgoing})
            for (const autoconfig::ServerSettings& s : *list)
                if (!autoconfig::plausibleHostName(s.host) || s.port == 0 || s.security == Security::None) std::abort();
    } else if (why.empty()) {
        std::abort();
    }
    std::vector<autoconfig::SrvRecord> srv;
    if (autoconfig::parseSrvAnswer(data, size, srv, why))
        for (const autoconfig::SrvRecord& r : srv)
            if (r.target.size() > 255) std::abort();
    std::vector<autoconfig::MxRecord> mx;
    (void)autoconfig::parseMxAnswer(data, size, mx, why);
    return 0;
}
