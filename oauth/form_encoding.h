// application/x-www-form-urlencoded, as token requests are sent and as an authorization
// answer comes back in the redirect address's query.
#pragma once

#include <map>
#include <string>

namespace oauth {

// name=value pairs joined by "&", each part percent-encoded (only unreserved characters stay).
std::string formEncode(const std::map<std::string, std::string>& fields);
// The pairs of a query; "+" is a blank, %XX a byte; a malformed escape stays as it is. A name
// given twice keeps its first value.
std::map<std::string, std::string> formDecode(const std::string& query);

}  // namespace oauth
