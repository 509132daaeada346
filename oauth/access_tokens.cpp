#include "oauth/access_tokens.h"

#include "oauth/form_encoding.h"
#include "oauth/token_reply.h"
#include "platform/clock.h"
#include "platform/http_post.h"
#include "log/debug.h"

#include <algorithm>
#include <map>

namespace oauth {
namespace {

struct HeldToken {
    std::string token;
    long long renewAt = 0;  // a little before it expires: it could expire on the way
};

std::map<std::string, HeldToken>& heldTokens() {
    static std::map<std::string, HeldToken> tokens;
    return tokens;
}

constexpr long kUsualLifetime = 3600;
constexpr long kMargin = 60;

void logHigh(const std::string& text) {
    DebugLine(LOG_MAIL, LOG_HIGH, text.c_str());
}

// The part of a reply the log may show: the error code only, cut short, printable.
std::string shownError(const std::string& error) {
    std::string out;
    for (char c : error.substr(0, 64)) out += (c > 0x20 && c < 0x7f) ? c : '?';
    return out;
}

}  // namespace

std::string currentAccessToken(const std::string& target) {
    auto it = heldTokens().find(target);
    if (it == heldTokens().end() || it->second.renewAt <= plat::unixTime()) return {};
    return it->second.token;
}

void forgetAccessToken(const std::string& target) {
    heldTokens().erase(target);
}

void keepAccessToken(const std::string& target, const std::string& token, long expiresIn) {
    long lifetime = expiresIn > 0 ? expiresIn : kUsualLifetime;
    // Short lifetimes keep most of their time: a quarter of it, at most a minute, is the margin.
    heldTokens()[target] = {token, plat::unixTime() + lifetime - std::min(kMargin, lifetime / 4)};
}

TokenRenewal::~TokenRenewal() {
    if (request_) plat::cancelHttpRequest(request_);
}

void TokenRenewal::start(const std::string& target, const config::OAuthSettings& settings, const std::string& caFile,
                         Done done) {
    if (request_) plat::cancelHttpRequest(request_);
    request_ = 0;
    target_ = target;
    done_ = std::move(done);
    config::SecretSource source{target, plat::SecretKind::Refresh, settings.refreshToken, settings.secretStore};
    std::string refreshToken;
    if (secret_.start(source, refreshToken,
                      [this, settings, caFile](bool ok, plat::SecretStatus status, const std::string& stored) {
                          if (ok || status == plat::SecretStatus::NotFound) {
                              post(settings, stored, caFile);
                          } else {
                              finish(RenewOutcome::Failed);
                          }
                      }))
        post(settings, refreshToken, caFile);
}

void TokenRenewal::post(const config::OAuthSettings& settings, const std::string& refreshToken,
                        const std::string& caFile) {
    if (refreshToken.empty()) {
        // Never signed in, or the token was removed: only a new sign-in helps. Answered after
        // the caller's turn, as a request would be.
        request_ = plat::httpPostForm("", "", "", 0, [this](const plat::HttpReply&) {
            logHigh("sign-in for " + target_ + " expired: sign in again");
            finish(RenewOutcome::SignInExpired);
        });
        return;
    }
    std::map<std::string, std::string> form{
        {"grant_type", "refresh_token"}, {"refresh_token", refreshToken}, {"client_id", settings.clientId}};
    if (!settings.clientSecret.empty()) form["client_secret"] = settings.clientSecret;
    request_ = plat::httpPostForm(settings.tokenUrl, formEncode(form), caFile, kTokenRequestLimitMs,
                                  [this](const plat::HttpReply& reply) {
                                      if (!reply.completed) {
                                          logHigh("token renewal for " + target_ + " failed: " + reply.failure);
                                          finish(RenewOutcome::Failed);
                                          return;
                                      }
                                      std::optional<TokenReply> parsed = parseTokenReply(reply.body);
                                      if (parsed && reply.status == 200 && !parsed->accessToken.empty()) {
                                          keepAccessToken(target_, parsed->accessToken, parsed->expiresIn);
                                          if (!parsed->refreshToken.empty())
                                              keepRefreshToken(target_, parsed->refreshToken);
                                          finish(RenewOutcome::Renewed);
                                          return;
                                      }
                                      // RFC 6749 5.2: a refresh token that is invalid, expired or revoked is invalid_grant.
                                      if (parsed && parsed->error == "invalid_grant") {
                                          logHigh("sign-in for " + target_ + " expired: sign in again");
                                          finish(RenewOutcome::SignInExpired);
                                          return;
                                      }
                                      std::string why = "HTTP " + std::to_string(reply.status);
                                      if (parsed && !parsed->error.empty()) why += " " + shownError(parsed->error);
                                      logHigh("token renewal for " + target_ + " failed: " + why);
                                      finish(RenewOutcome::Failed);
                                  });
}

void TokenRenewal::finish(RenewOutcome outcome) {
    request_ = 0;
    Done done = std::move(done_);
    if (done) done(outcome);
}

}  // namespace oauth
