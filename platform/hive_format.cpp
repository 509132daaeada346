#include "platform/hive_format.h"

#include <cctype>
#include <cstdio>
#include <sstream>

namespace plat::hive {
namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads a quoted string at pos (pointing at the opening quote); pos ends after the closing one.
bool readQuoted(const std::string& s, std::size_t& pos, std::string& out) {
    if (pos >= s.size() || s[pos] != '"') return false;
    out.clear();
    for (++pos; pos < s.size(); ++pos) {
        char c = s[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c == '\\') {
            if (++pos >= s.size() || (s[pos] != '\\' && s[pos] != '"')) return false;
            c = s[pos];
        }
        out.push_back(c);
    }
    return false;
}

bool readHexBytes(const std::string& s, std::string& out) {
    out.clear();
    std::size_t pos = 0;
    while (pos < s.size()) {
        while (pos < s.size() && (s[pos] == ' ' || s[pos] == '\t')) ++pos;
        if (pos == s.size()) break;
        int hi = hexDigit(s[pos]);
        if (hi < 0) return false;
        int value = hi;
        ++pos;
        if (pos < s.size() && hexDigit(s[pos]) >= 0) value = value * 16 + hexDigit(s[pos++]);
        out.push_back(static_cast<char>(value));
        while (pos < s.size() && (s[pos] == ' ' || s[pos] == '\t')) ++pos;
        if (pos < s.size()) {
            if (s[pos] != ',') return false;
            ++pos;
        }
    }
    return true;
}

bool parseData(const std::string& text, Value& v) {
    if (!text.empty() && text[0] == '"') {
        std::size_t pos = 0;
        if (!readQuoted(text, pos, v.data) || pos != text.size()) return false;
        v.type = static_cast<std::uint32_t>(RegType::String);
        return true;
    }
    if (text.rfind("dword:", 0) == 0) {
        std::string digits = text.substr(6);
        if (digits.empty() || digits.size() > 8) return false;
        std::uint32_t n = 0;
        for (char c : digits) {
            if (hexDigit(c) < 0) return false;
            n = n * 16 + static_cast<std::uint32_t>(hexDigit(c));
        }
        v.type = static_cast<std::uint32_t>(RegType::Dword);
        v.data.assign({static_cast<char>(n & 0xFF), static_cast<char>((n >> 8) & 0xFF),
                       static_cast<char>((n >> 16) & 0xFF), static_cast<char>((n >> 24) & 0xFF)});
        return true;
    }
    std::uint32_t type = static_cast<std::uint32_t>(RegType::Binary);
    std::size_t colon = text.find(':');
    if (colon == std::string::npos) return false;
    std::string head = text.substr(0, colon);
    if (head.rfind("hex(", 0) == 0 && head.size() > 5 && head.back() == ')') {
        type = 0;
        for (std::size_t i = 4; i + 1 < head.size(); ++i) {
            if (hexDigit(head[i]) < 0 || i > 11) return false;
            type = type * 16 + static_cast<std::uint32_t>(hexDigit(head[i]));
        }
    } else if (head != "hex") {
        return false;
    }
    if (!readHexBytes(text.substr(colon + 1), v.data)) return false;
    if (type == static_cast<std::uint32_t>(RegType::String)) {
        if (!v.data.empty() && v.data.back() == '\0') v.data.pop_back();
    }
    v.type = type;
    return true;
}

void putValue(std::ostringstream& out, const Value& v) {
    if (v.name.empty()) {
        out << '@';
    } else {
        out << '"';
        for (char c : v.name) {
            if (c == '\\' || c == '"') out << '\\';
            out << c;
        }
        out << '"';
    }
    out << '=';
    bool plain = v.type == static_cast<std::uint32_t>(RegType::String);
    for (unsigned char c : v.data) {
        if (c < 0x20 || c == 0x7F) plain = false;
    }
    if (plain) {
        out << '"';
        for (char c : v.data) {
            if (c == '\\' || c == '"') out << '\\';
            out << c;
        }
        out << "\"\n";
        return;
    }
    if (v.type == static_cast<std::uint32_t>(RegType::Dword) && v.data.size() == 4) {
        std::uint32_t n = 0;
        for (int i = 3; i >= 0; --i) n = n * 256 + static_cast<unsigned char>(v.data[static_cast<std::size_t>(i)]);
        char buf[16];
        std::snprintf(buf, sizeof buf, "dword:%08x\n", n);
        out << buf;
        return;
    }
    std::string bytes = v.data;
    if (v.type == static_cast<std::uint32_t>(RegType::String)) bytes.push_back('\0');
    if (v.type == static_cast<std::uint32_t>(RegType::Binary)) {
        out << "hex:";
    } else {
        char buf[24];
        std::snprintf(buf, sizeof buf, "hex(%x):", v.type);
        out << buf;
    }
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        char buf[4];
        std::snprintf(buf, sizeof buf, "%02x", static_cast<unsigned char>(bytes[i]));
        if (i) out << ',';
        out << buf;
    }
    out << '\n';
}

}  // namespace

