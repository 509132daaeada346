#include "autoconfig/autoconfig_xml.h"

#include <cstdint>

namespace autoconfig {
namespace {

// A reader over the whole text; every method either advances or sets the failure.
class Reader {
public:
    Reader(std::string_view text, const XmlLimits& limits) : text_(text), limits_(limits) {}

    bool document(XmlElement& root) {
        if (text_.size() > limits_.maxBytes) return fail("longer than " + std::to_string(limits_.maxBytes) + " bytes");
        if (text_.substr(0, 3) == "\xEF\xBB\xBF") pos_ = 3;
        if (!miscellany()) return false;
        if (!startsWith("<")) return fail("no root element");
        if (!element(root, 1)) return false;
        if (!miscellany()) return false;
        if (pos_ != text_.size()) return fail("text after the root element");
        return true;
    }

    const std::string& why() const { return why_; }

private:
    bool fail(const std::string& what) {
        if (why_.empty()) why_ = what + " (at byte " + std::to_string(pos_) + ")";
        return false;
    }
    bool startsWith(std::string_view s) const { return text_.substr(pos_, s.size()) == s; }
    bool atEnd() const { return pos_ >= text_.size(); }
    static bool space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
    void skipSpace() {
        while (!atEnd() && space(text_[pos_])) ++pos_;
    }
    // Control characters other than tab and line ends are not XML.
    bool clean(std::string_view s) {
        for (char c : s) {
            unsigned char u = static_cast<unsigned char>(c);
            if ((u < 0x20 && !space(c)) || u == 0x7f) return fail("a control character");
        }
        return true;
    }

    // Whitespace, comments and processing instructions between the parts of the document.
    bool miscellany() {
        for (;;) {
            skipSpace();
            if (startsWith("<!--")) {
                if (!comment()) return false;
            } else if (startsWith("<?")) {
                if (!instruction()) return false;
            } else if (startsWith("<!")) {
                return fail("a document type declaration or other markup declaration is not taken");
            } else {
                return true;
            }
        }
    }
    bool comment() {
        std::size_t end = text_.find("-->", pos_ + 4);
        if (end == std::string_view::npos) return fail("an unterminated comment");
        if (!clean(text_.substr(pos_, end - pos_))) return false;
        pos_ = end + 3;
        return true;
    }
    bool instruction() {
        std::size_t end = text_.find("?>", pos_ + 2);
        if (end == std::string_view::npos) return fail("an unterminated processing instruction");
        if (!clean(text_.substr(pos_, end - pos_))) return false;
        pos_ = end + 2;
        return true;
    }

