// trawlexctl authorize: the OAuth 2.0 sign-in without a display. It prints the provider's
// sign-in address (and opens it with $BROWSER when that is set), receives the answer on a
// loopback port, exchanges the code for tokens and stores the refresh token with the
// provider's details in the account's key (or the settings key for "outgoing").
#pragma once

#include <string>
#include <vector>

// args: the words after "authorize". Answers trawlexctl's exit status.
int runAuthorize(const std::vector<std::string>& args);

extern const char kAuthorizeUsage[];
