// The queries the dial-up connection asks of NetworkManager's command-line client, and the
// parsing of its terse output. Each query runs nmcli to its end within a time limit.
#pragma once

#include <string>
#include <vector>

namespace nmcli {

// One line of terse output ("-t"), split at unescaped colons, "\:" and "\\" undone.
std::vector<std::string> splitTerse(const std::string& line);

struct ActiveConnection {
    std::string name;
    std::string state;  // "activated" when connected
};

// The outcome of a query: ran is false when nmcli could not be started, did not end in time
// or failed; exitCode is its exit code (or -1 when it never ran).
struct QueryResult {
    bool ran = false;
    int exitCode = -1;
};

// "nmcli -t -f NAME,STATE connection show --active".
QueryResult activeConnections(const std::string& program, int timeoutMs, std::vector<ActiveConnection>& out);
// "nmcli -t -f NAME connection show": the profile names, in nmcli's order.
QueryResult connectionNames(const std::string& program, int timeoutMs, std::vector<std::string>& out);
// "nmcli --wait <seconds> connection down id <name>".
QueryResult connectionDown(const std::string& program, const std::string& name, int waitSeconds);

// Whether two entry names are the same without regard to letter case.
bool sameEntry(const std::string& a, const std::string& b);

}  // namespace nmcli
