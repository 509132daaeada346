// How the engine signs in to a provider: with the password (as always) or with OAuth 2.0. The
// same values sit in each account's key and, for the outgoing host, in the settings key:
//
//   "auth"               dword: 0 password, 1 OAuth 2.0
//   "oauthauthurl"       the provider's authorization endpoint (used by trawlexctl authorize)
//   "oauthtokenurl"      its token endpoint
//   "oauthclientid"      the client id the user registered with the provider
//   "oauthclientsecret"  its secret; empty for a public client
//   "oauthscope"         the scopes asked for, separated by blanks
//   "oauthrefresh"       the refresh token the sign-in got (user.reg is mode 0600)
//
// Strings are read whole, however long (refresh tokens of some providers pass 1000 bytes).
#pragma once

#include <cstdint>
#include <string>

namespace config {

inline constexpr char kOutgoingTarget[] = "outgoing";

inline constexpr std::uint32_t kAuthPassword = 0;
inline constexpr std::uint32_t kAuthOAuth = 1;

inline constexpr char kAuthValue[] = "auth";
inline constexpr char kOAuthAuthUrl[] = "oauthauthurl";
inline constexpr char kOAuthTokenUrl[] = "oauthtokenurl";
inline constexpr char kOAuthClientId[] = "oauthclientid";
inline constexpr char kOAuthClientSecret[] = "oauthclientsecret";
inline constexpr char kOAuthScope[] = "oauthscope";
inline constexpr char kOAuthRefresh[] = "oauthrefresh";

struct OAuthSettings {
    std::uint32_t auth = kAuthPassword;
    std::string authUrl;
    std::string tokenUrl;
    std::string clientId;
    std::string clientSecret;
    std::string scope;
    std::string refreshToken;  // as user.reg holds it
    bool secretStore = false;  // "secretstore": an empty refreshToken is in the secret store
};

// The key that holds target's values: the settings key for "outgoing", else the account key
// of that title.
std::string oauthKeyPath(const std::string& target);

// Reads target's values; absent ones read as empty and "auth" as 0. An "auth" other than 0 or
// 1 reads as 0, with a HIGH line naming target.
OAuthSettings readOAuthSettings(const std::string& target);
// Just "auth", read as readOAuthSettings reads it.
std::uint32_t readAuthMode(const std::string& target);

// Writers; false when nothing was stored (an account that does not exist is never created).
bool writeOAuthSettings(const std::string& target, const OAuthSettings& settings);
bool writeRefreshToken(const std::string& target, const std::string& token);

}  // namespace config
