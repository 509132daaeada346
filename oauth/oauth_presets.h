// The endpoints and mail scopes of providers whose OAuth 2.0 set-up is well known. The client
// id is never among them: each user registers a client of their own with the provider.
#pragma once

#include <string>

namespace config {

struct OAuthPreset {
    const char* name;
    const char* authUrl;
    const char* tokenUrl;
    const char* scope;
};

// The preset called name (letter case ignored), or null.
const OAuthPreset* findOAuthPreset(const std::string& name);
// The names of all presets, separated by blanks (for usage texts).
std::string oauthPresetNames();

}  // namespace config
