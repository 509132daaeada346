// The settings dialogs' passwords where they live: the values that hold a secret of a target
// ("outhostpass" of the settings key, "pass" and "localpass" of an account) are read from the
// desktop's secret store when they are kept there, and stored there when the user confirms
// and a store is ready (the target's other secrets then move along, and "secretstore" becomes
// 1). Without a Secret Service everything stays in user.reg. Each call to the store waits for
// it, at most its limit: the user is waiting on the dialog anyway.
#pragma once

#include "frontend/settings/settings_model.h"

#include <string>

// plain with its secret values of target (an account's title, or "outgoing") redirected.
SettingsModel::Source withSecretStore(SettingsModel::Source plain, const std::string& target);
