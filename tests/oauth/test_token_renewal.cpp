// Renewing an access token at a token endpoint on this machine, through the engine's loop, and
// the sign-in values it reads and writes: what each answer of the provider leads to, and that
// no token reaches the log.
#include "oauth/access_tokens.h"
#include "platform/clock.h"
#include "platform/event_loop.h"
#include "platform/registry.h"
#include "oauth/oauth_settings.h"
#include "config/settings.h"
#include "tests/support/day_log.h"
#include "tests/oauth/loopback_listener.h"
#include "tests/support/temp_env.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>

using namespace oauth;

namespace {

// A token endpoint that answers one request with a canned reply and keeps what it was sent.
class OneShotEndpoint {
public:
    explicit OneShotEndpoint(std::string reply) : reply_(std::move(reply)) {
        fd_ = testsupport::listenOnLoopback(1, port_);
        thread_ = std::thread([this] { serve(); });
    }
    ~OneShotEndpoint() {
        ::shutdown(fd_, SHUT_RDWR);
        thread_.join();
        ::close(fd_);
    }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/token"; }
    std::string request() {
        thread_.join();
        thread_ = std::thread([] {});
        return request_;
    }

private:
    void serve() {
        int peer = ::accept(fd_, nullptr, nullptr);
        if (peer < 0) return;
        char buf[4096];
        std::size_t want = std::string::npos;
        while (request_.size() < want) {
            ssize_t n = ::recv(peer, buf, sizeof buf, 0);
            if (n <= 0) break;
            request_.append(buf, static_cast<std::size_t>(n));
            std::size_t head = request_.find("\r\n\r\n");
            std::size_t cl = request_.find("Content-Length: ");
            if (head != std::string::npos && cl != std::string::npos)
                want = head + 4 + std::stoul(request_.substr(cl + 16));
        }
        ::send(peer, reply_.data(), reply_.size(), MSG_NOSIGNAL);
        ::close(peer);
    }

    std::string reply_;
    std::string request_;
    int fd_ = -1;
    int port_ = 0;
    std::thread thread_;
};

std::string httpReply(int status, const std::string& json) {
    return "HTTP/1.1 " + std::to_string(status) +
           " X\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(json.size()) +
           "\r\nConnection: close\r\n\r\n" + json;
}

class Renewal : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::clearWorld();
        testsupport::freshLog();
        std::filesystem::create_directory("accounts");
        plat::RegKey accounts;
        ASSERT_TRUE(config::openAccountsKey(accounts));
        ASSERT_TRUE(config::createAccount(accounts, {"home", "pop.example.net", 995, "ann", "", "M", "/bin/true"}));
        forgetAccessToken("home");
    }

    void signIn(const std::string& tokenUrl, const std::string& refresh) {
        config::OAuthSettings s;
        s.auth = config::kAuthOAuth;
        s.tokenUrl = tokenUrl;
        s.clientId = "client-1";
        ASSERT_TRUE(config::writeOAuthSettings("home", s));
        ASSERT_TRUE(config::writeRefreshToken("home", refresh));
    }

    // Runs one renewal to its end on the loop (bounded).
    std::optional<RenewOutcome> renew() {
        std::optional<RenewOutcome> outcome;
        TokenRenewal renewal;
        renewal.start("home", config::readOAuthSettings("home"), "", [&](RenewOutcome o) { outcome = o; });
        long long deadline = plat::monotonicMs() + 10000;
        while (!outcome && plat::monotonicMs() < deadline) plat::pumpMessages(50);
        return outcome;
    }
};

TEST_F(Renewal, ANewTokenIsKeptInMemoryAndARotatedRefreshTokenStored) {
    OneShotEndpoint endpoint(
        httpReply(200, R"({"access_token":"AT-secret-1","expires_in":3600,"refresh_token":"RT-secret-2"})"));
    signIn(endpoint.url(), "RT-secret-1");
    EXPECT_EQ(renew(), RenewOutcome::Renewed);
    EXPECT_EQ(currentAccessToken("home"), "AT-secret-1");
    EXPECT_EQ(config::readOAuthSettings("home").refreshToken, "RT-secret-2");
    std::string request = endpoint.request();
    EXPECT_NE(request.find("POST /token "), std::string::npos);
    EXPECT_NE(request.find("grant_type=refresh_token"), std::string::npos);
    EXPECT_NE(request.find("refresh_token=RT-secret-1"), std::string::npos);
    EXPECT_NE(request.find("client_id=client-1"), std::string::npos);
    EXPECT_EQ(request.find("client_secret"), std::string::npos);  // a public client sends none
    EXPECT_EQ(testsupport::logText().find("secret"), std::string::npos);
}

