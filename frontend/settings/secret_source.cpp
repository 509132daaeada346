#include "frontend/settings/secret_source.h"

#include "secrets/secret_moves.h"
#include "secrets/secret_settings.h"

#include <optional>

namespace {

// The kind of secret a value of target holds, if it holds one.
std::optional<plat::SecretKind> secretKindOf(const std::string& target, const std::string& name) {
    for (plat::SecretKind kind : config::secretKinds(target))
        if (config::secretValueName(target, kind) == name) return kind;
    return std::nullopt;
}

}  // namespace

SettingsModel::Source withSecretStore(SettingsModel::Source plain, const std::string& target) {
    SettingsModel::Source out = plain;
    out.readText = [plain, target](const config::StringSetting& s) {
        std::optional<plat::SecretKind> kind = secretKindOf(target, s.name);
        // Refresh tokens are the sign-in's business, never a dialog's.
        if (!kind || *kind == plat::SecretKind::Refresh) return plain.readText(s);
        return config::readSecretForEditing(target, *kind);
    };
    out.writeText = [plain, target](const char* name, const std::string& value) {
        std::optional<plat::SecretKind> kind = secretKindOf(target, name);
        if (!kind || *kind == plat::SecretKind::Refresh) return plain.writeText(name, value);
        return config::writeSecretFromEditing(target, *kind, value);
    };
    return out;
}
