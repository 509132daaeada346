#include "platform/hive_text.h"

#include <cstdio>
#include <utility>
#include <vector>

namespace plat::hive {
namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && isSpace(s.back())) s.remove_suffix(1);
    return s;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && sameName(s.substr(0, prefix.size()), prefix);
}

// Reads 1 to 8 hex digits from the front of s.
bool readHexNumber(std::string_view& s, std::uint32_t& out) {
    std::size_t n = 0;
    out = 0;
    while (n < s.size() && hexDigit(s[n]) >= 0) {
        if (++n > 8) return false;
        out = (out << 4) | static_cast<std::uint32_t>(hexDigit(s[n - 1]));
    }
    s.remove_prefix(n);
    return n > 0;
}

// Reads the hive text line by line; every failure names its line.
class Parser {
public:
    Parser(std::string_view text, const char* root) : text_(text), root_(root) {}

    bool run(Node& tree) {
        if (text_.substr(0, 3) == "\xEF\xBB\xBF") text_.remove_prefix(3);
        std::string_view line;
        bool header = false;
        Node* key = nullptr;
        while (nextLine(line)) {
            line = trim(line);
            if (line.empty() || line.front() == ';') continue;
            if (!header) {
                if (line != "REGEDIT4") return fail("not a registry file (no REGEDIT4 line)");
                header = true;
            } else if (line.front() == '[') {
                if (!section(tree, line, key)) return false;
            } else if (line.front() == '"' || line.front() == '@') {
                if (!key) return fail("a value before the first [key] line");
                if (!value(*key, line)) return false;
            } else {
                return fail("a line that is neither a [key] nor a value");
            }
        }
        return true;
    }

    const std::string& error() const { return error_; }

private:
    bool nextLine(std::string_view& line) {
        if (pos_ >= text_.size()) return false;
        std::size_t end = text_.find('\n', pos_);
        if (end == std::string_view::npos) end = text_.size();
        line = text_.substr(pos_, end - pos_);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        pos_ = end + 1;
        ++lineNo_;
        return true;
    }

    bool fail(const std::string& what) {
        error_ = "line " + std::to_string(lineNo_) + ": " + what;
        return false;
    }

    bool section(Node& tree, std::string_view line, Node*& key) {
        if (line.size() < 2 || line.back() != ']') return fail("a [key] line without its ']'");
        std::string_view path = line.substr(1, line.size() - 2);
        if (!path.empty() && path.front() == '-') return fail("key deletion is not supported");
        std::size_t slash = path.find('\\');
        if (!sameName(path.substr(0, slash), root_)) return fail(std::string("a key outside ") + root_);
        std::vector<std::string> parts;
        if (slash != std::string_view::npos) {
            std::string_view rest = path.substr(slash + 1);
            if (rest.empty() || rest.back() == '\\' || rest.find("\\\\") != std::string_view::npos)
                return fail("an empty key name");
            if (!splitPath(rest, parts)) return fail("a key name holding a NUL, or more than 512 levels");
        }
        key = &tree;
        bool created = false;
        for (const auto& p : parts) key = &key->ensure(p, created);
        return true;
    }

    // A quoted name or string at the front of s, with \\ and \" as its only escapes.
    bool quoted(std::string_view& s, std::string& out) {
        for (std::size_t i = 1; i < s.size(); ++i) {
            char c = s[i];
            if (c == '"') {
                s.remove_prefix(i + 1);
                return true;
            }
            if (c == '\\') {
                if (++i == s.size() || (s[i] != '\\' && s[i] != '"'))
                    return fail("a backslash that escapes neither \\ nor \"");
                c = s[i];
            }
            out += c;
        }
        return fail("a string without its closing quote");
    }

    bool value(Node& key, std::string_view s) {
        Value v{{}, kString, {}};
        if (s.front() == '@') {
            s.remove_prefix(1);
        } else if (!quoted(s, v.name)) {
            return false;
        }
        s = trim(s);
        if (s.empty() || s.front() != '=') return fail("a value name without '='");
        s = trim(s.substr(1));
        if (!s.empty() && s.front() == '"') {
            if (!quoted(s, v.data)) return false;
            if (!trim(s).empty()) return fail("text after a string value");
            v.data = cutAtNul(std::move(v.data));
        } else if (startsWithNoCase(s, "dword:")) {
            s.remove_prefix(6);
            std::uint32_t n = 0;
            if (!readHexNumber(s, n) || !trim(s).empty()) return fail("a dword that is not 1 to 8 hex digits");
            v.type = kDword;
            v.data = dwordBytes(n);
        } else if (startsWithNoCase(s, "hex")) {
            if (!hex(s.substr(3), v)) return false;
        } else if (s == "-") {
            return fail("value deletion is not supported");
        } else {
            return fail("a value of unknown form");
        }
        if (!validName(v.name)) return fail("a value name holding a NUL");
        if (Value* old = key.value(v.name)) *old = std::move(v);
        else key.values.push_back(std::move(v));
        return true;
    }

