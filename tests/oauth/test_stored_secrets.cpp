// Secrets where they live, on a machine whose session bus has no secret store (the test world's
// bus address leads nowhere): which secret a local log-in is checked against, when the store is
// asked at all, what a store that cannot answer does to a read and to a renewal, and that a
// refresh token the provider rotates is never lost.
#include "oauth/access_tokens.h"
#include "oauth/stored_secret.h"
#include "platform/clock.h"
#include "platform/event_loop.h"
#include "platform/registry.h"
#include "oauth/oauth_settings.h"
#include "config/settings.h"
#include "secrets/secret_settings.h"
#include "tests/support/day_log.h"
#include "tests/oauth/loopback_listener.h"
#include "tests/support/temp_env.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>

using namespace config;
using plat::SecretKind;

namespace {

class StoredSecrets : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::clearWorld();
        testsupport::freshLog();
        std::filesystem::create_directory("accounts");
        ASSERT_TRUE(openAccountsKey(accounts));
        ASSERT_TRUE(createAccount(accounts, {"Home", "pop.example.net", 110, "ann", "pop-pw", "M", "/bin/true"}));
        oauth::forgetAccessToken("Home");
    }

    void set(const std::string& value, const std::string& data) {
        ASSERT_TRUE(writeAccountString(accounts, "Home", value, data));
    }
    void set(const std::string& value, std::uint32_t data) {
        ASSERT_TRUE(writeAccountDword(accounts, "Home", value, data));
    }

    bool logHas(const std::string& text) { return testsupport::logText().find(text) != std::string::npos; }

    // Pumps the loop until done() or 10 s.
    template <class Done>
    void pumpUntil(Done done) {
        long long deadline = plat::monotonicMs() + 10000;
        while (!done() && plat::monotonicMs() < deadline) plat::pumpMessages(20);
    }

    plat::RegKey accounts;
};

TEST_F(StoredSecrets, ALocalLogInIsCheckedAgainstThePasswordOrTheLocalPassword) {
    auto source = localLoginSource("home");  // typed in another case: the key's own spelling
    ASSERT_TRUE(source);
    EXPECT_EQ(source->target, "Home");
    EXPECT_EQ(source->kind, SecretKind::Password);
    EXPECT_EQ(source->registryValue, "pop-pw");
    EXPECT_FALSE(source->needsStore());

    // Signing in to the provider with OAuth 2.0, the e-mail program has the local password.
    set("auth", kAuthOAuth);
    set(kLocalPass, "local pw");
    source = localLoginSource("HOME");
    ASSERT_TRUE(source);
    EXPECT_EQ(source->kind, SecretKind::LocalPass);
    EXPECT_EQ(source->registryValue, "local pw");

    EXPECT_FALSE(localLoginSource("nobody"));
    EXPECT_FALSE(localLoginSource(""));
    EXPECT_FALSE(localLoginSource("Home\\x"));
    EXPECT_FALSE(localLoginSource("Home", "SOFTWARE\\Elsewhere"));
}

TEST_F(StoredSecrets, TheStoreIsAskedOnlyForAnEmptyValueOfAMarkedTarget) {
    set("pass", "");
    EXPECT_FALSE(secretSource("Home", SecretKind::Password).needsStore());  // nothing says it is there
    ASSERT_TRUE(writeSecretsInStore(targetKeyPath("Home"), true));
    EXPECT_TRUE(secretSource("Home", SecretKind::Password).needsStore());
    EXPECT_TRUE(localLoginSource("Home")->needsStore());
    // A value written since (by hand, or by a program that knows no store) is the one used.
    set("pass", "typed since");
    EXPECT_FALSE(secretSource("Home", SecretKind::Password).needsStore());
    // A password past the local server's 100 bytes never matches from user.reg.
    set("pass", std::string(100, 'p'));
    EXPECT_TRUE(localLoginSource("Home")->needsStore());
    ASSERT_TRUE(writeSecretsInStore(targetKeyPath("Home"), false));
    EXPECT_EQ(localLoginSource("Home")->registryValue, "");
    EXPECT_FALSE(localLoginSource("Home")->needsStore());

    EXPECT_EQ(secretValueName("outgoing", SecretKind::Password), "outhostpass");
    EXPECT_EQ(secretValueName("outgoing", SecretKind::LocalPass), "");
    EXPECT_EQ(targetKeyPath("outgoing"), kSettingsKey);
}

