// Moving secrets between user.reg and the desktop's secret store, and the reads and writes of
// the programs that edit them (trawlexctl, the front end's settings dialogs). Every call waits
// for the store, at most its limit (platform/secret_store.h): for programs whose user waits
// anyway, never for the engine's loop.
#pragma once

#include "platform/secret_store.h"

#include <string>

namespace config {

// Moves what user.reg holds of target's secrets into the store and sets its "secretstore" 1;
// the registry values are emptied only once the store gave each of them back. False, with
// user.reg untouched, when the store did not take one; why then says which and why.
bool moveSecretsToStore(const std::string& target, std::string& why);

// The secret as a dialog shows it: the registry's value, or the store's when the target's
// secrets are there; empty (with a HIGH line naming it) when the store cannot give it.
std::string readSecretForEditing(const std::string& target, plat::SecretKind kind);

// Keeps a secret the user typed: in the store when target's secrets are there, or when a store
// is ready (target's other secrets then move along); else in user.reg. A store that refuses
// it leaves it in user.reg, where it is used before the store's (logged, APP HIGH). An empty
// value leaves a stored secret as it is: the dialog may simply not have been given it. False
// only when it could not be kept anywhere.
bool writeSecretFromEditing(const std::string& target, plat::SecretKind kind, const std::string& value);

}  // namespace config
