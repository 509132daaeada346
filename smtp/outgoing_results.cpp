#include "smtp/outgoing_results.h"

#include "platform/paths.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace outgoing {
namespace {

// Tabs and line ends in a field would break its line.
std::string field(std::string text) {
    for (char& c : text)
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    return text;
}

}  // namespace

std::string resultsPath() {
    return plat::runtimeDir() + "/outgoing.state";
}

std::vector<HostResult> readHostResults() {
    std::vector<HostResult> out;
    std::ifstream in(resultsPath());
    std::string line;
    while (std::getline(in, line)) {
        std::size_t a = line.find('\t');
        std::size_t b = a == std::string::npos ? a : line.find('\t', a + 1);
        std::size_t c = b == std::string::npos ? b : line.find('\t', b + 1);
        if (c == std::string::npos) continue;
        out.push_back({line.substr(0, a), line.substr(a + 1, b - a - 1),
                       std::atoll(line.substr(b + 1, c - b - 1).c_str()), line.substr(c + 1)});
    }
    return out;
}

bool recordHostResult(const HostResult& result) {
    std::vector<HostResult> all = readHostResults();
    bool replaced = false;
    for (HostResult& r : all) {
        if (r.label == result.label && r.owner == result.owner) {
            r = result;
            replaced = true;
        }
    }
    if (!replaced) all.push_back(result);
    std::string path = resultsPath();
    std::string tmp = path + ".tmp";
    {
        std::ofstream out(tmp, std::ios::trunc);
        for (const HostResult& r : all)
            out << field(r.label) << '\t' << field(r.owner) << '\t' << r.when << '\t' << field(r.result) << '\n';
        if (!out.flush()) return false;
    }
    return std::rename(tmp.c_str(), path.c_str()) == 0;
}

}  // namespace outgoing
