// Which outgoing host takes a queued item: the first account whose "addresses" claim the
// item's envelope sender, or the global outgoing host when none does. Pure functions over
// settings already read, so that the engine's send step and trawlexctl decide alike.
//
// Addresses compare without regard to letter case. A pattern is an exact address
// ("ann@example.org") or a whole domain ("*@example.org"). A sender with a tag in its local
// part ("ann+lists@example.org") is claimed by the pattern of its untagged form as well.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace outgoing {

// One account's outgoing host as its settings give it.
struct AccountRoute {
    std::string account;  // the account's title
    std::vector<std::string> addresses;  // patterns
    std::string server;  // empty: the global outgoing host
    std::uint32_t port = 25;
    std::uint32_t security = 0;  // 0 plain, 1 STARTTLS, 2 TLS from the first byte
    std::string user;  // empty: no log-in
    bool oauth = false;  // log in with the account's OAuth 2.0 sign-in
};

// The patterns of an "addresses" value: words separated by blanks, commas or semicolons.
std::vector<std::string> splitAddresses(std::string_view value);

// The address of a reverse path as stored ("<Ann@Example.org>", "<@relay:ann@x>", "ann@x"):
// without angle brackets and source route; empty for the null sender "<>".
std::string senderAddress(std::string_view reversePath);

// Whether pattern claims address (an address as senderAddress gives it).
bool addressMatches(std::string_view pattern, std::string_view address);

// The index of the first route whose patterns claim reversePath's sender; -1 when none does.
int routeFor(const std::vector<AccountRoute>& routes, std::string_view reversePath);

// The items of one connection: route is the index of the account whose settings it uses, -1
// for the global outgoing host; items are indexes into the list given to groupByHost, in
// their order there.
struct HostGroup {
    int route = -1;
    std::vector<int> items;
};

// Groups reversePaths (one per queued item; empty when the item's envelope is unknown) by the
// connection their senders select. Accounts with an empty server, and senders no account
// claims, share the global host's group; accounts whose server, port, security, log-in and
// sign-in are all alike share one connection, under the first of them. Groups come in the
// order of their first item.
std::vector<HostGroup> groupByHost(const std::vector<AccountRoute>& routes,
                                   const std::vector<std::string>& reversePaths);

}  // namespace outgoing
