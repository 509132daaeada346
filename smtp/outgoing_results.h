// The last result of each outgoing host, kept by the engine for trawlexctl status in the file
// outgoing.state of the per-user runtime directory: one line a host, "label TAB owner TAB
// seconds since 1970 TAB result", rewritten whole (a temporary file renamed into place).
#pragma once

#include <string>
#include <vector>

namespace outgoing {

struct HostResult {
    std::string label;  // "host:port"
    std::string owner;  // "account home" or "the global outgoing host"
    long long when = 0;  // seconds since 1970 UTC
    std::string result;  // "delivered 2, refused 0, kept 1", "could not be reached", ...
};

std::string resultsPath();
// Every host's last result, in the order first recorded; empty when there is no file.
std::vector<HostResult> readHostResults();
// Replaces the line of result's label (and owner), or adds one. False when it cannot be written.
bool recordHostResult(const HostResult& result);

}  // namespace outgoing
