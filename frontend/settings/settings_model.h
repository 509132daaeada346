// The values a settings dialog edits, held between the registry and the dialog's pages: read
// from the registry when first asked for, changed in memory by the pages, and written by
// store() when the user confirms. Cancel simply drops the model.
#pragma once

#include "config/settings.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <variant>
#include <vector>

class SettingsModel : public QObject {
    Q_OBJECT

public:
    // Where the values are read from and written to; a write answers whether it was stored.
    struct Source {
        std::function<std::string(const config::StringSetting&)> readText;
        std::function<std::uint32_t(const config::DwordSetting&)> readNumber;
        std::function<bool(const char* name, const std::string&)> writeText;
        std::function<bool(const char* name, std::uint32_t)> writeNumber;
    };
    // The settings key of the current user.
    static Source settingsKey();
    // The values of the account titled title under accountsKey (nothing is read or written
    // when it is gone).
    static Source account(const std::string& accountsKey, const std::string& title);

    explicit SettingsModel(Source source = settingsKey(), QObject* parent = nullptr);

    std::string text(const config::StringSetting& s) const;
    std::uint32_t number(const config::DwordSetting& s) const;
    bool flag(const config::DwordSetting& s) const { return number(s) != 0; }
    // A period stored in milliseconds, in whole minutes.
    unsigned minutes(const config::DwordSetting& s) const { return number(s) / 60000; }

    // Setting a value marks it for store() even when it holds what it held before.
    void setText(const config::StringSetting& s, const std::string& value);
    void setNumber(const config::DwordSetting& s, std::uint32_t value);
    void setFlag(const config::DwordSetting& s, bool on) { setNumber(s, on ? 1u : 0u); }
    void setMinutes(const config::DwordSetting& s, unsigned m) { setNumber(s, m * 60000u); }

    // Writes every value set since the model was made, in the order first set; answers
    // whether all of them were stored.
    bool store();

signals:
    // A value was set to something other than it held.
    void changed(const QString& name);

private:
    using Value = std::variant<std::string, std::uint32_t>;
    template <class Setting>
    const Value& value(const Setting& s) const;
    void set(const char* name, Value v);

    Source source_;
    mutable std::map<std::string, Value> values_;
    std::vector<std::string> touched_;
};

// The value "outhostport" read with the port a page shows when none is stored.
inline constexpr config::DwordSetting kOutHostPortShown{config::kOutHostPort, 25};
