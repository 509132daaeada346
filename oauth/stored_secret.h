// The engine's reading and writing of a sign-in target's secrets where they live: user.reg,
// or the desktop's secret store when the target's "secretstore" is 1. The store is asked
// inside the loop, without blocking it, and bounded in time (platform/secret_store.h).
#pragma once

#include "platform/secret_store.h"
#include "secrets/secret_settings.h"

#include <functional>
#include <string>

namespace oauth {

// One read. Destroying it drops a look-up still running; done is then never called.
class SecretRead {
public:
    // ok false: the secret could not be had; a HIGH line naming the target said why.
    using Done = std::function<void(bool ok, plat::SecretStatus status, const std::string& secret)>;
    SecretRead() = default;
    ~SecretRead();
    SecretRead(const SecretRead&) = delete;
    SecretRead& operator=(const SecretRead&) = delete;

    // True when the registry settles it: secret is then set and done is not called. Otherwise
    // the store is asked and done runs later from the loop, once.
    bool start(const config::SecretSource& source, std::string& secret, Done done);
    bool running() const { return request_ != 0; }

private:
    int request_ = 0;
};

// Keeps a new refresh token where target's secrets live. A store that cannot take it is
// logged (MAIL, HIGH); the old token then stays, which the provider may still accept.
void keepRefreshToken(const std::string& target, const std::string& token);

}  // namespace oauth
