#include "pop3/pop_serv_uid.h"

namespace {

bool isVisible(unsigned char c) {
    return c > 0x20 && c < 0x7F;
}

std::string visibleForm(const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if (isVisible(c)) {
            out += static_cast<char>(c);
        } else {
            out += '_';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        }
    }
    return out;
}

}  // namespace

std::string uidlReplyId(const std::string& id, const std::string& fileName) {
    return visibleForm(id.empty() ? fileName : id);
}
