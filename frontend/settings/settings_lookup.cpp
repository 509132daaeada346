#include "frontend/settings/settings_lookup.h"

#include "autoconfig/platform_sources.h"
#include "config/settings.h"
#include "frontend/settings/off_thread.h"

#include <string>

namespace lookup {
namespace {

constexpr std::chrono::milliseconds kDefaultLimit{30000};

Start& hook() {
    static Start h;
    return h;
}

std::chrono::milliseconds& limit() {
    static std::chrono::milliseconds l{0};
    return l;
}

}  // namespace

void start(const autoconfig::MailAddress& address, Answer answer) {
    if (hook()) {
        hook()(address, std::move(answer));
        return;
    }
    // Everything the worker needs is read here, on the GUI thread.
    autoconfig::LookupOptions options = autoconfig::lookupOptions(config::readSetting(config::kCaFile));
    plat::HttpsGetOptions http = options.http;
    plat::DnsQueryOptions dns = options.dns;
    runOffThread<autoconfig::Discovery>(
        [address, http, dns] {
            autoconfig::NetworkHttps httpsSource(http);
            autoconfig::NetworkDns dnsSource(dns);
            return autoconfig::discover(address, {&httpsSource, &dnsSource, autoconfig::systemRandom});
        },
        std::move(answer));
}

void setStartHook(Start h) {
    hook() = std::move(h);
}

std::chrono::milliseconds timeLimit() {
    return limit().count() > 0 ? limit() : kDefaultLimit;
}

void setTimeLimit(std::chrono::milliseconds l) {
    limit() = l;
}

}  // namespace lookup
