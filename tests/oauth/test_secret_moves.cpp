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
#include "tests/support/temp_env.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

using namespace config;
using plat::SecretKind;
using plat::SecretStatus;

namespace {

constexpr char kKeyringPassword[] = "keyring-test-password";

bool onPath(const char* program) {
    return std::system((std::string("command -v ") + program + " >/dev/null 2>&1").c_str()) == 0;
}

// Starts argv with stdin from a pipe (closed after input is written); answers its pid.
pid_t startDaemon(const std::vector<std::string>& argv, const std::string& input = {}) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[0], 0);
        close(fds[0]);
        close(fds[1]);
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    close(fds[0]);
    if (!input.empty()) [[maybe_unused]]
        ssize_t n = write(fds[1], input.data(), input.size());
    close(fds[1]);
    return pid;
}

void endDaemon(pid_t& pid) {
    if (pid <= 0) return;
    kill(pid, SIGCONT);
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    pid = -1;
}

class SecretMoves : public ::testing::Test {
protected:
    void SetUp() override {
        if (!onPath("dbus-daemon") || !onPath("gnome-keyring-daemon") || !onPath("gdbus"))
            GTEST_SKIP() << "needs dbus-daemon, gnome-keyring and gdbus";
        testsupport::clearWorld();
        testsupport::freshLog();
        std::string dir = testsupport::makeTempDir("keyring-bus-");
        std::string socket = dir + "/bus";
        testsupport::writeFile(dir + "/bus.conf",
                               "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\" "
                               "\"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n<busconfig>"
                               "<type>session</type><listen>unix:path=" +
                                   socket +
                                   "</listen><auth>EXTERNAL</auth>"
                                   "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                                   "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
        bus = startDaemon({"dbus-daemon", "--config-file=" + dir + "/bus.conf", "--nofork"});
        for (int i = 0; i < 200 && !std::filesystem::exists(socket); ++i) usleep(25000);
        ::setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + socket).c_str(), 1);
        keyring = startDaemon({"gnome-keyring-daemon", "--foreground", "--unlock", "--components=secrets"},
                              kKeyringPassword);
        // Ready once the login keyring exists: the first item makes it.
        bool ready = false;
        for (int i = 0; i < 100 && !ready; ++i) {
            ready = plat::storeSecret("setup", SecretKind::Password, "x", "setup", 2000).status == SecretStatus::Ok;
            if (!ready) usleep(100000);
        }
        ASSERT_TRUE(ready) << "the private keyring did not start";
        std::filesystem::create_directory("accounts");
        ASSERT_TRUE(openAccountsKey(accounts));
        ASSERT_TRUE(createAccount(accounts, {"home", "pop.example.net", 110, "ann", "pop-pw", "M", "/bin/true"}));
        ASSERT_TRUE(writeAccountString(accounts, "home", kLocalPass, "local-pw"));
    }
    void TearDown() override {
        endDaemon(keyring);
        endDaemon(bus);
    }

    void lock() {
        ASSERT_EQ(std::system("gdbus call --session --dest org.freedesktop.secrets --object-path "
                              "/org/freedesktop/secrets --method org.freedesktop.Secret.Service.Lock "
                              "\"['/org/freedesktop/secrets/collection/login']\" >/dev/null"),
                  0);
    }
    std::string stored(SecretKind kind) {
        plat::SecretAnswer a = plat::lookupSecret("home", kind);
        return a.status == SecretStatus::Ok ? a.secret : "<" + plat::secretStatusText(a) + ">";
    }
    std::string registry(const char* name) { return readSecretValue(targetKeyPath("home"), name); }

    pid_t bus = -1;
    pid_t keyring = -1;
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
