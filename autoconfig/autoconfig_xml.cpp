#include "autoconfig/autoconfig_xml.h"

#include <libxml/xmlreader.h>

#include <cstdint>
#include <mutex>

namespace autoconfig {
namespace {

// libxml2's text reader, walked node by node so that the bounds hold while it reads: a
// document nested past the bound is refused there, not after the library built all of it.
class Reader {
public:
    Reader(std::string_view text, const XmlLimits& limits) : text_(text), limits_(limits) {}
    ~Reader() {
        if (reader_) xmlFreeTextReader(reader_);
    }
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    bool document(XmlElement& root) {
        if (text_.size() > limits_.maxBytes) return fail("longer than " + std::to_string(limits_.maxBytes) + " bytes");
        // Entities of one's own could be defined there: never taken, not even to look at.
        if (text_.find("<!DOCTYPE") != std::string_view::npos) return fail("a document type declaration");
        if (text_.empty()) return fail("no root element");
        static std::once_flag ready;
        std::call_once(ready, [] { xmlInitParser(); });
        reader_ = xmlReaderForMemory(text_.data(), static_cast<int>(text_.size()), nullptr, nullptr,
                                     XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
        if (!reader_) return fail("the XML reader could not be made");
        xmlTextReaderSetStructuredErrorHandler(reader_, &Reader::onError, this);
        std::vector<XmlElement*> open;
        bool haveRoot = false;
        for (;;) {
            int r = xmlTextReaderRead(reader_);
            if (r == 0) break;
            if (r < 0) return fail("not well-formed");
            int depth = xmlTextReaderDepth(reader_);
            switch (xmlTextReaderNodeType(reader_)) {
            case XML_READER_TYPE_ELEMENT: {
                if (depth + 1 > limits_.maxDepth) return fail("nested deeper than " + std::to_string(limits_.maxDepth));
                if (++elements_ > limits_.maxElements)
                    return fail("more than " + std::to_string(limits_.maxElements) + " elements");
                XmlElement* e = nullptr;
                if (open.empty()) {
                    if (haveRoot) return fail("a second root element");
                    haveRoot = true;
                    e = &root;
                } else {
                    open.back()->children.emplace_back();
                    e = &open.back()->children.back();
                }
                if (!element(*e)) return false;
                if (!xmlTextReaderIsEmptyElement(reader_)) open.push_back(e);
                break;
            }
            case XML_READER_TYPE_END_ELEMENT:
                if (open.empty()) return fail("an end tag without its start");
                open.pop_back();
                break;
            case XML_READER_TYPE_TEXT:
            case XML_READER_TYPE_CDATA:
            case XML_READER_TYPE_WHITESPACE:
            case XML_READER_TYPE_SIGNIFICANT_WHITESPACE:
                if (!open.empty()) {
                    const xmlChar* value = xmlTextReaderConstValue(reader_);
                    if (value) open.back()->text += reinterpret_cast<const char*>(value);
                }
                break;
            case XML_READER_TYPE_COMMENT:
            case XML_READER_TYPE_PROCESSING_INSTRUCTION:
            case XML_READER_TYPE_XML_DECLARATION: break;
            default: return fail("a node of a kind not taken here");
            }
        }
        if (!why_.empty()) return false;
        if (!haveRoot) return fail("no root element");
        return true;
    }

    const std::string& why() const { return why_; }

private:
    bool fail(const std::string& what) {
        if (why_.empty()) {
            why_ = what;
            if (reader_) why_ += " (at line " + std::to_string(xmlTextReaderGetParserLineNumber(reader_)) + ")";
        }
        return false;
    }

    static void onError(void* self, xmlErrorPtr error) {
        auto* r = static_cast<Reader*>(self);
        if (!r->why_.empty() || !error) return;
        std::string message = error->message ? error->message : "an error";
        while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
        r->why_ = message + " (at line " + std::to_string(error->line) + ")";
    }

    bool name(const xmlChar* raw, std::string& out) {
        out = raw ? reinterpret_cast<const char*>(raw) : "";
        if (out.empty()) return fail("a nameless node");
        if (out.size() > limits_.maxNameLength)
            return fail("a name longer than " + std::to_string(limits_.maxNameLength) + " characters");
        return true;
    }

    // The element the reader stands on: its name and attributes.
    bool element(XmlElement& e) {
        if (!name(xmlTextReaderConstName(reader_), e.name)) return false;
        for (int more = xmlTextReaderMoveToFirstAttribute(reader_); more == 1;
             more = xmlTextReaderMoveToNextAttribute(reader_)) {
            if (e.attributes.size() >= limits_.maxAttributes) return fail("too many attributes");
            std::string key;
            if (!name(xmlTextReaderConstName(reader_), key)) return false;
            const xmlChar* value = xmlTextReaderConstValue(reader_);
            e.attributes.emplace_back(std::move(key), value ? reinterpret_cast<const char*>(value) : "");
        }
        xmlTextReaderMoveToElement(reader_);
        return true;
    }

    std::string_view text_;
    const XmlLimits& limits_;
    xmlTextReaderPtr reader_ = nullptr;
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

// The host of an endpoint address the sign-in may use, or empty when it may not be used:
// https, or plain http to 127.0.0.0/8 only; one line of printable ASCII; no user part, so that
// the host read here is the one connected to.
std::string endpointHost(const std::string& url) {
    if (url.size() > 2000) return {};
    for (char c : url)
        if (static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) >= 0x7f || c == '\\') return {};
    bool https = url.rfind("https://", 0) == 0;
    if (!https && url.rfind("http://", 0) != 0) return {};
    std::size_t start = https ? 8 : 7;
    std::size_t end = url.find_first_of("/?#", start);
    std::string authority = url.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (authority.find('@') != std::string::npos) return {};
    std::string host = authority.substr(0, authority.find(':'));
    if (!plausibleHostName(host)) return {};
    bool loopback = host.rfind("127.", 0) == 0 && host.find_first_not_of("0123456789.") == std::string::npos;
    return https || loopback ? host : std::string();
}

// The "oAuth2" element (beside or inside emailProvider): the endpoints, or none when either
// address is missing or not usable. Its name is the sign-in page's host: what the file calls
// its issuer may name anyone.
OAuthEndpoints readOAuth2(const XmlElement& root, const XmlElement& provider, std::vector<std::string>* skipped) {
    const XmlElement* e = child(provider, "oAuth2");
    if (!e) e = child(root, "oAuth2");
    if (!e) return {};
    OAuthEndpoints out{{}, childText(*e, "authURL"), childText(*e, "tokenURL"), childText(*e, "scope")};
    out.name = endpointHost(out.authUrl);
    if (out.name.empty() || endpointHost(out.tokenUrl).empty() || out.scope.size() > 1000) {
        if (skipped) skipped->push_back("OAuth 2.0 endpoints that are not https addresses");
        return {};
    }
    for (char& c : out.name)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
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
    found.oauthEndpoints = readOAuth2(root, *provider, skipped);
    out = std::move(found);
    return true;
}

}  // namespace autoconfig
