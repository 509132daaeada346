#include "tools/ctl_secrets.h"

#include "platform/secret_store.h"
#include "oauth/oauth_settings.h"
#include "config/settings.h"
#include "secrets/secret_moves.h"
#include "secrets/secret_settings.h"

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
        if (config::moveSecretsToStore(target, why)) {
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

int runSecrets(const std::vector<std::string>& args) {
    if (args.size() != 1 || args[0] != "migrate") {
        std::fputs(kSecretsUsage, stderr);
        return kExitUsage;
    }
    return migrate();
}
