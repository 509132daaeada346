#include "oauth/oauth_settings.h"

#include "platform/registry.h"
#include "log/debug.h"
#include "secrets/secret_settings.h"
#include "config/settings_keys.h"

using plat::RegKey;
using plat::RegStatus;

namespace config {
namespace {

bool openTarget(const std::string& target, plat::KeyAccess access, RegKey& key) {
    // An account key is opened, never made: a sign-in for a title that does not exist is refused.
    if (access != plat::KeyAccess::Read)
        access = target == kOutgoingTarget ? plat::KeyAccess::Create : plat::KeyAccess::Write;
    return plat::regOpenKey(plat::Hive::CurrentUser, oauthKeyPath(target), access, key) == RegStatus::Ok;
}

// Strings are read whole: refresh tokens of some providers pass 1000 bytes.
std::string readLong(const RegKey& key, const char* name) {
    return readLongString(key, name);
}

std::uint32_t authOf(const RegKey& key, const std::string& target) {
    std::uint32_t value = kAuthPassword;
    if (plat::regQueryDword(key, kAuthValue, value) != RegStatus::Ok) return kAuthPassword;
    if (value == kAuthPassword || value == kAuthOAuth) return value;
    std::string text = "unknown sign-in kind \"auth\"=" + std::to_string(value) + " for " + target +
                       ": the password is used";
    DebugLine(LOG_APP, LOG_HIGH, text.c_str());
    return kAuthPassword;
}

}  // namespace

std::string oauthKeyPath(const std::string& target) {
    return targetKeyPath(target);
}

OAuthSettings readOAuthSettings(const std::string& target) {
    OAuthSettings out;
    RegKey key;
    if (!openTarget(target, plat::KeyAccess::Read, key)) return out;
    out.auth = authOf(key, target);
    out.authUrl = readLong(key, kOAuthAuthUrl);
    out.tokenUrl = readLong(key, kOAuthTokenUrl);
    out.clientId = readLong(key, kOAuthClientId);
    out.clientSecret = readLong(key, kOAuthClientSecret);
    out.scope = readLong(key, kOAuthScope);
    out.refreshToken = readLong(key, kOAuthRefresh);
    std::uint32_t inStore = 0;
    out.secretStore = plat::regQueryDword(key, kSecretStoreValue, inStore) == RegStatus::Ok && inStore == 1;
    return out;
}

std::uint32_t readAuthMode(const std::string& target) {
    RegKey key;
    return openTarget(target, plat::KeyAccess::Read, key) ? authOf(key, target) : kAuthPassword;
}

bool writeOAuthSettings(const std::string& target, const OAuthSettings& s) {
    RegKey key;
    if (!openTarget(target, plat::KeyAccess::Write, key)) return false;
    return plat::regSetDword(key, kAuthValue, s.auth) == RegStatus::Ok &&
           plat::regSetString(key, kOAuthAuthUrl, s.authUrl) == RegStatus::Ok &&
           plat::regSetString(key, kOAuthTokenUrl, s.tokenUrl) == RegStatus::Ok &&
           plat::regSetString(key, kOAuthClientId, s.clientId) == RegStatus::Ok &&
           plat::regSetString(key, kOAuthClientSecret, s.clientSecret) == RegStatus::Ok &&
           plat::regSetString(key, kOAuthScope, s.scope) == RegStatus::Ok;
}

bool writeRefreshToken(const std::string& target, const std::string& token) {
    RegKey key;
    return openTarget(target, plat::KeyAccess::Write, key) &&
           plat::regSetString(key, kOAuthRefresh, token) == RegStatus::Ok;
}

}  // namespace config