TEST_F(Renewal, ARefusedRefreshTokenAsksForANewSignIn) {
    OneShotEndpoint endpoint(httpReply(400, R"({"error":"invalid_grant","error_description":"revoked RT-secret-1"})"));
    signIn(endpoint.url(), "RT-secret-1");
    EXPECT_EQ(renew(), RenewOutcome::SignInExpired);
    EXPECT_EQ(currentAccessToken("home"), "");
    std::string log = testsupport::logText();
    EXPECT_NE(log.find("sign-in for home expired: sign in again"), std::string::npos) << log;
    EXPECT_EQ(log.find("secret"), std::string::npos) << log;
}

TEST_F(Renewal, OtherAnswersFailForNowWithTheReasonLogged) {
    {
        OneShotEndpoint endpoint(httpReply(503, "<html>busy</html>"));
        signIn(endpoint.url(), "RT-secret-1");
        EXPECT_EQ(renew(), RenewOutcome::Failed);
    }
    {
        // A 200 without a token is no token.
        OneShotEndpoint endpoint(httpReply(200, R"({"token_type":"Bearer"})"));
        signIn(endpoint.url(), "RT-secret-1");
        EXPECT_EQ(renew(), RenewOutcome::Failed);
    }
    signIn("http://192.0.2.1/token", "RT-secret-1");  // plain http off this machine
    EXPECT_EQ(renew(), RenewOutcome::Failed);
    std::string log = testsupport::logText();
    EXPECT_NE(log.find("token renewal for home failed: HTTP 503"), std::string::npos) << log;
    EXPECT_NE(log.find("token renewal for home failed: http://192.0.2.1/token: plain http"), std::string::npos) << log;
    EXPECT_EQ(config::readOAuthSettings("home").refreshToken, "RT-secret-1");
}

TEST_F(Renewal, NoRefreshTokenAsksForASignInWithoutARequest) {
    signIn("http://127.0.0.1:1/token", "");
    EXPECT_EQ(renew(), RenewOutcome::SignInExpired);
}

TEST_F(Renewal, ARenewalDroppedHalfWayNeverAnswers) {
    // An endpoint that takes the connection (the kernel does) and never answers.
    int silent = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ASSERT_EQ(::bind(silent, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ::listen(silent, 1);
    ::getsockname(silent, reinterpret_cast<sockaddr*>(&a), &len);
    signIn("http://127.0.0.1:" + std::to_string(ntohs(a.sin_port)) + "/token", "RT");
    bool called = false;
    {
        TokenRenewal renewal;
        renewal.start("home", config::readOAuthSettings("home"), "", [&](RenewOutcome) { called = true; });
        plat::pumpMessages(20);
    }
    plat::pumpMessages(200);
    EXPECT_FALSE(called);
    ::close(silent);
}

TEST_F(Renewal, SettingsReadWholeAndAnUnknownKindIsThePassword) {
    std::string longToken(3000, 'r');
    signIn("https://oauth.example.net/token", longToken);
    EXPECT_EQ(config::readOAuthSettings("home").refreshToken, longToken);
    EXPECT_EQ(config::readAuthMode("home"), config::kAuthOAuth);

    plat::RegKey key;
    ASSERT_EQ(plat::regOpenKey(plat::Hive::CurrentUser, config::oauthKeyPath("home"), plat::KeyAccess::Write, key),
              plat::RegStatus::Ok);
    ASSERT_EQ(plat::regSetDword(key, "auth", 7), plat::RegStatus::Ok);
    EXPECT_EQ(config::readAuthMode("home"), config::kAuthPassword);
    EXPECT_NE(testsupport::logText().find("unknown sign-in kind \"auth\"=7 for home: the password is used"),
              std::string::npos);

    // A sign-in never makes an account; the outgoing host's values live in the settings key.
    EXPECT_FALSE(config::writeRefreshToken("nobody", "x"));
    EXPECT_FALSE(config::accountExists("nobody"));
    EXPECT_TRUE(config::writeRefreshToken(config::kOutgoingTarget, "out-token"));
    EXPECT_EQ(config::readOAuthSettings(config::kOutgoingTarget).refreshToken, "out-token");
    EXPECT_EQ(config::readAuthMode(config::kOutgoingTarget), config::kAuthPassword);
}

}  // namespace
