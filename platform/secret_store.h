// The desktop's secret store (the Secret Service on the session bus, through libsecret).
//
// A secret is found by three attributes: application "tarnwick", account (an account's title,
// or "outgoing" for the outgoing host) and kind ("password", "refresh", "localpass"). Items a
// user makes with another tool under the same attributes are found too.
//
// Every call is bounded in time. The store's calls run on worker threads of this module, so
// that a slow or hung store never holds the caller's loop: the blocking calls below wait for
// them at most their limit; the later calls answer through the loop (the engine's or the front
// end's), once. A call the store never answers holds its worker, and the next request gets a
// fresh one; while a few calls hang at once, further requests are refused at once (Failed,
// why says so) until one of them returns. A locked collection is never unlocked from here (that would put a prompt
// on the desktop for a background program): it is reported as Locked.
#pragma once

#include <functional>
#include <string>

namespace plat {

enum class SecretKind { Password, Refresh, LocalPass };
// The attribute's text: "password", "refresh" or "localpass".
const char* secretKindName(SecretKind kind);

enum class SecretStatus {
    Ok,  // done; for a look-up, secret holds it
    NotFound,  // the store holds no such secret
    Locked,  // the collection is locked
    Unavailable,  // no Secret Service answers on the session bus
    TimedOut,  // no answer within the limit
    Failed,  // the service refused; why says how
};

struct SecretAnswer {
    SecretStatus status = SecretStatus::Failed;
    std::string secret;
    std::string why;  // for the log: never holds a secret
};

// How long a call may take, in milliseconds: 10 s, or TRAWLEX_SECRET_LIMIT_MS (100 to 600000;
// for tests).
int secretLimitMs();

// Blocking calls, for programs without a loop to keep turning (trawlexctl) and for short
// waits; each returns within limitMs (0: secretLimitMs()).
SecretAnswer lookupSecret(const std::string& account, SecretKind kind, int limitMs = 0);
// Stores (or replaces) the secret in the default collection. label: what the desktop shows.
SecretAnswer storeSecret(const std::string& account, SecretKind kind, const std::string& secret,
                         const std::string& label, int limitMs = 0);
// Removes it; Ok also when there was none.
SecretAnswer clearSecret(const std::string& account, SecretKind kind, int limitMs = 0);
// Ok when a Secret Service answers and its default collection is there and unlocked.
SecretAnswer secretStoreReady(int limitMs = 0);

// Calls that never block the loop: done runs later from the loop, exactly once, unless the
// request is cancelled first. Answer the request's id (never 0).
using SecretDone = std::function<void(const SecretAnswer&)>;
int lookupSecretLater(const std::string& account, SecretKind kind, SecretDone done);
int storeSecretLater(const std::string& account, SecretKind kind, const std::string& secret, const std::string& label,
                     SecretDone done);
// Drops a request; its done will not run. Unknown ids are ignored.
void cancelSecretRequest(int id);

// The text of a status, for log lines: "the secret store is locked", ...
std::string secretStatusText(const SecretAnswer& answer);

}  // namespace plat