    // hex:01,02 or hex(N):01,02, continued over lines that end in a backslash.
    bool hex(std::string_view s, Value& v) {
        v.type = kBinary;
        if (!s.empty() && s.front() == '(') {
            s.remove_prefix(1);
            if (!readHexNumber(s, v.type) || s.empty() || s.front() != ')') return fail("a bad hex(type)");
            s.remove_prefix(1);
        }
        if (s.empty() || s.front() != ':') return fail("hex without ':'");
        std::string list(s.substr(1));
        std::string_view more;
        for (std::string_view t = trim(list); !t.empty() && t.back() == '\\'; t = trim(list)) {
            list.resize(list.rfind('\\'));
            if (!nextLine(more)) return fail("a continued hex value at the end of the file");
            list += trim(more);
        }
        std::string_view rest = list;
        for (;;) {
            rest = trim(rest);
            if (rest.empty()) break;
            std::size_t n = 0;
            unsigned byte = 0;
            while (n < rest.size() && n < 3 && hexDigit(rest[n]) >= 0) byte = byte * 16 + hexDigit(rest[n++]);
            if (n == 0 || n > 2) return fail("a hex byte that is not one or two hex digits");
            v.data += static_cast<char>(byte);
            rest = trim(rest.substr(n));
            if (rest.empty()) break;
            if (rest.front() != ',') return fail("hex bytes not separated by commas");
            rest.remove_prefix(1);
        }
        if (v.type == kString) v.data = cutAtNul(std::move(v.data));
        return true;
    }

    std::string_view text_;
    const char* root_;
    std::size_t pos_ = 0;
    int lineNo_ = 0;
    std::string error_;
};

void appendQuoted(std::string& out, std::string_view s) {
    out += '"';
    for (char c : s) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    out += '"';
}

// Comma-separated bytes, wrapped like the registry editor's exports.
void appendHex(std::string& out, std::string_view bytes, std::size_t lineStart) {
    static const char digits[] = "0123456789abcdef";
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        auto b = static_cast<unsigned char>(bytes[i]);
        out += digits[b >> 4];
        out += digits[b & 15];
        if (i + 1 == bytes.size()) break;
        out += ',';
        if (out.size() - lineStart > 76) {
            out += "\\\n  ";
            lineStart = out.size() - 2;
        }
    }
}

void appendValue(std::string& out, const Value& v) {
    std::size_t lineStart = out.size();
    if (v.name.empty()) out += '@';
    else appendQuoted(out, v.name);
    out += '=';
    if (v.type == kString && v.data.find_first_of("\r\n") == std::string::npos) {
        appendQuoted(out, v.data);
    } else if (v.type == kDword && v.data.size() == 4) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "dword:%08x", static_cast<unsigned>(dwordOf(v.data)));
        out += buf;
    } else {
        // A string with line ends travels as hex(1) with its NUL, which the editor also reads.
        char buf[24];
        if (v.type == kBinary) std::snprintf(buf, sizeof buf, "hex:");
        else std::snprintf(buf, sizeof buf, "hex(%x):", static_cast<unsigned>(v.type));
        out += buf;
        appendHex(out, v.type == kString ? v.data + '\0' : v.data, lineStart);
    }
    out += '\n';
}

// A key gets a section of its own when it has values or when nothing below it implies it.
void appendKey(std::string& out, const Node& node, std::string& path, bool isRoot) {
    if (!node.values.empty() || (node.subs.empty() && !isRoot)) {
        out += '[' + path + "]\n";
        for (const auto& v : node.values) appendValue(out, v);
        out += '\n';
    }
    for (const auto& [folded, sub] : node.subs) {
        std::size_t len = path.size();
        path += '\\';
        path += sub->name;
        appendKey(out, *sub, path, false);
        path.resize(len);
    }
}

}  // namespace

bool parseHive(std::string_view text, const char* rootName, Node& tree, std::string& error) {
    Parser parser(text, rootName);
    if (parser.run(tree)) return true;
    error = parser.error();
    return false;
}

std::string formatHive(const Node& root, const char* rootName) {
    std::string out = "REGEDIT4\n\n";
    std::string path = rootName;
    appendKey(out, root, path, true);
    return out;
}

}  // namespace plat::hive