TEST_F(StoredSecrets, AStoreThatCannotAnswerFailsTheReadLaterWithALineNamingTheAccount) {
    set("pass", "");
    ASSERT_TRUE(writeSecretsInStore(targetKeyPath("Home"), true));
    std::string now = "untouched";
    std::optional<plat::SecretStatus> answered;
    oauth::SecretRead read;
    EXPECT_FALSE(read.start(secretSource("Home", SecretKind::Password), now,
                            [&](bool ok, plat::SecretStatus status, const std::string& secret) {
                                EXPECT_FALSE(ok);
                                EXPECT_EQ(secret, "");
                                answered = status;
                            }));
    EXPECT_EQ(now, "untouched");
    EXPECT_FALSE(answered);  // never inside the caller's turn
    pumpUntil([&] { return answered.has_value(); });
    EXPECT_EQ(answered, plat::SecretStatus::Unavailable);
    EXPECT_TRUE(logHas("MAIL HIGH password of Home not available: no secret store answers")) << testsupport::logText();

    // A read dropped before its answer never calls back.
    bool called = false;
    {
        oauth::SecretRead dropped;
        dropped.start(secretSource("Home", SecretKind::Password), now,
                      [&](bool, plat::SecretStatus, const std::string&) { called = true; });
    }
    plat::pumpMessages(300);
    EXPECT_FALSE(called);
}

// A token endpoint on this machine that answers every request with the same reply.
class Endpoint {
public:
    explicit Endpoint(std::string json) : reply_(std::move(json)) {
        fd_ = testsupport::listenOnLoopback(4, port_);
        thread_ = std::thread([this] {
            for (int peer; (peer = ::accept(fd_, nullptr, nullptr)) >= 0;) {
                ++requests_;
                char buf[4096];
                ::recv(peer, buf, sizeof buf, 0);  // the form fits one read on loopback
                std::string r = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
                                std::to_string(reply_.size()) + "\r\nConnection: close\r\n\r\n" + reply_;
                ::send(peer, r.data(), r.size(), MSG_NOSIGNAL);
                ::close(peer);
            }
        });
    }
    ~Endpoint() {
        ::shutdown(fd_, SHUT_RDWR);
        thread_.join();
        ::close(fd_);
    }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/token"; }
    int requests() const { return requests_; }

private:
    std::string reply_;
    int fd_ = -1;
    int port_ = 0;
    std::atomic<int> requests_{0};
    std::thread thread_;
};

class StoredRefresh : public StoredSecrets {
protected:
    void signIn(const std::string& tokenUrl, const std::string& refresh) {
        OAuthSettings s;
        s.auth = kAuthOAuth;
        s.tokenUrl = tokenUrl;
        s.clientId = "client-1";
        ASSERT_TRUE(writeOAuthSettings("Home", s));
        ASSERT_TRUE(writeRefreshToken("Home", refresh));
        ASSERT_TRUE(writeSecretsInStore(targetKeyPath("Home"), true));
    }

    std::optional<oauth::RenewOutcome> renew() {
        std::optional<oauth::RenewOutcome> outcome;
        oauth::TokenRenewal renewal;
        renewal.start("Home", readOAuthSettings("Home"), "", [&](oauth::RenewOutcome o) { outcome = o; });
        pumpUntil([&] { return outcome.has_value(); });
        return outcome;
    }
};

TEST_F(StoredRefresh, AStoreThatCannotGiveTheTokenFailsTheRenewalWithoutAskingTheProvider) {
    Endpoint endpoint(R"({"access_token":"AT-1","expires_in":3600})");
    signIn(endpoint.url(), "");
    // Not "sign in again": the sign-in is good, the store is what is missing.
    EXPECT_EQ(renew(), oauth::RenewOutcome::Failed);
    EXPECT_EQ(endpoint.requests(), 0);
    EXPECT_TRUE(logHas("refresh token of Home not available: no secret store answers"));
    EXPECT_FALSE(logHas("expired"));
}

TEST_F(StoredRefresh, ARotatedTokenTheStoreCannotTakeIsKeptInUserReg) {
    // The provider retires the old refresh token as it hands out the new one: losing the new
    // one would end the sign-in.
    Endpoint endpoint(R"({"access_token":"AT-1","expires_in":3600,"refresh_token":"RT-new"})");
    signIn(endpoint.url(), "RT-old");
    EXPECT_EQ(renew(), oauth::RenewOutcome::Renewed);
    pumpUntil([&] { return logHas("new refresh token for Home"); });
    EXPECT_EQ(readOAuthSettings("Home").refreshToken, "RT-new");
    EXPECT_TRUE(logHas("MAIL HIGH new refresh token for Home kept in user.reg: no secret store answers"));
    EXPECT_FALSE(logHas("RT-"));
}

}  // namespace
