#include "platform/hive_tree.h"

namespace plat::hive {

std::string fold(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && fold(a) == fold(b);
}

bool validName(std::string_view s) {
    return s.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

bool splitPath(std::string_view path, std::vector<std::string>& parts) {
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('\\', start);
        if (end == std::string_view::npos) end = path.size();
        std::string_view part = path.substr(start, end - start);
        if (!part.empty()) {
            if (!validName(part) || parts.size() >= kMaxDepth) return false;
            parts.emplace_back(part);
        }
        start = end + 1;
    }
    return true;
}

std::string joinPath(const std::vector<std::string>& parts) {
    std::string out;
    for (const auto& p : parts) {
        if (!out.empty()) out += '\\';
        out += p;
    }
    return out;
}

Node* Node::sub(std::string_view n) const {
    auto it = subs.find(fold(n));
    return it == subs.end() ? nullptr : it->second.get();
}

Node& Node::ensure(const std::string& n, bool& created) {
    auto& slot = subs[fold(n)];
    if (!slot) {
        slot = std::make_unique<Node>();
        slot->name = n;
        created = true;
    }
    return *slot;
}

Value* Node::value(std::string_view n) {
    for (auto& v : values)
        if (sameName(v.name, n)) return &v;
    return nullptr;
}

Node* findPath(const Node& root, const std::vector<std::string>& parts, std::size_t count) {
    Node* n = const_cast<Node*>(&root);
    for (std::size_t i = 0; i < count && n; ++i) n = n->sub(parts[i]);
    return n;
}

Node* findPath(const Node& root, const std::vector<std::string>& parts) {
    return findPath(root, parts, parts.size());
}

std::string dwordBytes(std::uint32_t v) {
    std::string b(4, '\0');
    for (int i = 0; i < 4; ++i) b[i] = static_cast<char>((v >> (8 * i)) & 0xff);
    return b;
}

std::uint32_t dwordOf(const std::string& b) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[i]);
    return v;
}

std::string cutAtNul(std::string s) {
    std::size_t nul = s.find('\0');
    if (nul != std::string::npos) s.resize(nul);
    return s;
}

}  // namespace plat::hive