    static bool nameStart(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':'; }
    static bool nameChar(char c) { return nameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.'; }
    bool name(std::string& out) {
        if (atEnd() || !nameStart(text_[pos_])) return fail("a name was expected");
        std::size_t start = pos_;
        while (!atEnd() && nameChar(text_[pos_])) ++pos_;
        if (pos_ - start > limits_.maxNameLength)
            return fail("a name longer than " + std::to_string(limits_.maxNameLength));
        out.assign(text_.substr(start, pos_ - start));
        return true;
    }

    static void appendUtf8(std::string& out, std::uint32_t cp) {
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }

    // A reference at pos_ ("&amp;", "&#38;", "&#x26;"), appended to out decoded.
    bool reference(std::string& out) {
        std::size_t end = text_.find(';', pos_);
        if (end == std::string_view::npos || end - pos_ > 12) return fail("a malformed reference");
        std::string_view ref = text_.substr(pos_ + 1, end - pos_ - 1);
        if (ref == "amp") out += '&';
        else if (ref == "lt") out += '<';
        else if (ref == "gt") out += '>';
        else if (ref == "quot") out += '"';
        else if (ref == "apos") out += '\'';
        else if (ref.size() >= 2 && ref[0] == '#') {
            bool hex = ref[1] == 'x';
            std::string_view digits = ref.substr(hex ? 2 : 1);
            if (digits.empty()) return fail("a malformed character reference");
            std::uint32_t cp = 0;
            for (char c : digits) {
                int d = c >= '0' && c <= '9'          ? c - '0'
                        : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                        : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                      : -1;
                if (d < 0) return fail("a malformed character reference");
                cp = cp * (hex ? 16 : 10) + static_cast<std::uint32_t>(d);
                if (cp > 0x10FFFF) return fail("a character reference out of range");
            }
            bool allowed = cp == 0x9 || cp == 0xA || cp == 0xD ||
                           (cp >= 0x20 && cp != 0x7f && (cp < 0xD800 || cp > 0xDFFF) && cp != 0xFFFE && cp != 0xFFFF);
            if (!allowed) return fail("a character reference to a character XML does not allow");
            appendUtf8(out, cp);
        } else {
            return fail("an unknown entity '" + std::string(ref) + "'");
        }
        pos_ = end + 1;
        return true;
    }

    bool attributeValue(std::string& out) {
        if (atEnd() || (text_[pos_] != '"' && text_[pos_] != '\'')) return fail("an attribute value must be quoted");
        char quote = text_[pos_++];
        for (;;) {
            if (atEnd()) return fail("an unterminated attribute value");
            char c = text_[pos_];
            if (c == quote) {
                ++pos_;
                return true;
            }
            if (c == '<') return fail("'<' in an attribute value");
            if (c == '&') {
                if (!reference(out)) return false;
                continue;
            }
            if (!clean(text_.substr(pos_, 1))) return false;
            out += c;
            ++pos_;
        }
    }

    bool element(XmlElement& e, int depth) {
        if (depth > limits_.maxDepth) return fail("nested deeper than " + std::to_string(limits_.maxDepth));
        if (++elements_ > limits_.maxElements)
            return fail("more than " + std::to_string(limits_.maxElements) + " elements");
        ++pos_;  // '<'
        if (!name(e.name)) return false;
        for (;;) {
            std::size_t before = pos_;
            skipSpace();
            if (atEnd()) return fail("an unterminated start tag");
            if (startsWith("/>")) {
                pos_ += 2;
                return true;
            }
            if (text_[pos_] == '>') {
                ++pos_;
                break;
            }
            if (pos_ == before) return fail("a blank was expected between attributes");
            std::string key, value;
            if (!name(key)) return false;
            skipSpace();
            if (atEnd() || text_[pos_] != '=') return fail("'=' was expected after an attribute name");
            ++pos_;
            skipSpace();
            if (!attributeValue(value)) return false;
            for (const auto& a : e.attributes)
                if (a.first == key) return fail("the attribute '" + key + "' twice");
            if (e.attributes.size() >= limits_.maxAttributes) return fail("too many attributes");
            e.attributes.emplace_back(std::move(key), std::move(value));
        }
        // Content, up to the matching end tag.
        for (;;) {
            if (atEnd()) return fail("the element '" + e.name + "' is not closed");
            char c = text_[pos_];
            if (c == '<') {
                if (startsWith("</")) {
                    pos_ += 2;
                    std::string closing;
                    if (!name(closing)) return false;
                    if (closing != e.name) return fail("'" + closing + "' closes '" + e.name + "'");
                    skipSpace();
                    if (atEnd() || text_[pos_] != '>') return fail("an unterminated end tag");
                    ++pos_;
                    return true;
                }
                if (startsWith("<!--")) {
                    if (!comment()) return false;
                } else if (startsWith("<![CDATA[")) {
                    std::size_t end = text_.find("]]>", pos_ + 9);
                    if (end == std::string_view::npos) return fail("an unterminated CDATA section");
                    std::string_view data = text_.substr(pos_ + 9, end - pos_ - 9);
                    if (!clean(data)) return false;
                    e.text.append(data);
                    pos_ = end + 3;
                } else if (startsWith("<?")) {
                    if (!instruction()) return false;
                } else if (startsWith("<!")) {
                    return fail("a markup declaration inside an element");
                } else {
                    e.children.emplace_back();
                    if (!element(e.children.back(), depth + 1)) return false;
                }
            } else if (c == '&') {
                if (!reference(e.text)) return false;
            } else {
                if (c == '>' && pos_ >= 2 && text_.substr(pos_ - 2, 2) == "]]") return fail("']]>' in text");
                if (!clean(text_.substr(pos_, 1))) return false;
                e.text += c;
                ++pos_;
            }
        }
    }

    std::string_view text_;
    const XmlLimits& limits_;
    std::size_t pos_ = 0;
    std::size_t elements_ = 0;
    std::string why_;
};

std::string trimmed(const std::string& s) {
    std::size_t a = s.find_first_not_of(" \t\r\n");
    if (a == std::string::npos) return {};
    std::size_t b = s.find_last_not_of(" \t\r\n");
    return s.substr(a, b - a + 1);
}

const XmlElement* child(const XmlElement& e, std::string_view name) {
    for (const XmlElement& c : e.children)
        if (c.name == name) return &c;
    return nullptr;
}

std::string childText(const XmlElement& e, std::string_view name) {
    const XmlElement* c = child(e, name);
    return c ? trimmed(c->text) : std::string();
}

// The user name template with the address's parts put in; false for a placeholder this file
// format does not define, or a character no log-in name holds.
bool fillUser(const std::string& pattern, const MailAddress& address, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < pattern.size();) {
        if (pattern[i] == '%') {
            std::size_t end = pattern.find('%', i + 1);
            if (end == std::string::npos) return false;
            std::string key = pattern.substr(i + 1, end - i - 1);
            if (key == "EMAILADDRESS") out += address.text();
            else if (key == "EMAILLOCALPART") out += address.localPart;
            else if (key == "EMAILDOMAIN") out += address.domain;
            else return false;
            i = end + 1;
        } else {
            unsigned char c = static_cast<unsigned char>(pattern[i]);
            if (c < 0x20 || c == 0x7f) return false;
            out += pattern[i++];
        }
    }
    return !out.empty() && out.size() < 199;
}

// One server element; false with why when it is left out.
bool readServer(const XmlElement& e, Protocol protocol, const MailAddress& address, ServerSettings& out,
                std::string& why) {
    out.protocol = protocol;
    out.host = childText(e, "hostname");
    if (!plausibleHostName(out.host)) {
        why = "host name '" + out.host + "' is not usable";
        return false;
    }
    for (char& c : out.host)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    std::string port = childText(e, "port");
    unsigned long number = 0;
    if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos ||
        (number = std::stoul(port)) == 0 || number > 65535) {
        why = out.host + ": port '" + port + "' is not a port number";
        return false;
    }
    out.port = static_cast<std::uint16_t>(number);
    std::string socket = childText(e, "socketType");
    if (socket == "SSL") {
        out.security = Security::Tls;
    } else if (socket == "STARTTLS") {
        out.security = Security::StartTls;
    } else {
        why = out.host + ": socketType '" + socket + "' is not TLS or STARTTLS";
        return false;
    }
    std::string pattern = childText(e, "username");
    if (pattern.empty()) pattern = "%EMAILADDRESS%";
    if (!fillUser(pattern, address, out.user)) {
        why = out.host + ": user name '" + pattern + "' cannot be filled in";
        return false;
    }
    bool password = false, oauth = false, listed = false;
    for (const XmlElement& c : e.children) {
        if (c.name != "authentication") continue;
        listed = true;
        std::string method = trimmed(c.text);
        if (method == "password-cleartext" || method == "password-encrypted" || method == "plain") password = true;
        if (method == "OAuth2") oauth = true;
        if (method == "none" && protocol == Protocol::Smtp) password = true;  // no log-in at all
    }
    if (listed && !password && !oauth) {
        why = out.host + ": none of its log-in methods is one this program uses";
        return false;
    }
    out.oauth = oauth && !password;
    return true;
}

}  // namespace

