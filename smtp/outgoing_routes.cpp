#include "smtp/outgoing_routes.h"

#include <algorithm>
#include <cctype>
#include <tuple>

namespace outgoing {
namespace {

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// ann+lists@x is ann@x; an address without a tag, or with the tag as its whole local part,
// stays as it is.
std::string withoutTag(std::string_view address) {
    std::size_t at = address.rfind('@');
    if (at == std::string_view::npos) return std::string(address);
    std::size_t plus = address.substr(0, at).find('+');
    if (plus == std::string_view::npos || plus == 0) return std::string(address);
    return std::string(address.substr(0, plus)) + std::string(address.substr(at));
}

// What makes two accounts' hosts one connection.
using HostKey = std::tuple<std::string, std::uint32_t, std::uint32_t, std::string, std::string>;

HostKey keyOf(const AccountRoute& route) {
    return {lower(route.server), route.port, route.security, route.user, route.oauth ? route.account : ""};
}

}  // namespace

std::vector<std::string> splitAddresses(std::string_view value) {
    std::vector<std::string> out;
    std::string word;
    for (char c : value) {
        if (c == ' ' || c == '\t' || c == ',' || c == ';' || c == '\r' || c == '\n') {
            if (!word.empty()) out.push_back(std::move(word));
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty()) out.push_back(std::move(word));
    return out;
}

std::string senderAddress(std::string_view path) {
    while (!path.empty() && (path.front() == ' ' || path.front() == '\t')) path.remove_prefix(1);
    while (!path.empty() && (path.back() == ' ' || path.back() == '\t')) path.remove_suffix(1);
    if (!path.empty() && path.front() == '<') path.remove_prefix(1);
    if (!path.empty() && path.back() == '>') path.remove_suffix(1);
    // A source route ("@relay,@relay2:") ends at its colon.
    if (!path.empty() && path.front() == '@') {
        std::size_t colon = path.find(':');
        path = colon == std::string_view::npos ? std::string_view() : path.substr(colon + 1);
    }
    return std::string(path);
}

bool addressMatches(std::string_view pattern, std::string_view address) {
    if (pattern.empty() || address.empty()) return false;
    std::string p = lower(pattern), a = lower(address);
    if (p.size() > 2 && p[0] == '*' && p[1] == '@') {
        std::size_t at = a.rfind('@');
        return at != std::string::npos && at > 0 && a.compare(at + 1, std::string::npos, p, 2) == 0;
    }
    return p == a || p == withoutTag(a);
}

int routeFor(const std::vector<AccountRoute>& routes, std::string_view reversePath) {
    std::string address = senderAddress(reversePath);
    if (address.empty()) return -1;
    for (std::size_t i = 0; i < routes.size(); ++i) {
        for (const std::string& pattern : routes[i].addresses)
            if (addressMatches(pattern, address)) return static_cast<int>(i);
    }
    return -1;
}

std::vector<HostGroup> groupByHost(const std::vector<AccountRoute>& routes,
                                   const std::vector<std::string>& reversePaths) {
    std::vector<HostGroup> groups;
    std::vector<HostKey> keys;  // keys[i] is groups[i]'s, unused for the global group
    for (std::size_t item = 0; item < reversePaths.size(); ++item) {
        int route = routeFor(routes, reversePaths[item]);
        if (route >= 0 && routes[static_cast<std::size_t>(route)].server.empty()) route = -1;
        HostKey key = route >= 0 ? keyOf(routes[static_cast<std::size_t>(route)]) : HostKey{};
        std::size_t g = 0;
        for (; g < groups.size(); ++g) {
            bool global = groups[g].route < 0;
            if (route < 0 ? global : !global && keys[g] == key) break;
        }
        if (g == groups.size()) {
            groups.push_back({route, {}});
            keys.push_back(key);
        }
        groups[g].items.push_back(static_cast<int>(item));
    }
    return groups;
}

}  // namespace outgoing
