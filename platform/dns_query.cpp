#include "platform/dns_query.h"

#include <arpa/inet.h>
#include <arpa/nameser.h>
#include <netdb.h>
#include <netinet/in.h>
#include <resolv.h>

#include <cstdlib>
#include <cstring>

namespace plat {

DnsQueryReply dnsQuery(const std::string& name, std::uint16_t type, const DnsQueryOptions& options) {
    DnsQueryReply reply;
    struct __res_state state;
    std::memset(&state, 0, sizeof state);
    if (res_ninit(&state) != 0) {
        reply.failure = "the resolver could not be set up";
        return reply;
    }
    state.retrans = options.timeoutSeconds;
    state.retry = options.attempts;
    if (!options.server.empty()) {
        std::size_t colon = options.server.rfind(':');
        in_addr address{};
        int port = colon == std::string::npos ? 53 : std::atoi(options.server.c_str() + colon + 1);
        std::string host = options.server.substr(0, colon);
        if (inet_pton(AF_INET, host.c_str(), &address) != 1 || port <= 0 || port > 65535) {
            res_nclose(&state);
            reply.failure = "not a name server address: " + options.server;
            return reply;
        }
        // The resolver prefers an IPv6 server of resolv.conf kept beside the list: dropped.
        for (int i = 0; i < MAXNS; ++i) {
            std::free(state._u._ext.nsaddrs[i]);
            state._u._ext.nsaddrs[i] = nullptr;
        }
        state.nscount = 1;
        state.nsaddr_list[0].sin_family = AF_INET;
        state.nsaddr_list[0].sin_addr = address;
        state.nsaddr_list[0].sin_port = htons(static_cast<std::uint16_t>(port));
    }
    std::vector<std::uint8_t> buffer(65535);
    int n = res_nquery(&state, name.c_str(), ns_c_in, type, buffer.data(), static_cast<int>(buffer.size()));
    int herr = state.res_h_errno;
    res_nclose(&state);
    if (n >= 0) {
        buffer.resize(static_cast<std::size_t>(n));
        reply.answered = true;
        reply.message = std::move(buffer);
        return reply;
    }
    switch (herr) {
    case HOST_NOT_FOUND:
    case NO_DATA:
        reply.answered = true;  // the name or the record type does not exist
        break;
    case TRY_AGAIN: reply.failure = "no name server answered"; break;
    default: reply.failure = "the name server refused the query"; break;
    }
    return reply;
}

}  // namespace plat
