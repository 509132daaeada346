#include "log/day_logs.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

bool isDayLogName(const std::string& name) {
    return name.size() == 12 && name.compare(8, 4, ".log") == 0 &&
           std::all_of(name.begin(), name.begin() + 8, [](unsigned char c) { return std::isdigit(c); });
}

// The day files of dir, oldest first.
std::vector<std::string> dayLogs(const std::string& dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
        std::string name = entry.path().filename().string();
        if (isDayLogName(name)) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The lines of a file from offset on; a last line without its end is left out (still being
// written).
std::vector<std::string> linesFrom(const std::string& path, std::uintmax_t offset) {
    std::vector<std::string> lines;
    std::ifstream in(path, std::ios::binary);
    if (!in) return lines;
    in.seekg(static_cast<std::streamoff>(offset));
    std::string line;
    while (std::getline(in, line)) {
        if (in.eof()) break;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

}  // namespace

bool isHighLine(const std::string& line) {
    return line.size() > 17 && line.compare(13, 4, "HIGH") == 0;
}

LogMark markDayLogs(const std::string& dir) {
    // The newest day file, not today's by this process's clock: the engine may keep another
    // time zone, and a new day's file starts with the first line after midnight.
    LogMark mark;
    std::vector<std::string> names = dayLogs(dir);
    if (names.empty()) return mark;
    mark.file = names.back();
    std::error_code ec;
    mark.size = fs::file_size(fs::path(dir) / mark.file, ec);
    if (ec) mark.size = 0;
    return mark;
}

std::vector<std::string> highLinesSince(const std::string& dir, const LogMark& mark) {
    std::vector<std::string> out;
    for (const std::string& name : dayLogs(dir)) {
        if (name < mark.file) continue;
        for (std::string& line : linesFrom((fs::path(dir) / name).string(), name == mark.file ? mark.size : 0))
            if (isHighLine(line)) out.push_back(std::move(line));
    }
    return out;
}

std::optional<std::string> lastHighLine(const std::string& dir) {
    std::vector<std::string> names = dayLogs(dir);
    for (auto it = names.rbegin(); it != names.rend(); ++it) {
        std::vector<std::string> lines = linesFrom((fs::path(dir) / *it).string(), 0);
        for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
            if (!isHighLine(*line)) continue;
            const std::string& n = *it;
            const std::string& l = *line;
            return n.substr(0, 4) + "-" + n.substr(4, 2) + "-" + n.substr(6, 2) + " " + l.substr(0, 2) + ":" +
                   l.substr(2, 2) + ":" + l.substr(4, 2) + " " + l.substr(l.find_first_not_of(' ', 8));
        }
    }
    return std::nullopt;
}
