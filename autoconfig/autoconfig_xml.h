// The mail settings file a domain publishes for mail programs (config-v1.1.xml: clientConfig,
// emailProvider, incomingServer, outgoingServer), read strictly with libxml2: elements,
// attributes, text, character references, comments, CDATA sections and processing
// instructions; refused are document type declarations (so no entities can be defined or
// fetched), any text that is not well-formed, and anything beyond the bounds below.
#pragma once

#include "autoconfig/mail_settings.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace autoconfig {

struct XmlElement {
    std::string name;
    std::vector<std::pair<std::string, std::string>> attributes;
    std::string text;  // the element's own character data, its children's left out
    std::vector<XmlElement> children;

    // The attribute's value, or empty.
    std::string attribute(std::string_view key) const;
};

struct XmlLimits {
    std::size_t maxBytes = 64 * 1024;
    int maxDepth = 16;
    std::size_t maxElements = 2000;
    std::size_t maxAttributes = 16;  // per element
    std::size_t maxNameLength = 64;
};

// The document's root element; false with why (naming the line) on any fault.
bool parseXml(std::string_view text, XmlElement& root, std::string& why, const XmlLimits& limits = {});

// The servers of a settings file, with the user names filled in for address. Only POP3, IMAP
// and SMTP servers with a host name, a port and TLS or STARTTLS are kept (a server without
// encryption, or with values that cannot be used, is left out: skipped says which and why).
// False with why when the file cannot be read or names no usable server.
bool parseAutoconfig(std::string_view text, const MailAddress& address, ProviderSettings& out, std::string& why,
                     std::vector<std::string>* skipped = nullptr);

}  // namespace autoconfig
