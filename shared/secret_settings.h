// Where the passwords and refresh tokens of a sign-in target live: an account (by title) or,
// as "outgoing", the outgoing host. With "secretstore" 1 in the target's key they are kept
// in the desktop's secret store and the registry value stays empty; a value found in the
// registry all the same was written there since (by hand, or by a program that does not know
// the store) and is the one used.
//
//   "secretstore"  dword: 1 the secrets are in the secret store, 0 (or absent) in user.reg
//   "localpass"    the password the user's e-mail program logs in to the local POP3 server
//                  with, for an account that signs in with OAuth 2.0 ("auth" 1)
#pragma once

#include "platform/registry.h"
#include "platform/secret_store.h"
#include "config/settings_keys.h"

#include <optional>
#include <string>
#include <vector>

namespace config {

inline constexpr char kSecretStoreValue[] = "secretstore";
inline constexpr char kLocalPass[] = "localpass";

// The key of target under HKEY_CURRENT_USER: the settings key for "outgoing", else the account
// of that title under accountsKey.
std::string targetKeyPath(const std::string& target, const std::string& accountsKey = kAccountsKey);

// The registry value that holds kind for target ("outhostpass", "pass", "oauthrefresh",
// "localpass"); empty when the target has no such secret (the outgoing host has no local
// password).
std::string secretValueName(const std::string& target, plat::SecretKind kind);
// The kinds target can hold.
std::vector<plat::SecretKind> secretKinds(const std::string& target);

// Opens the key at keyPath under HKEY_CURRENT_USER; a write creates the settings key, never an
// account's.
bool openKey(const std::string& keyPath, bool write, plat::RegKey& key);
// A string value read whole (up to 64 KiB; past that, absent or of another type: empty).
std::string readLongString(const plat::RegKey& key, const std::string& name);

// "secretstore" of the key at keyPath.
bool secretsInStore(const std::string& keyPath);
bool writeSecretsInStore(const std::string& keyPath, bool inStore);

// readLongString of the key at keyPath.
std::string readSecretValue(const std::string& keyPath, const std::string& name);
bool writeSecretValue(const std::string& keyPath, const std::string& name, const std::string& value);

// What the desktop's secret store shows for the item: "Tarnwick password of home".
std::string secretLabel(const std::string& target, plat::SecretKind kind);
// What the log calls it: "password of home", "refresh token of outgoing", ...
std::string secretDescription(const std::string& target, plat::SecretKind kind);

// The secret of one kind for a target, as far as the registry knows it.
struct SecretSource {
    std::string target;
    plat::SecretKind kind = plat::SecretKind::Password;
    std::string registryValue;
    bool inStore = false;
    // Whether the store must be asked: the registry value is empty and the target's secrets
    // are in the store.
    bool needsStore() const { return registryValue.empty() && inStore; }
};
SecretSource secretSource(const std::string& target, plat::SecretKind kind,
                          const std::string& accountsKey = kAccountsKey);

// What the local POP3 server checks a log-in with: the account's password, or its local
// password when it signs in to the provider with OAuth 2.0 ("auth" 1). typedTitle is matched as
// the registry matches key names; the source names the account as its key is spelt. None when
// there is no such account. A "pass" of 100 characters or more never matches.
std::optional<SecretSource> localLoginSource(const std::string& typedTitle,
                                             const std::string& accountsKey = kAccountsKey);

}  // namespace config
