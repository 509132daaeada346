// The settings model without widgets: values fall back until set, set values are written by
// store() and only they, a failed write is kept for another store(), changed names only real
// changes; and the model over the registry's settings key and over an account.
#include "frontend/settings/settings_model.h"
#include "tests/support/temp_env.h"

#include <gtest/gtest.h>

#include <map>

namespace {

constexpr config::StringSetting kName{"name", "fallback"};
constexpr config::DwordSetting kCount{"count", 7};
constexpr config::DwordSetting kPeriod{"period", 120000};

// A source that records what it is asked for and what it writes.
struct FakeSource {
    std::map<std::string, std::string> texts;
    std::map<std::string, std::uint32_t> numbers;
    std::vector<std::string> reads, writes;
    bool refuseWrites = false;

    SettingsModel::Source source() {
        return {
            [this](const config::StringSetting& s) {
                reads.emplace_back(s.name);
                return texts.count(s.name) ? texts[s.name] : std::string(s.fallback);
            },
            [this](const config::DwordSetting& s) {
                reads.emplace_back(s.name);
                return numbers.count(s.name) ? numbers[s.name] : s.fallback;
            },
            [this](const char* name, const std::string& v) {
                writes.push_back(std::string(name) + "=" + v);
                if (!refuseWrites) texts[name] = v;
                return !refuseWrites;
            },
            [this](const char* name, std::uint32_t v) {
                writes.push_back(std::string(name) + "=" + std::to_string(v));
                if (!refuseWrites) numbers[name] = v;
                return !refuseWrites;
            },
        };
    }
};

TEST(SettingsModel, ReadsOnceWritesOnlyWhatWasSetAndSignalsRealChanges) {
    FakeSource fake;
    fake.numbers["count"] = 3;
    SettingsModel model(fake.source());
    std::vector<QString> changes;
    QObject::connect(&model, &SettingsModel::changed, [&](const QString& name) { changes.push_back(name); });
    EXPECT_EQ(model.text(kName), "fallback");
    EXPECT_EQ(model.number(kCount), 3u);
    EXPECT_EQ(model.minutes(kPeriod), 2u);
    EXPECT_EQ(model.text(kName), "fallback");
    EXPECT_EQ(fake.reads, (std::vector<std::string>{"name", "count", "period"}));  // each read once

    model.setNumber(kCount, 3);  // the same value: written, but no change
    model.setText(kName, "new");
    model.setMinutes(kPeriod, 5);
    model.setText(kName, "newer");
    EXPECT_EQ(model.text(kName), "newer");
    EXPECT_EQ(changes, (std::vector<QString>{"name", "period", "name"}));
    EXPECT_TRUE(fake.writes.empty());  // nothing before store()

    EXPECT_TRUE(model.store());
    EXPECT_EQ(fake.writes, (std::vector<std::string>{"count=3", "name=newer", "period=300000"}));
    fake.writes.clear();
    EXPECT_TRUE(model.store());  // stored values are not written twice
    EXPECT_TRUE(fake.writes.empty());
}

TEST(SettingsModel, AFailedWriteIsReportedAndTriedAgain) {
    FakeSource fake;
    fake.refuseWrites = true;
    SettingsModel model(fake.source());
    model.setFlag(kCount, true);
    EXPECT_FALSE(model.store());
    EXPECT_EQ(model.number(kCount), 1u);  // the model still holds what the user chose
    fake.refuseWrites = false;
    EXPECT_TRUE(model.store());
    EXPECT_EQ(fake.numbers["count"], 1u);
}

TEST(SettingsModel, OverTheSettingsKeyAndAnAccount) {
    config::writeSetting(config::kCheckFreqHI, 90000);
    SettingsModel settings;
    EXPECT_EQ(settings.minutes(config::kCheckFreqHI), 1u);
    EXPECT_TRUE(settings.flag(config::kNotifyDesktop));  // on unless stored off
    EXPECT_EQ(settings.number(kOutHostPortShown), 25u);
    settings.setFlag(config::kNotifyDesktop, false);
    settings.setNumber(kOutHostPortShown, 587);
    EXPECT_EQ(config::readSetting(config::kNotifyDesktop), 1u);
    EXPECT_TRUE(settings.store());
    EXPECT_EQ(config::readSetting(config::kNotifyDesktop), 0u);
    EXPECT_EQ(config::readOutHostPort(), 587u);

    plat::RegKey accounts;
    ASSERT_TRUE(config::openAccountsKey(accounts));
    ASSERT_TRUE(config::createAccount(accounts, {"home", "pop.example.net", 110, "jo", "pw", "Mail", "mail"}));
    SettingsModel account(SettingsModel::account(kAccountsKey, "home"));
    EXPECT_EQ(account.text({"server", ""}), "pop.example.net");
    EXPECT_EQ(account.number({"security", 0}), 0u);  // absent: its fall-back
    account.setText({"pass", ""}, "new");
    EXPECT_TRUE(account.store());
    EXPECT_EQ(config::accountString(accounts, config::findAccount(accounts, "home"), "pass"), "new");

    // An account removed while its sheet was open is not written back into existence.
    SettingsModel gone(SettingsModel::account(kAccountsKey, "gone"));
    EXPECT_EQ(gone.text({"server", ""}), "");
    gone.setText({"pass", ""}, "x");
    EXPECT_FALSE(gone.store());
    EXPECT_LT(config::findAccount(accounts, "gone"), 0);
}

}  // namespace
