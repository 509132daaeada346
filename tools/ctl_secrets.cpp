#include "tools/ctl_secrets.h"

#include "platform/secret_store.h"
#include "shared/oauth_settings.h"
#include "shared/registry.h"
#include "shared/secret_settings.h"

#include <cstdio>

namespace {

constexpr int kExitFailed = 4;
constexpr int kExitUsage = 64;

// The outgoing host, then every account.
std::vector<std::string> allTargets() {
    std::vector<std::string> targets{config::kOutgoingTarget};
    plat::RegKey accounts;
    if (!config::openAccountsKey(accounts)) return targets;
    std::string title;
    for (int i = 0; config::accountTitle(accounts, i, title); ++i) targets.push_back(title);
    return targets;
}

int migrate() {
    plat::SecretAnswer ready = plat::secretStoreReady();
    if (ready.status != plat::SecretStatus::Ok) {
        std::fprintf(stderr, "trawlexctl: nothing moved: %s\n", plat::secretStatusText(ready).c_str());
        return kExitFailed;
    }
    bool failed = false;
    for (const std::string& target : allTargets()) {
        std::string why;
        if (moveSecretsToStore(target, why)) {
            std::printf("%s: secrets in the secret store\n", target.c_str());
        } else {
            std::fprintf(stderr, "trawlexctl: %s: left in user.reg: %s\n", target.c_str(), why.c_str());
            failed = true;
        }
    }
    return failed ? kExitFailed : 0;
}

}  // namespace

const char kSecretsUsage[] = "usage: trawlexctl secrets migrate\n";

bool moveSecretsToStore(const std::string& target, std::string& why) {
    std::string keyPath = config::targetKeyPath(target);
    std::vector<std::string> moved;
    for (plat::SecretKind kind : config::secretKinds(target)) {
        std::string name = config::secretValueName(target, kind);
        std::string value = config::readSecretValue(keyPath, name);
        if (value.empty()) continue;
        plat::SecretAnswer stored =
            plat::storeSecret(target, kind, value, config::secretLabel(target, kind));
        // Read back before the registry's copy goes: a store that took it must also give it.
        plat::SecretAnswer back = stored.status == plat::SecretStatus::Ok ? plat::lookupSecret(target, kind) : stored;
        if (back.status != plat::SecretStatus::Ok || back.secret != value) {
            why = config::secretDescription(target, kind) + " not taken: " +
                  (back.status == plat::SecretStatus::Ok ? "the secret store gave another back"
                                                         : plat::secretStatusText(back));
            return false;
        }
        moved.push_back(name);
    }
    // The mark first: should the process end half-way, a value still in user.reg is used
    // before the store's, and the next migration moves it again.
    if (!config::writeSecretsInStore(keyPath, true)) {
        why = "user.reg could not be written";
        return false;
    }
    for (const std::string& name : moved) {
        if (!config::writeSecretValue(keyPath, name, "")) {
            why = "\"" + name + "\" could not be emptied in user.reg";
            return false;
        }
    }
    return true;
}

int runSecrets(const std::vector<std::string>& args) {
    if (args.size() != 1 || args[0] != "migrate") {
        std::fputs(kSecretsUsage, stderr);
        return kExitUsage;
    }
    return migrate();
}