std::string fold(const std::string& s) {
    std::string out = s;
    for (auto& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string normalPath(const std::string& path) {
    std::size_t b = path.find_first_not_of('\\');
    if (b == std::string::npos) return {};
    std::size_t e = path.find_last_not_of('\\');
    return path.substr(b, e - b + 1);
}

Value* Key::find(const std::string& name) {
    std::string f = fold(name);
    for (auto& v : values) {
        if (fold(v.name) == f) return &v;
    }
    return nullptr;
}

Key* Hive::find(const std::string& path) {
    auto it = keys.find(fold(normalPath(path)));
    return it == keys.end() ? nullptr : &it->second;
}

Key& Hive::make(const std::string& rawPath) {
    std::string path = normalPath(rawPath);
    for (std::size_t pos = 0;; ++pos) {
        pos = path.find('\\', pos);
        std::string prefix = pos == std::string::npos ? path : path.substr(0, pos);
        auto [it, inserted] = keys.try_emplace(fold(prefix));
        if (inserted) it->second.path = prefix;
        if (pos == std::string::npos) return it->second;
    }
}

bool parse(const std::string& text, const std::string& rootName, Hive& out, std::string& error) {
    out = Hive{};
    out.make("");
    std::vector<std::string> lines;
    {
        std::string line;
        std::istringstream in(text);
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines.push_back(line);
        }
    }
    bool sawHeader = false;
    Key* current = nullptr;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string line = lines[i];
        std::size_t number = i + 1;
        // A hex value may continue on the next lines after a trailing backslash.
        while (!line.empty() && line.back() == '\\' && line.find("=hex") != std::string::npos &&
               i + 1 < lines.size()) {
            line.pop_back();
            line += lines[++i];
        }
        std::size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == ';') continue;
        line = line.substr(first);
        if (!sawHeader) {
            if (line != "REGEDIT4" && line != "Windows Registry Editor Version 5.00") {
                error = "line " + std::to_string(number) + ": not a registry file";
                return false;
            }
            sawHeader = true;
            continue;
        }
        if (line[0] == '[') {
            if (line.back() != ']') {
                error = "line " + std::to_string(number) + ": unfinished key name";
                return false;
            }
            std::string name = line.substr(1, line.size() - 2);
            std::string f = fold(name), root = fold(rootName);
            if (f != root && f.rfind(root + "\\", 0) != 0) {
                error = "line " + std::to_string(number) + ": key outside " + rootName;
                return false;
            }
            current = &out.make(name.substr(rootName.size()));
            continue;
        }
        if (!current) {
            error = "line " + std::to_string(number) + ": value outside a key";
            return false;
        }
        Value v;
        std::size_t pos = 0;
        if (line[0] == '@') {
            pos = 1;
        } else if (!readQuoted(line, pos, v.name)) {
            error = "line " + std::to_string(number) + ": bad value name";
            return false;
        }
        if (pos >= line.size() || line[pos] != '=' || !parseData(line.substr(pos + 1), v)) {
            error = "line " + std::to_string(number) + ": bad value";
            return false;
        }
        if (Value* old = current->find(v.name)) {
            *old = std::move(v);
        } else {
            current->values.push_back(std::move(v));
        }
    }
    if (!sawHeader && !lines.empty()) {
        for (const auto& l : lines) {
            if (l.find_first_not_of(" \t") != std::string::npos) {
                error = "not a registry file";
                return false;
            }
        }
    }
    return true;
}

std::string serialize(const Hive& hive, const std::string& rootName) {
    std::ostringstream out;
    out << "REGEDIT4\n";
    // The map is ordered by folded path, so every parent comes before its children.
    for (const auto& [folded, key] : hive.keys) {
        if (key.path.empty() && key.values.empty()) continue;   // the bare root
        out << "\n[" << rootName << (key.path.empty() ? "" : "\\") << key.path << "]\n";
        for (const auto& v : key.values) putValue(out, v);
    }
    return out.str();
}

}  // namespace plat::hive
