#include "oauth/oauth_presets.h"

#include <cctype>

namespace config {
namespace {

constexpr OAuthPreset kPresets[] = {
    {"google", "https://accounts.google.com/o/oauth2/v2/auth", "https://oauth2.googleapis.com/token",
     "https://mail.google.com/"},
    // offline_access is what makes the token endpoint hand out a refresh token.
    {"microsoft", "https://login.microsoftonline.com/common/oauth2/v2.0/authorize",
     "https://login.microsoftonline.com/common/oauth2/v2.0/token",
     "https://outlook.office.com/POP.AccessAsUser.All https://outlook.office.com/SMTP.Send offline_access"},
};

std::string lowered(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

const OAuthPreset* findOAuthPreset(const std::string& name) {
    for (const OAuthPreset& p : kPresets)
        if (lowered(name) == p.name) return &p;
    return nullptr;
}

std::string oauthPresetNames() {
    std::string names;
    for (const OAuthPreset& p : kPresets) names += (names.empty() ? "" : " ") + std::string(p.name);
    return names;
}

}  // namespace config
