#include "platform/host_lookup.h"

#include "platform/event_loop.h"
#include "platform/loop_internal.h"
#include "platform/socket.h"

#include <event2/dns.h>
#include <event2/util.h>

#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <string>
#include <unordered_map>

namespace plat {
namespace {

struct Lookup {
    HWND hwnd;
    UINT msg;
    HostLookupResult* result;
    evdns_getaddrinfo_request* request;
};

struct LookupState {
    evdns_base* dns = nullptr;
    std::unordered_map<LookupHandle, Lookup> pending;
    LookupHandle next = 1;
};

LookupState& lookups() {
    static LookupState s;
    return s;
}

evdns_base* dnsBase() {
    auto& s = lookups();
    if (!s.dns) {
        s.dns = evdns_base_new(eventBase(), EVDNS_BASE_INITIALIZE_NAMESERVERS | EVDNS_BASE_DISABLE_WHEN_INACTIVE);
        if (!s.dns) s.dns = evdns_base_new(eventBase(), 0);  // no resolv.conf: /etc/hosts only
        if (s.dns) evdns_base_load_hosts(s.dns, nullptr);
    }
    return s.dns;
}

bool endsWithInvalid(const std::string& name) {
    std::string n = name;
    while (!n.empty() && n.back() == '.') n.pop_back();
    for (auto& c : n) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return n == "invalid" || (n.size() > 8 && n.compare(n.size() - 8, 8, ".invalid") == 0);
}

void onResolved(int err, evutil_addrinfo* res, void* arg) {
    auto handle = static_cast<LookupHandle>(reinterpret_cast<std::uintptr_t>(arg));
    auto& pending = lookups().pending;
    auto it = pending.find(handle);
    if (it == pending.end()) {  // cancelled
        if (res) evutil_freeaddrinfo(res);
        return;
    }
    Lookup l = it->second;
    pending.erase(it);
    int error = err;
    if (err == 0) {
        error = 1;
        for (evutil_addrinfo* ai = res; ai; ai = ai->ai_next) {
            if (ai->ai_family == AF_INET && ai->ai_addr) {
                auto* sin = reinterpret_cast<sockaddr_in*>(ai->ai_addr);
                l.result->address = ntohl(sin->sin_addr.s_addr);
                l.result->addressLength = 4;
                error = 0;
                break;
            }
        }
    }
    if (res) evutil_freeaddrinfo(res);
    if (error < 0) error = -error;
    detail::enqueue({l.hwnd, l.msg, static_cast<WPARAM>(handle), makeLParam(0, error ? error : 0), 0});
}

}  // namespace

LookupHandle asyncGetHostByName(HWND hwnd, UINT msg, const char* name, HostLookupResult* result, int* errorOut) {
    if (!name || !*name || !result) {
        if (errorOut) *errorOut = EINVAL;
        return 0;
    }
    *result = HostLookupResult{};
    auto& s = lookups();
    LookupHandle handle = s.next++;
    if (endsWithInvalid(name)) {
        // Reserved for names that must never resolve; answer without asking a server.
        detail::enqueue({hwnd, msg, static_cast<WPARAM>(handle), makeLParam(0, 1), 0});
        return handle;
    }
    evdns_base* dns = dnsBase();
    if (!dns) {
        if (errorOut) *errorOut = ENOMEM;
        return 0;
    }
    s.pending[handle] = Lookup{hwnd, msg, result, nullptr};
    evutil_addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    evdns_getaddrinfo_request* req = evdns_getaddrinfo(dns, name, nullptr, &hints, onResolved,
                                                       reinterpret_cast<void*>(static_cast<std::uintptr_t>(handle)));
    auto it = s.pending.find(handle);
    if (it != s.pending.end()) it->second.request = req;  // null when it finished at once
    return handle;
}

void cancelLookup(LookupHandle handle) {
    auto& pending = lookups().pending;
    auto it = pending.find(handle);
    if (it == pending.end()) return;
    evdns_getaddrinfo_request* req = it->second.request;
    pending.erase(it);
    if (req) evdns_getaddrinfo_cancel(req);
}

std::string lookupErrorWords(int error) {
    // Completions carry the look-up's error made positive; 1 is "no IPv4 address".
    int code = -error;
    if (error == 1 || code == EVUTIL_EAI_NONAME || code == EVUTIL_EAI_NODATA) return "no such host";
    if (code == EVUTIL_EAI_AGAIN) return "no answer from the name server (temporary failure)";
    if (code == EVUTIL_EAI_FAIL) return "the name server failed";
    if (error == EINVAL || error == ENOMEM) return socketErrorWords(error);
    std::string words = evutil_gai_strerror(code);
    if (!words.empty()) words[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(words[0])));
    return "host look-up failed: " + words;
}

}  // namespace plat
