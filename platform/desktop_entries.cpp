#include "platform/desktop_entries.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace plat {
namespace {

namespace fs = std::filesystem;

std::string envOr(const char* name, const std::string& fallback) {
    const char* v = std::getenv(name);
    return v && *v ? std::string(v) : fallback;
}

std::string home() {
    return envOr("HOME", "/");
}

std::vector<std::string> splitList(const std::string& s, char sep) {
    std::vector<std::string> out;
    std::stringstream in(s);
    std::string item;
    while (std::getline(in, item, sep)) {
        if (!item.empty()) out.push_back(item);
    }
    return out;
}

// Undoes the escapes of a desktop-entry string value: \s \n \t \r \\.
std::string unescapeValue(const std::string& v) {
    std::string out;
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (v[i] != '\\' || i + 1 == v.size()) {
            out += v[i];
            continue;
        }
        char c = v[++i];
        switch (c) {
        case 's': out += ' '; break;
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        case '\\': out += '\\'; break;
        default:
            out += '\\';
            out += c;
            break;
        }
    }
    return out;
}

// The key=value pairs of one group of an ini-style file.
std::map<std::string, std::string> readGroup(const std::string& path, const std::string& group) {
    std::map<std::string, std::string> values;
    std::ifstream in(path);
    std::string line;
    bool inGroup = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        if (line[0] == '[') {
            inGroup = line == "[" + group + "]";
            continue;
        }
        if (!inGroup) continue;
        std::size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string key = line.substr(0, eq);
        while (!key.empty() && key.back() == ' ') key.pop_back();
        std::size_t start = line.find_first_not_of(' ', eq + 1);
        values.emplace(key, start == std::string::npos ? std::string() : line.substr(start));
    }
    return values;
}

bool readEntry(const std::string& path, DesktopEntry& e) {
    auto g = readGroup(path, "Desktop Entry");
    if (g.empty()) return false;
    auto get = [&g](const char* k) {
        auto it = g.find(k);
        return it == g.end() ? std::string() : it->second;
    };
    if (get("Type") != "Application") return false;
    e.name = unescapeValue(get("Name"));
    e.exec = unescapeValue(get("Exec"));
    e.mimeTypes = splitList(get("MimeType"), ';');
    e.categories = splitList(get("Categories"), ';');
    e.hidden = get("Hidden") == "true" || get("NoDisplay") == "true";
    return true;
}

std::vector<std::string> mimeappsFiles() {
    std::vector<std::string> files;
    files.push_back(envOr("XDG_CONFIG_HOME", home() + "/.config") + "/mimeapps.list");
    for (const auto& d : splitList(envOr("XDG_CONFIG_DIRS", "/etc/xdg"), ':')) files.push_back(d + "/mimeapps.list");
    for (const auto& d : applicationDirs()) files.push_back(d + "/mimeapps.list");
    return files;
}

}  // namespace

std::vector<std::string> applicationDirs() {
    std::vector<std::string> dirs;
    dirs.push_back(envOr("XDG_DATA_HOME", home() + "/.local/share") + "/applications");
    for (const auto& d : splitList(envOr("XDG_DATA_DIRS", "/usr/local/share:/usr/share"), ':'))
        dirs.push_back(d + "/applications");
    return dirs;
}

std::vector<DesktopEntry> desktopEntries() {
    std::map<std::string, DesktopEntry> byId;
    for (const auto& dir : applicationDirs()) {
        std::error_code ec;
        fs::recursive_directory_iterator it(dir, fs::directory_options::skip_permission_denied, ec), end;
        for (; !ec && it != end; it.increment(ec)) {
            const fs::path& p = it->path();
            if (p.extension() != ".desktop" || !it->is_regular_file(ec)) continue;
            std::string id = fs::relative(p, dir, ec).generic_string();
            std::replace(id.begin(), id.end(), '/', '-');
            if (byId.count(id)) continue;  // an earlier directory wins, even with a broken entry
            DesktopEntry e;
            e.id = id;
            if (!readEntry(p.string(), e)) e.hidden = true;
            byId.emplace(id, std::move(e));
        }
    }
    std::vector<DesktopEntry> out;
    for (auto& [id, e] : byId) {
        if (!e.name.empty() || e.hidden) out.push_back(std::move(e));
    }
    return out;
}

std::string defaultApplication(const std::string& mimeType) {
    auto entries = desktopEntries();
    auto installed = [&entries](const std::string& id) {
        return std::any_of(entries.begin(), entries.end(),
                           [&id](const DesktopEntry& e) { return e.id == id && !e.name.empty(); });
    };
    for (const auto& file : mimeappsFiles()) {
        auto g = readGroup(file, "Default Applications");
        auto it = g.find(mimeType);
        if (it == g.end()) continue;
        for (const auto& id : splitList(it->second, ';')) {
            if (installed(id)) return id;
        }
    }
    return {};
}

std::string stripFieldCodes(const std::string& exec) {
    std::string out;
    for (std::size_t i = 0; i < exec.size(); ++i) {
        if (exec[i] != '%' || i + 1 == exec.size()) {
            out += exec[i];
            continue;
        }
        char c = exec[++i];
        if (c == '%') {
            out += '%';
            continue;
        }
        // Any other field code stands for something we never pass: it goes, and a code that
        // was a word of its own takes its blank with it.
        bool wholeWord = (out.empty() || out.back() == ' ') && (i + 1 == exec.size() || exec[i + 1] == ' ');
        if (wholeWord && !out.empty()) out.pop_back();
    }
    return out;
}

}  // namespace plat
