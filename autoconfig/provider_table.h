// The settings of common mail providers, shipped with the program: found by the address's
// domain, or by the host name of the domain's mail exchanger (a domain of one's own whose
// mail a large provider hosts).
#pragma once

#include "autoconfig/mail_settings.h"

#include <string>

namespace autoconfig {

// The provider whose domains include domain (lower case), filled in for address; false when
// the table has none.
bool lookUpProviderByDomain(const MailAddress& address, ProviderSettings& out);
// The provider whose mail exchangers' names end in a suffix of the table ("aspmx.l.google.com"
// ends in ".google.com"), filled in for address; false when none matches.
bool lookUpProviderByMx(const std::string& mxHost, const MailAddress& address, ProviderSettings& out);

}  // namespace autoconfig
