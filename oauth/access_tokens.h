// The access tokens of OAuth 2.0 sign-ins, and their renewal with the refresh token.
//
// Access tokens live in the engine's memory only, one per target (an account's title, or
// "outgoing" for the outgoing host), until they expire or a server refuses them. A renewal
// asks the provider's token endpoint for a new one (the refresh grant), inside the loop,
// bounded in time. A new refresh token the provider hands out replaces the stored one.
// Neither token ever reaches the log.
#pragma once

#include "oauth/stored_secret.h"
#include "oauth/oauth_settings.h"

#include <functional>
#include <string>

namespace oauth {

// The token of target while it is good for a while yet (a minute, or a quarter of a shorter
// lifetime), or empty.
std::string currentAccessToken(const std::string& target);
// Drops target's token: the server refused it.
void forgetAccessToken(const std::string& target);
// Keeps token for expiresIn seconds (0: an hour, the usual lifetime when none is given).
void keepAccessToken(const std::string& target, const std::string& token, long expiresIn);

enum class RenewOutcome {
    Renewed,  // a new access token is kept
    SignInExpired,  // the provider refused the refresh token, or there is none: sign in again
    Failed,  // no answer, or an answer that gives no token: try again later
};

// One renewal. Destroying it drops a request still running; done is then never called.
class TokenRenewal {
public:
    using Done = std::function<void(RenewOutcome)>;
    TokenRenewal() = default;
    ~TokenRenewal();
    TokenRenewal(const TokenRenewal&) = delete;
    TokenRenewal& operator=(const TokenRenewal&) = delete;

    // Posts the refresh grant for target; done runs later from the loop, once. Each outcome but
    // Renewed is logged (MAIL, HIGH): "sign-in for TARGET expired: sign in again", or why the
    // renewal failed. A refresh token kept in the secret store is looked up first; a store that
    // cannot answer fails the renewal (Failed), one that holds none asks for a new sign-in.
    void start(const std::string& target, const config::OAuthSettings& settings, const std::string& caFile, Done done);
    bool running() const { return request_ != 0 || secret_.running(); }

private:
    void post(const config::OAuthSettings& settings, const std::string& refreshToken, const std::string& caFile);
    void finish(RenewOutcome outcome);

    int request_ = 0;
    SecretRead secret_;
    std::string target_;
    Done done_;
};

// How long a token request may take, in milliseconds.
inline constexpr int kTokenRequestLimitMs = 30000;

}  // namespace oauth
