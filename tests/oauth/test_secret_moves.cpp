// The programs that edit secrets (the front end's dialogs, trawlexctl) against a real secret
// store: gnome-keyring-daemon on a session bus of this test's own. A password typed moves the
// target's secrets into the store; an empty field leaves the stored one be; a locked store
// keeps what was typed in user.reg, where it is used first; the engine's read finds them.
#include "oauth/stored_secret.h"
#include "platform/clock.h"
#include "platform/event_loop.h"
#include "config/settings.h"
#include "secrets/secret_moves.h"
#include "secrets/secret_settings.h"
#include "tests/support/day_log.h"
#include "tests/support/private_keyring.h"
#include "tests/support/temp_env.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

using namespace config;
using plat::SecretKind;
using plat::SecretStatus;

namespace {

class SecretMoves : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testsupport::PrivateKeyring::available()) GTEST_SKIP() << "needs dbus-daemon, gnome-keyring and gdbus";
        testsupport::clearWorld();
        testsupport::freshLog();
        keyring = std::make_unique<testsupport::PrivateKeyring>();
        ASSERT_TRUE(keyring->start()) << "the private keyring did not start";
        std::filesystem::create_directory("accounts");
        ASSERT_TRUE(openAccountsKey(accounts));
        ASSERT_TRUE(createAccount(accounts, {"home", "pop.example.net", 110, "ann", "pop-pw", "M", "/bin/true"}));
        ASSERT_TRUE(writeAccountString(accounts, "home", kLocalPass, "local-pw"));
    }
    void TearDown() override { keyring.reset(); }

    void lock() { ASSERT_TRUE(keyring->lock()); }
    std::string stored(SecretKind kind) {
        plat::SecretAnswer a = plat::lookupSecret("home", kind);
        return a.status == SecretStatus::Ok ? a.secret : "<" + plat::secretStatusText(a) + ">";
    }
    std::string registry(const char* name) { return readSecretValue(targetKeyPath("home"), name); }

    std::unique_ptr<testsupport::PrivateKeyring> keyring;
    plat::RegKey accounts;
};

TEST_F(SecretMoves, APasswordTypedTakesTheAccountsSecretsIntoTheStore) {
    ASSERT_TRUE(writeSecretFromEditing("home", SecretKind::Password, "typed-pw"));
    EXPECT_EQ(stored(SecretKind::Password), "typed-pw");
    EXPECT_EQ(stored(SecretKind::LocalPass), "local-pw");  // moved along
    EXPECT_EQ(registry("pass"), "");
    EXPECT_EQ(registry(kLocalPass), "");
    EXPECT_TRUE(secretsInStore(targetKeyPath("home")));
    EXPECT_EQ(readSecretForEditing("home", SecretKind::Password), "typed-pw");

    // An empty field is a dialog that was not given the password: the stored one stays.
    ASSERT_TRUE(writeSecretFromEditing("home", SecretKind::Password, ""));
    EXPECT_EQ(stored(SecretKind::Password), "typed-pw");

    // The engine's read, inside its loop.
    std::string now;
    std::optional<std::string> later;
    oauth::SecretRead read;
    EXPECT_FALSE(
        read.start(secretSource("home", SecretKind::Password), now,
                   [&](bool ok, SecretStatus, const std::string& secret) { later = ok ? secret : "<failed>"; }));
    for (long long end = plat::monotonicMs() + 10000; !later && plat::monotonicMs() < end;) plat::pumpMessages(20);
    EXPECT_EQ(later, "typed-pw");
}

TEST_F(SecretMoves, ALockedStoreKeepsWhatWasTypedInUserReg) {
    std::string why;
    ASSERT_TRUE(moveSecretsToStore("home", why)) << why;
    lock();
    EXPECT_EQ(stored(SecretKind::Password), "<the secret store is locked>");
    EXPECT_EQ(readSecretForEditing("home", SecretKind::Password), "");
    // Nothing typed is lost: user.reg has it, and it is what is used.
    ASSERT_TRUE(writeSecretFromEditing("home", SecretKind::Password, "new-pw"));
    EXPECT_EQ(registry("pass"), "new-pw");
    EXPECT_EQ(readSecretForEditing("home", SecretKind::Password), "new-pw");
    std::string log = testsupport::logText();
    EXPECT_NE(log.find("APP HIGH password of home kept in user.reg: the secret store is locked"), std::string::npos)
        << log;
    EXPECT_EQ(log.find("new-pw"), std::string::npos);
    // A migration while locked moves nothing and leaves user.reg as it is.
    EXPECT_FALSE(moveSecretsToStore("home", why));
    EXPECT_EQ(why, "password of home not taken: the secret store is locked");
    EXPECT_EQ(registry("pass"), "new-pw");
}

}  // namespace
