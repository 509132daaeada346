#include "oauth/stored_secret.h"

#include "log/debug.h"

namespace oauth {

SecretRead::~SecretRead() {
    if (request_) plat::cancelSecretRequest(request_);
}

bool SecretRead::start(const config::SecretSource& source, std::string& secret, Done done) {
    if (request_) plat::cancelSecretRequest(request_);
    request_ = 0;
    if (!source.needsStore()) {
        secret = source.registryValue;
        return true;
    }
    std::string what = config::secretDescription(source.target, source.kind);
    request_ = plat::lookupSecretLater(
        source.target, source.kind, [this, what, done = std::move(done)](const plat::SecretAnswer& answer) {
            request_ = 0;
            if (answer.status == plat::SecretStatus::Ok) {
                done(true, answer.status, answer.secret);
                return;
            }
            std::string text = what + " not available: " + plat::secretStatusText(answer);
            DebugLine(LOG_MAIL, LOG_HIGH, text.c_str());
            done(false, answer.status, {});
        });
    return false;
}

void keepRefreshToken(const std::string& target, const std::string& token) {
    std::string keyPath = config::targetKeyPath(target);
    std::string name = config::secretValueName(target, plat::SecretKind::Refresh);
    if (!config::secretsInStore(keyPath)) {
        if (!config::writeSecretValue(keyPath, name, token)) {
            std::string text = "new refresh token for " + target + " could not be stored";
            DebugLine(LOG_MAIL, LOG_HIGH, text.c_str());
        }
        return;
    }
    plat::storeSecretLater(
        target, plat::SecretKind::Refresh, token, config::secretLabel(target, plat::SecretKind::Refresh),
        [target, keyPath, name, token](const plat::SecretAnswer& answer) {
            if (answer.status == plat::SecretStatus::Ok) {
                // An old copy in the registry would be taken before the store's.
                if (!config::readSecretValue(keyPath, name).empty()) config::writeSecretValue(keyPath, name, "");
                return;
            }
            // The provider may have retired the old token: losing the new one would end the sign-in.
            bool kept = config::writeSecretValue(keyPath, name, token);
            std::string text = "new refresh token for " + target + (kept ? " kept in user.reg: " : " lost: ") +
                               plat::secretStatusText(answer);
            DebugLine(LOG_MAIL, LOG_HIGH, text.c_str());
        });
}

}  // namespace oauth
