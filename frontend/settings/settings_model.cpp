#include "frontend/settings/settings_model.h"

#include "frontend/settings/secret_source.h"
#include "oauth/oauth_settings.h"
#include "secrets/secret_settings.h"

#include <algorithm>
#include <memory>
#include <string_view>

SettingsModel::Source SettingsModel::settingsKey() {
    return withSecretStore({
                               [](const config::StringSetting& s) { return config::readSetting(s); },
                               [](const config::DwordSetting& s) { return config::readSetting(s); },
                               [](const char* name, const std::string& v) {
                                   return config::writeSetting(config::StringSetting{name, ""}, v);
                               },
                               [](const char* name, std::uint32_t v) {
                                   return config::writeSetting(config::DwordSetting{name, 0}, v);
                               },
                           },
                           config::kOutgoingTarget);
}

SettingsModel::Source SettingsModel::account(const std::string& accountsKey, const std::string& title) {
    struct Account {
        plat::RegKey key;
        std::string title;
        int index() const { return key.isOpen() ? config::findAccount(key, title) : -1; }
    };
    auto a = std::make_shared<Account>();
    a->title = title;
    if (!config::openAccountsKey(a->key, accountsKey)) a->key = plat::RegKey();
    Source plain{
        [a, accountsKey](const config::StringSetting& s) {
            int i = a->index();
            if (i < 0) return std::string(s.fallback);
            // The engine reads the list of addresses whole: it may pass the length of the others.
            if (std::string_view(s.name) == config::kAddressesValue)
                return config::readSecretValue(accountsKey + "\\" + a->title, s.name);
            return config::accountString(a->key, i, s.name);
        },
        [a](const config::DwordSetting& s) {
            int i = a->index();
            return i >= 0 ? config::accountDword(a->key, i, s.name).value_or(s.fallback) : s.fallback;
        },
        [a](const char* name, const std::string& v) {
            return a->key.isOpen() && config::writeAccountString(a->key, a->title, name, v);
        },
        [a](const char* name, std::uint32_t v) {
            return a->key.isOpen() && config::writeAccountDword(a->key, a->title, name, v);
        },
    };
    // The secret store knows the accounts of the user's own accounts key only.
    return accountsKey == kAccountsKey ? withSecretStore(plain, title) : plain;
}

SettingsModel::SettingsModel(Source source, QObject* parent) : QObject(parent), source_(std::move(source)) {}

template <class Setting>
const SettingsModel::Value& SettingsModel::value(const Setting& s) const {
    auto it = values_.find(s.name);
    if (it != values_.end()) return it->second;
    Value read;
    if constexpr (std::is_same_v<Setting, config::StringSetting>) read = source_.readText(s);
    else read = source_.readNumber(s);
    return values_.emplace(s.name, std::move(read)).first->second;
}

std::string SettingsModel::text(const config::StringSetting& s) const {
    const Value& v = value(s);
    return std::holds_alternative<std::string>(v) ? std::get<std::string>(v) : std::string(s.fallback);
}

std::uint32_t SettingsModel::number(const config::DwordSetting& s) const {
    const Value& v = value(s);
    return std::holds_alternative<std::uint32_t>(v) ? std::get<std::uint32_t>(v) : s.fallback;
}

void SettingsModel::setText(const config::StringSetting& s, const std::string& v) {
    bool differs = text(s) != v;
    set(s.name, v);
    if (differs) emit changed(QString::fromLatin1(s.name));
}

void SettingsModel::setNumber(const config::DwordSetting& s, std::uint32_t v) {
    bool differs = number(s) != v;
    set(s.name, v);
    if (differs) emit changed(QString::fromLatin1(s.name));
}

void SettingsModel::set(const char* name, Value v) {
    values_[name] = std::move(v);
    if (std::find(touched_.begin(), touched_.end(), name) == touched_.end()) touched_.emplace_back(name);
}

bool SettingsModel::store() {
    std::vector<std::string> failed;  // kept for another store()
    for (const std::string& name : touched_) {
        const Value& v = values_.at(name);
        bool ok = std::holds_alternative<std::string>(v)
                      ? source_.writeText(name.c_str(), std::get<std::string>(v))
                      : source_.writeNumber(name.c_str(), std::get<std::uint32_t>(v));
        if (!ok) failed.push_back(name);
    }
    touched_ = std::move(failed);
    return touched_.empty();
}
