#include "oauth/form_encoding.h"

#include <cctype>

namespace oauth {
namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string decode(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '+') {
            out += ' ';
        } else if (c == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 && hexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace

std::string formEncode(const std::map<std::string, std::string>& fields) {
    auto encode = [](const std::string& text) {
        static constexpr char kHex[] = "0123456789ABCDEF";
        std::string out;
        for (unsigned char c : text) {
            if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
                out += static_cast<char>(c);
            } else {
                out += '%';
                out += kHex[c >> 4];
                out += kHex[c & 15];
            }
        }
        return out;
    };
    std::string body;
    for (const auto& [name, value] : fields) {
        if (!body.empty()) body += '&';
        body += encode(name) + "=" + encode(value);
    }
    return body;
}

std::map<std::string, std::string> formDecode(const std::string& query) {
    std::map<std::string, std::string> fields;
    std::size_t from = 0;
    while (from <= query.size()) {
        std::size_t end = query.find('&', from);
        if (end == std::string::npos) end = query.size();
        std::string pair = query.substr(from, end - from);
        if (!pair.empty()) {
            std::size_t eq = pair.find('=');
            std::string name = decode(pair.substr(0, eq));
            std::string value = eq == std::string::npos ? std::string() : decode(pair.substr(eq + 1));
            fields.emplace(name, value);
        }
        from = end + 1;
    }
    return fields;
}

}  // namespace oauth