std::string XmlElement::attribute(std::string_view key) const {
    for (const auto& a : attributes)
        if (a.first == key) return a.second;
    return {};
}

bool parseXml(std::string_view text, XmlElement& root, std::string& why, const XmlLimits& limits) {
    Reader reader(text, limits);
    root = XmlElement{};
    if (reader.document(root)) return true;
    why = reader.why();
    root = XmlElement{};
    return false;
}

bool parseAutoconfig(std::string_view text, const MailAddress& address, ProviderSettings& out, std::string& why,
                     std::vector<std::string>* skipped) {
    XmlElement root;
    if (!parseXml(text, root, why)) return false;
    if (root.name != "clientConfig") {
        why = "the root element is '" + root.name + "', not clientConfig";
        return false;
    }
    const XmlElement* provider = child(root, "emailProvider");
    if (!provider) {
        why = "no emailProvider element";
        return false;
    }
    ProviderSettings found;
    found.provider = childText(*provider, "displayName");
    if (found.provider.empty() || found.provider.size() > 100) found.provider = address.domain;
    for (const XmlElement& e : provider->children) {
        bool incoming = e.name == "incomingServer", outgoing = e.name == "outgoingServer";
        if (!incoming && !outgoing) continue;
        std::string type = e.attribute("type");
        Protocol protocol;
        if (incoming && type == "pop3") protocol = Protocol::Pop3;
        else if (incoming && type == "imap") protocol = Protocol::Imap;
        else if (outgoing && type == "smtp") protocol = Protocol::Smtp;
        else {
            if (skipped) skipped->push_back("a server of type '" + type + "'");
            continue;
        }
        ServerSettings s;
        std::string reason;
        if (!readServer(e, protocol, address, s, reason)) {
            if (skipped) skipped->push_back(reason);
            continue;
        }
        (outgoing ? found.outgoing : found.incoming).push_back(std::move(s));
    }
    if (found.incoming.empty()) {
        why = "no usable POP3 or IMAP server";
        return false;
    }
    for (const auto* list : {&found.incoming, &found.outgoing})
        for (const ServerSettings& s : *list)
            if (s.oauth) found.note = "the provider asks for OAuth 2.0 sign-in";
    out = std::move(found);
    return true;
}

}  // namespace autoconfig
