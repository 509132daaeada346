#include "dialup/nmcli.h"

#include "platform/run_process.h"

#include <cctype>

namespace nmcli {
namespace {

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

QueryResult run(const std::vector<std::string>& argv, int timeoutMs, std::string& output) {
    plat::ProcessResult r = plat::runProcess(argv, timeoutMs);
    QueryResult q;
    q.exitCode = r.started ? r.exitCode : -1;
    q.ran = r.started && !r.timedOut && r.exitCode == 0;
    output = std::move(r.output);
    return q;
}

}  // namespace

std::vector<std::string> splitTerse(const std::string& line) {
    std::vector<std::string> fields(1);
    for (std::size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (c == '\\' && i + 1 < line.size()) {
            fields.back() += line[++i];
        } else if (c == ':') {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

QueryResult activeConnections(const std::string& program, int timeoutMs, std::vector<ActiveConnection>& out) {
    std::string text;
    QueryResult q = run({program, "-t", "-f", "NAME,STATE", "connection", "show", "--active"}, timeoutMs, text);
    out.clear();
    if (!q.ran) return q;
    for (const auto& line : linesOf(text)) {
        auto f = splitTerse(line);
        out.push_back({f[0], f.size() > 1 ? f[1] : std::string()});
    }
    return q;
}

QueryResult connectionNames(const std::string& program, int timeoutMs, std::vector<std::string>& out) {
    std::string text;
    QueryResult q = run({program, "-t", "-f", "NAME", "connection", "show"}, timeoutMs, text);
    out.clear();
    if (!q.ran) return q;
    for (const auto& line : linesOf(text)) out.push_back(splitTerse(line)[0]);
    return q;
}

QueryResult connectionDown(const std::string& program, const std::string& name, int waitSeconds) {
    std::string text;
    // nmcli bounds its own wait; the extra seconds only catch an nmcli that hangs regardless.
    return run({program, "--wait", std::to_string(waitSeconds), "connection", "down", "id", name},
               (waitSeconds + 5) * 1000, text);
}

bool sameEntry(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

}  // namespace nmcli
