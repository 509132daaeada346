#include "tools/ctl_authorize.h"

#include "net/base64.h"
#include "oauth/access_tokens.h"
#include "oauth/form_encoding.h"
#include "oauth/token_reply.h"
#include "platform/clock.h"
#include "platform/digest.h"
#include "platform/event_loop.h"
#include "platform/http_post.h"
#include "platform/loopback_redirect.h"
#include "platform/secret_store.h"
#include "platform/spawn.h"
#include "oauth/oauth_presets.h"
#include "oauth/oauth_settings.h"
#include "config/settings.h"
#include "secrets/secret_moves.h"

#include <cstdio>
#include <cstdlib>
#include <optional>

namespace {

constexpr int kExitTimedOut = 2;
constexpr int kExitSignInFailed = 4;
constexpr int kExitUsage = 64;

struct Request {
    std::string target;
    std::string preset;
    std::optional<std::string> clientId;
    std::optional<std::string> clientSecret;
    // Endpoints a provider's settings file named, for a provider no preset knows.
    std::optional<std::string> authUrl;
    std::optional<std::string> tokenUrl;
    std::optional<std::string> scope;
    int timeoutSeconds = 300;
    // Hand the tokens to the program that started this one instead of storing them: the
    // wizard signs a new account in before the account exists.
    bool printTokens = false;
};

bool parse(const std::vector<std::string>& args, Request& out) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        bool hasValue = i + 1 < args.size();
        if (a == "--preset" && hasValue) {
            out.preset = args[++i];
        } else if (a == "--client-id" && hasValue) {
            out.clientId = args[++i];
        } else if (a == "--client-secret" && hasValue) {
            out.clientSecret = args[++i];
        } else if (a == "--auth-url" && hasValue) {
            out.authUrl = args[++i];
        } else if (a == "--token-url" && hasValue) {
            out.tokenUrl = args[++i];
        } else if (a == "--scope" && hasValue) {
            out.scope = args[++i];
        } else if (a == "--print-tokens") {
            out.printTokens = true;
        } else if (a == "--timeout" && hasValue) {
            char* end = nullptr;
            long seconds = std::strtol(args[++i].c_str(), &end, 10);
            if (*end != '\0' || seconds <= 0 || seconds > 86400) return false;
            out.timeoutSeconds = static_cast<int>(seconds);
        } else if (out.target.empty() && !a.empty() && a[0] != '-') {
            out.target = a;
        } else {
            return false;
        }
    }
    return !out.target.empty() || out.printTokens;
}

// Opens address with the first program of $BROWSER (a list separated by ":"), if any.
void openBrowser(const std::string& address) {
    const char* browser = std::getenv("BROWSER");
    if (!browser || !*browser) return;
    std::string first = std::string(browser).substr(0, std::string(browser).find(':'));
    std::vector<std::string> words;
    if (!plat::splitCommandLine(first, words) || words.empty()) return;
    std::string path = plat::findOnPath(words[0]);
    if (path.empty()) {
        std::fprintf(stderr, "trawlexctl: BROWSER names no program: %s\n", words[0].c_str());
        return;
    }
    words.push_back(address);
    if (int err = plat::spawnDetached(path, words))
        std::fprintf(stderr, "trawlexctl: %s could not be started (errno %d)\n", words[0].c_str(), err);
}

// Posts the code to the token endpoint and runs the loop until the answer is in or the time is up.
std::optional<plat::HttpReply> exchangeCode(const config::OAuthSettings& s, const std::string& code,
                                            const std::string& redirect, const std::string& verifier) {
    std::map<std::string, std::string> form{{"grant_type", "authorization_code"},
                                            {"code", code},
                                            {"redirect_uri", redirect},
                                            {"client_id", s.clientId},
                                            {"code_verifier", verifier}};
    if (!s.clientSecret.empty()) form["client_secret"] = s.clientSecret;
    std::optional<plat::HttpReply> answer;
    plat::httpPostForm(s.tokenUrl, oauth::formEncode(form), config::readSetting(config::kCaFile),
                       oauth::kTokenRequestLimitMs, [&answer](const plat::HttpReply& reply) { answer = reply; });
    long long deadline = plat::monotonicMs() + oauth::kTokenRequestLimitMs + 5000;
    while (!answer && plat::monotonicMs() < deadline) plat::pumpMessages(100);
    return answer;
}

int fail(const std::string& why) {
    std::fprintf(stderr, "trawlexctl: %s\n", why.c_str());
    return kExitSignInFailed;
}

// Stores the refresh token as a typed secret is stored: in the secret store when target's
// secrets are kept there, or when a store is ready (target's other secrets then move there too);
// in user.reg otherwise, or when the store refuses it (logged).
bool keepRefreshToken(const std::string& target, const std::string& token) {
    if (config::writeSecretFromEditing(target, plat::SecretKind::Refresh, token)) return true;
    fail("the sign-in could not be stored in the registry");
    return false;
}

}  // namespace

const char kAuthorizeUsage[] =
    "usage: trawlexctl authorize ACCOUNT|outgoing [--preset NAME] [--client-id ID]\n"
    "                            [--client-secret SECRET] [--timeout SECONDS]\n"
    "       trawlexctl authorize --print-tokens [NAME] [--preset NAME] [--client-id ID] ...\n"
    "  (without a preset: --auth-url URL --token-url URL [--scope SCOPE])\n";

