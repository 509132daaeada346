#include "secrets/secret_settings.h"

#include "platform/hive_tree.h"
#include "platform/registry.h"
#include "oauth/oauth_settings.h"

using plat::RegKey;
using plat::RegStatus;
using plat::SecretKind;

namespace config {
namespace {

constexpr std::size_t kLongestValue = 64 * 1024;

const char* kindWords(SecretKind kind) {
    switch (kind) {
    case SecretKind::Password: return "password";
    case SecretKind::Refresh: return "refresh token";
    case SecretKind::LocalPass: return "local password";
    }
    return "password";
}

}  // namespace

bool openKey(const std::string& keyPath, bool write, RegKey& key) {
    // Only the settings key is ever made here: an account that does not exist stays so.
    plat::KeyAccess access = !write                    ? plat::KeyAccess::Read
                             : keyPath == kSettingsKey ? plat::KeyAccess::Create
                                                       : plat::KeyAccess::Write;
    return plat::regOpenKey(plat::Hive::CurrentUser, keyPath, access, key) == RegStatus::Ok;
}

std::string readLongString(const RegKey& key, const std::string& name) {
    plat::RegType type = plat::RegType::None;
    std::size_t size = 0;
    if (plat::regQueryInfo(key, name, type, size) != RegStatus::Ok || type != plat::RegType::String || size == 0 ||
        size > kLongestValue)
        return {};
    std::string buf(size + 1, '\0');
    if (plat::regQueryString(key, name, buf.data(), buf.size()) != RegStatus::Ok) return {};
    buf.resize(buf.find('\0'));
    return buf;
}

std::string targetKeyPath(const std::string& target, const std::string& accountsKey) {
    if (target == kOutgoingTarget) return kSettingsKey;
    return accountsKey + "\\" + target;
}

std::string secretValueName(const std::string& target, SecretKind kind) {
    bool outgoing = target == kOutgoingTarget;
    switch (kind) {
    case SecretKind::Password: return outgoing ? "outhostpass" : "pass";
    case SecretKind::Refresh: return kOAuthRefresh;
    case SecretKind::LocalPass: return outgoing ? "" : kLocalPass;
    }
    return "";
}

std::vector<SecretKind> secretKinds(const std::string& target) {
    if (target == kOutgoingTarget) return {SecretKind::Password, SecretKind::Refresh};
    return {SecretKind::Password, SecretKind::Refresh, SecretKind::LocalPass};
}

bool secretsInStore(const std::string& keyPath) {
    RegKey key;
    std::uint32_t value = 0;
    return openKey(keyPath, false, key) && plat::regQueryDword(key, kSecretStoreValue, value) == RegStatus::Ok &&
           value == 1;
}

bool writeSecretsInStore(const std::string& keyPath, bool inStore) {
    RegKey key;
    return openKey(keyPath, true, key) && plat::regSetDword(key, kSecretStoreValue, inStore ? 1 : 0) == RegStatus::Ok;
}

std::string readSecretValue(const std::string& keyPath, const std::string& name) {
    RegKey key;
    return openKey(keyPath, false, key) ? readLongString(key, name) : std::string();
}

bool writeSecretValue(const std::string& keyPath, const std::string& name, const std::string& value) {
    RegKey key;
    return openKey(keyPath, true, key) && plat::regSetString(key, name, value) == RegStatus::Ok;
}

std::string secretLabel(const std::string& target, SecretKind kind) {
    return std::string("Tarnwick ") + kindWords(kind) + " of " + target;
}

std::string secretDescription(const std::string& target, SecretKind kind) {
    return std::string(kindWords(kind)) + " of " + target;
}

SecretSource secretSource(const std::string& target, SecretKind kind, const std::string& accountsKey) {
    SecretSource source;
    source.target = target;
    source.kind = kind;
    std::string keyPath = targetKeyPath(target, accountsKey);
    std::string name = secretValueName(target, kind);
    if (!name.empty()) source.registryValue = readSecretValue(keyPath, name);
    source.inStore = secretsInStore(keyPath);
    return source;
}

std::optional<SecretSource> localLoginSource(const std::string& typedTitle, const std::string& accountsKey) {
    RegKey accounts;
    if (typedTitle.empty() || typedTitle.find('\\') != std::string::npos ||
        plat::regOpenKey(plat::Hive::CurrentUser, accountsKey, plat::KeyAccess::Read, accounts) != RegStatus::Ok)
        return std::nullopt;
    std::uint32_t count = 0;
    plat::regCountSubKeys(accounts, count);
    std::string title;
    for (std::uint32_t i = 0; i < count && title.empty(); ++i) {
        char name[256] = {};
        if (plat::regEnumSubKey(accounts, i, name, sizeof name) == RegStatus::Ok &&
            plat::hive::sameName(name, typedTitle))
            title = name;
    }
    RegKey account;
    if (title.empty() || plat::regOpenSubKey(accounts, title, plat::KeyAccess::Read, account) != RegStatus::Ok)
        return std::nullopt;
    std::uint32_t auth = kAuthPassword;
    plat::regQueryDword(account, kAuthValue, auth);
    std::string keyPath = accountsKey + "\\" + title;
    SecretSource source;
    source.target = title;
    source.inStore = secretsInStore(keyPath);
    if (auth == kAuthOAuth) {
        source.kind = SecretKind::LocalPass;
        source.registryValue = readSecretValue(keyPath, kLocalPass);
    } else {
        char pass[100] = {};
        source.kind = SecretKind::Password;
        if (plat::regQueryString(account, "pass", pass, sizeof pass) == RegStatus::Ok) source.registryValue = pass;
    }
    return source;
}

}  // namespace config
