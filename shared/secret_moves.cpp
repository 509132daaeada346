#include "secrets/secret_moves.h"

#include "log/debug.h"
#include "secrets/secret_settings.h"

#include <vector>

namespace config {
namespace {

void logHigh(const std::string& text) {
    DebugLine(LOG_APP, LOG_HIGH, text.c_str());
}

}  // namespace

bool moveSecretsToStore(const std::string& target, std::string& why) {
    std::string keyPath = targetKeyPath(target);
    std::vector<std::string> moved;
    for (plat::SecretKind kind : secretKinds(target)) {
        std::string name = secretValueName(target, kind);
        std::string value = readSecretValue(keyPath, name);
        if (value.empty()) continue;
        plat::SecretAnswer stored = plat::storeSecret(target, kind, value, secretLabel(target, kind));
        // Read back before the registry's copy goes: a store that took it must also give it.
        plat::SecretAnswer back = stored.status == plat::SecretStatus::Ok ? plat::lookupSecret(target, kind) : stored;
        if (back.status != plat::SecretStatus::Ok || back.secret != value) {
            why = secretDescription(target, kind) + " not taken: " +
                  (back.status == plat::SecretStatus::Ok ? "the secret store gave another back"
                                                         : plat::secretStatusText(back));
            return false;
        }
        moved.push_back(name);
    }
    // The mark first: should the process end half-way, a value still in user.reg is used
    // before the store's, and the next move takes it again.
    if (!writeSecretsInStore(keyPath, true)) {
        why = "user.reg could not be written";
        return false;
    }
    for (const std::string& name : moved) {
        if (!writeSecretValue(keyPath, name, "")) {
            why = "\"" + name + "\" could not be emptied in user.reg";
            return false;
        }
    }
    return true;
}

std::string readSecretForEditing(const std::string& target, plat::SecretKind kind) {
    SecretSource source = secretSource(target, kind);
    if (!source.needsStore()) return source.registryValue;
    plat::SecretAnswer answer = plat::lookupSecret(target, kind);
    if (answer.status == plat::SecretStatus::Ok) return answer.secret;
    if (answer.status != plat::SecretStatus::NotFound)
        logHigh(secretDescription(target, kind) + " not available: " + plat::secretStatusText(answer));
    return {};
}

bool writeSecretFromEditing(const std::string& target, plat::SecretKind kind, const std::string& value) {
    std::string keyPath = targetKeyPath(target);
    std::string name = secretValueName(target, kind);
    if (name.empty()) return false;
    bool inStore = secretsInStore(keyPath);
    if (!inStore && !value.empty() && plat::secretStoreReady().status == plat::SecretStatus::Ok) {
        std::string why;
        inStore = moveSecretsToStore(target, why);
        if (!inStore) logHigh(target + ": secrets stay in user.reg: " + why);
    }
    if (!inStore) return writeSecretValue(keyPath, name, value);
    if (value.empty()) return true;
    plat::SecretAnswer stored = plat::storeSecret(target, kind, value, secretLabel(target, kind));
    if (stored.status == plat::SecretStatus::Ok) {
        // A copy left in user.reg would be used before the store's.
        return readSecretValue(keyPath, name).empty() || writeSecretValue(keyPath, name, "");
    }
    logHigh(secretDescription(target, kind) + " kept in user.reg: " + plat::secretStatusText(stored));
    return writeSecretValue(keyPath, name, value);
}

}  // namespace config