int runAuthorize(const std::vector<std::string>& args) {
    Request request;
    if (!parse(args, request)) {
        std::fputs(kAuthorizeUsage, stderr);
        return kExitUsage;
    }
    const std::string& target = request.target;
    bool stored = target == config::kOutgoingTarget || (!target.empty() && config::accountExists(target));
    if (!stored && !request.printTokens) {
        std::fprintf(stderr, "trawlexctl: no account titled '%s'\n", target.c_str());
        return kExitUsage;
    }
    // Printing the tokens, a target not stored yet starts from nothing but what is given.
    config::OAuthSettings s = stored ? config::readOAuthSettings(target) : config::OAuthSettings{};
    std::string named = target.empty() ? "the new account" : target;
    if (!request.preset.empty()) {
        const config::OAuthPreset* preset = config::findOAuthPreset(request.preset);
        if (!preset) {
            std::fprintf(stderr, "trawlexctl: no preset '%s' (known: %s)\n", request.preset.c_str(),
                         config::oauthPresetNames().c_str());
            return kExitUsage;
        }
        s.authUrl = preset->authUrl;
        s.tokenUrl = preset->tokenUrl;
        s.scope = preset->scope;
    }
    if (request.authUrl) s.authUrl = *request.authUrl;
    if (request.tokenUrl) s.tokenUrl = *request.tokenUrl;
    if (request.scope) s.scope = *request.scope;
    if (request.clientId) s.clientId = *request.clientId;
    if (request.clientSecret) s.clientSecret = *request.clientSecret;
    for (auto [value, name] : {std::pair{&s.authUrl, config::kOAuthAuthUrl},
                               {&s.tokenUrl, config::kOAuthTokenUrl},
                               {&s.clientId, config::kOAuthClientId}}) {
        if (value->empty()) {
            std::fprintf(stderr, "trawlexctl: \"%s\" of %s is empty: give --preset or --client-id, or set it\n", name,
                         named.c_str());
            return kExitUsage;
        }
    }
    std::string why;
    if (!plat::httpUrlAllowed(s.tokenUrl, why)) return fail("token endpoint " + s.tokenUrl + ": " + why);
    if (!plat::httpUrlAllowed(s.authUrl, why)) return fail("sign-in page " + s.authUrl + ": " + why);

    // The proof key: the verifier stays here, the provider sees only its digest.
    std::string verifier = base64UrlEncode(plat::randomBytes(32));
    std::string state = base64UrlEncode(plat::randomBytes(16));
    if (verifier.size() < 43 || state.empty()) return fail("no random numbers for the sign-in");

    plat::LoopbackRedirect listener;
    if (!listener.listen(why)) return fail("cannot listen on 127.0.0.1: " + why);
    std::string redirect = "http://127.0.0.1:" + std::to_string(listener.port()) + "/";
    std::map<std::string, std::string> query{{"response_type", "code"},
                                             {"client_id", s.clientId},
                                             {"redirect_uri", redirect},
                                             {"state", state},
                                             {"code_challenge", base64UrlEncode(plat::sha256(verifier))},
                                             {"code_challenge_method", "S256"},
                                             // Providers that hand out refresh tokens only on request.
                                             {"access_type", "offline"}};
    if (!s.scope.empty()) query["scope"] = s.scope;
    std::string address = s.authUrl + (s.authUrl.find('?') == std::string::npos ? "?" : "&") + oauth::formEncode(query);
    std::printf("To sign in %s, open this address in a browser:\n\n%s\n\n", named.c_str(), address.c_str());
    std::printf("Waiting for the answer on %s (at most %d seconds)...\n", redirect.c_str(), request.timeoutSeconds);
    std::fflush(stdout);
    openBrowser(address);

    std::string answer = listener.awaitQuery(request.timeoutSeconds * 1000,
                                             "<!DOCTYPE html><title>Tarnwick</title><p>Tarnwick has your answer. "
                                             "You may close this window.</p>");
    if (answer.empty()) {
        std::fprintf(stderr, "trawlexctl: no answer from the browser in %d seconds\n", request.timeoutSeconds);
        return kExitTimedOut;
    }
    std::map<std::string, std::string> fields = oauth::formDecode(answer);
    if (fields["state"] != state) return fail("the answer does not belong to this sign-in (state differs): ignored");
    if (!fields["error"].empty()) return fail("the provider refused the sign-in: " + fields["error"]);
    if (fields["code"].empty()) return fail("the answer holds no code");

    std::optional<plat::HttpReply> reply = exchangeCode(s, fields["code"], redirect, verifier);
    if (!reply) return fail("the token endpoint did not answer in time");
    if (!reply->completed) return fail("token request failed: " + reply->failure);
    std::optional<oauth::TokenReply> tokens = oauth::parseTokenReply(reply->body);
    if (!tokens || reply->status != 200) {
        std::string error = tokens && !tokens->error.empty() ? " " + tokens->error : "";
        return fail("the token endpoint refused the code: HTTP " + std::to_string(reply->status) + error);
    }
    if (tokens->refreshToken.empty())
        return fail("the provider gave no refresh token (ask for offline access in the scope)");
    if (request.printTokens) {
        // One line each: a token is printable text, nothing that could start a line of its own.
        for (const std::string* t : {&tokens->refreshToken, &tokens->accessToken})
            for (char c : *t)
                if (static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) >= 0x7f)
                    return fail("the token endpoint answered with a token that is not printable text");
        std::printf("refresh_token=%s\naccess_token=%s\nexpires_in=%ld\n", tokens->refreshToken.c_str(),
                    tokens->accessToken.c_str(), tokens->expiresIn);
        return 0;
    }
    s.auth = config::kAuthOAuth;
    if (!config::writeOAuthSettings(target, s)) return fail("the sign-in could not be stored in the registry");
    if (!keepRefreshToken(target, tokens->refreshToken)) return kExitSignInFailed;
    std::printf("Signed in: %s uses OAuth 2.0 from now on.\n", target.c_str());
    return 0;
}
