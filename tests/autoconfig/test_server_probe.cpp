// The server check against scripted servers on loopback: why a log-in failed (a refused
// password, user or token, no usable mechanism) and whether the server fell silent or went
// away, told as values of the report for POP3, IMAP and SMTP.
#include "autoconfig/server_probe.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

namespace {

using autoconfig::LoginFailure;
using autoconfig::ProbeReport;
using autoconfig::ProbeTarget;
using autoconfig::Protocol;
using plat::StreamFailure;

const std::string kClose;  // as an answer: the server closes the connection
const std::string kSilent = "(silent)";  // as an answer: the server says nothing more

// A server for one connection: it sends greeting, then answers the n-th line it hears with
// answers[n] (CRLFs included), and keeps every line. Bounded: it waits at most 5 s for anything.
class ScriptedServer {
public:
    ScriptedServer(std::string greeting, std::vector<std::string> answers, int family = AF_INET)
        : greeting_(std::move(greeting)),
          answers_(std::move(answers)) {
        listener_ = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_storage at{};
        socklen_t length = family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
        if (family == AF_INET6) {
            auto* a6 = reinterpret_cast<sockaddr_in6*>(&at);
            a6->sin6_family = AF_INET6;
            a6->sin6_addr = in6addr_loopback;
        } else {
            auto* a4 = reinterpret_cast<sockaddr_in*>(&at);
            a4->sin_family = AF_INET;
            a4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        }
        listening_ = listener_ >= 0 && ::bind(listener_, reinterpret_cast<sockaddr*>(&at), length) == 0 &&
                     ::listen(listener_, 1) == 0 &&
                     ::getsockname(listener_, reinterpret_cast<sockaddr*>(&at), &length) == 0;
        if (!listening_) return;
        port_ = ntohs(family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&at)->sin6_port
                                         : reinterpret_cast<sockaddr_in*>(&at)->sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~ScriptedServer() {
        if (thread_.joinable()) thread_.join();
        if (listener_ >= 0) ::close(listener_);
    }
    bool listening() const { return listening_; }
    std::uint16_t port() const { return port_; }
    // Every line heard, once the probe has gone.
    const std::vector<std::string>& heard() {
        if (thread_.joinable()) thread_.join();
        return heard_;
    }

private:
    static bool ready(int fd) {
        pollfd p{fd, POLLIN, 0};
        return ::poll(&p, 1, 5000) == 1;
    }
    static void say(int fd, const std::string& text) { ::send(fd, text.data(), text.size(), MSG_NOSIGNAL); }

    void serve() {
        if (!ready(listener_)) return;
        int peer = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (peer < 0) return;
        std::string pending;
        bool open = true;
        if (greeting_ == kClose) open = false;
        else if (greeting_ != kSilent) say(peer, greeting_);
        while (open && ready(peer)) {
            char buffer[4096];
            long n = ::recv(peer, buffer, sizeof buffer, 0);
            if (n <= 0) break;
            pending.append(buffer, static_cast<std::size_t>(n));
            for (std::size_t end; open && (end = pending.find('\n')) != std::string::npos;) {
                std::string line = pending.substr(0, end);
                if (!line.empty() && line.back() == '\r') line.pop_back();
                pending.erase(0, end + 1);
                std::size_t turn = heard_.size();
                heard_.push_back(line);
                if (turn >= answers_.size() || answers_[turn] == kSilent) continue;
                if (answers_[turn] == kClose) open = false;
                else say(peer, answers_[turn]);
            }
        }
        ::close(peer);
    }

    std::string greeting_;
    std::vector<std::string> answers_;
    std::vector<std::string> heard_;
    int listener_ = -1;
    bool listening_ = false;
    std::uint16_t port_ = 0;
    std::thread thread_;
};

ProbeReport probe(ScriptedServer& server, Protocol protocol, const std::string& token = {},
                  const std::string& host = "127.0.0.1") {
    ProbeTarget t;
    t.protocol = protocol;
    t.host = host;
    t.port = server.port();
    t.security = Security::None;
    t.login = true;
    t.user = "ann";
    t.password = "secret-pw";
    t.accessToken = token;
    t.stepTimeoutMs = 2000;
    return autoconfig::probeServer(t);
}

std::string lastDetail(const ProbeReport& r) {
    return r.steps.empty() ? "(no steps)" : r.steps.back().name + ": " + r.steps.back().detail;
}

const char kPopGreeting[] = "+OK ready\r\n";
const char kPopCapa[] = "+OK\r\nUSER\r\nSASL XOAUTH2\r\n.\r\n";

TEST(ServerProbe, Pop3TellsARefusedUserPasswordOrTokenAndAMissingMechanismApart) {
    {
        ScriptedServer s(kPopGreeting, {kPopCapa, "-ERR no such mailbox\r\n"});
        ProbeReport r = probe(s, Protocol::Pop3);
        EXPECT_EQ(r.loginFailure, LoginFailure::UserRefused) << lastDetail(r);
        EXPECT_EQ(r.streamFailure, StreamFailure::None);
        // The password is not sent after a refused USER.
        EXPECT_EQ(s.heard(), (std::vector<std::string>{"CAPA", "USER ann"}));
    }
    {
        ScriptedServer s(kPopGreeting, {kPopCapa, "+OK\r\n", "-ERR [AUTH] Authentication failed.\r\n"});
        ProbeReport r = probe(s, Protocol::Pop3);
        EXPECT_EQ(r.loginFailure, LoginFailure::PasswordRefused) << lastDetail(r);
        // The words stay what trawlexctl has always printed.
        EXPECT_EQ(r.failedStep()->detail, "the server refused the password: -ERR [AUTH] Authentication failed.");
    }
    {
        // The token refused after the challenge that carries the server's error report.
        ScriptedServer s(kPopGreeting, {kPopCapa, "+ eyJzdGF0dXMiOiI0MDEifQ==\r\n", "-ERR [AUTH] invalid token\r\n"});
        ProbeReport r = probe(s, Protocol::Pop3, "access-token");
        EXPECT_EQ(r.loginFailure, LoginFailure::TokenRefused) << lastDetail(r);
        ASSERT_EQ(s.heard().size(), 3u);
        EXPECT_EQ(s.heard()[1].rfind("AUTH XOAUTH2 ", 0), 0u);
    }
    {
        ScriptedServer s(kPopGreeting, {"+OK\r\nUSER\r\n.\r\n"});
        ProbeReport r = probe(s, Protocol::Pop3, "access-token");
        EXPECT_EQ(r.loginFailure, LoginFailure::NoMechanism) << lastDetail(r);
    }
    {
        ScriptedServer s(kPopGreeting, {kPopCapa, "+OK\r\n", "+OK logged in\r\n", "+OK bye\r\n"});
        ProbeReport r = probe(s, Protocol::Pop3);
        EXPECT_TRUE(r.ok()) << lastDetail(r);
        EXPECT_EQ(r.loginFailure, LoginFailure::None);
    }
}

const char kImapGreeting[] = "* OK ready\r\n";

TEST(ServerProbe, ImapTellsARefusedPasswordOrTokenAndAMissingMechanismApart) {
    {
        ScriptedServer s(kImapGreeting, {"* CAPABILITY IMAP4rev1\r\na1 OK\r\n",
                                         "a3 NO [AUTHENTICATIONFAILED] Invalid credentials\r\n"});
        ProbeReport r = probe(s, Protocol::Imap);
        EXPECT_EQ(r.loginFailure, LoginFailure::PasswordRefused) << lastDetail(r);
        EXPECT_EQ(r.failedStep()->detail,
                  "the server refused the password: NO [AUTHENTICATIONFAILED] Invalid "
                  "credentials");
    }
    {
        // LOGIN disabled and nothing else offered: the password is not sent at all.
        ScriptedServer s(kImapGreeting, {"* CAPABILITY IMAP4rev1 LOGINDISABLED\r\na1 OK\r\n"});
        ProbeReport r = probe(s, Protocol::Imap);
        EXPECT_EQ(r.loginFailure, LoginFailure::NoMechanism) << lastDetail(r);
        EXPECT_EQ(s.heard(), (std::vector<std::string>{"a1 CAPABILITY"}));
    }
    {
        // LOGIN disabled, AUTHENTICATE PLAIN offered (the engine's way in): the response follows
        // the server's "+".
        ScriptedServer s(kImapGreeting, {"* CAPABILITY IMAP4rev1 LOGINDISABLED AUTH=PLAIN\r\na1 OK\r\n", "+ \r\n",
                                         "a3 OK logged in\r\n", "* BYE\r\na4 OK\r\n"});
        ProbeReport r = probe(s, Protocol::Imap);
        EXPECT_TRUE(r.ok()) << lastDetail(r);
        ASSERT_EQ(s.heard().size(), 4u);
        EXPECT_EQ(s.heard()[1], "a3 AUTHENTICATE PLAIN");
        EXPECT_EQ(s.heard()[2], "AGFubgBzZWNyZXQtcHc=");  // "\0ann\0secret-pw"
    }
    {
        // Untagged news before the server's "+" is passed over: the response still follows it.
        ScriptedServer s(kImapGreeting,
                         {"* CAPABILITY IMAP4rev1 LOGINDISABLED AUTH=PLAIN\r\na1 OK\r\n",
                          "* OK still here\r\n* 3 EXISTS\r\n+ \r\n", "a3 OK logged in\r\n", "* BYE\r\na4 OK\r\n"});
        ProbeReport r = probe(s, Protocol::Imap);
        EXPECT_TRUE(r.ok()) << lastDetail(r);
        ASSERT_GE(s.heard().size(), 3u);
        EXPECT_EQ(s.heard()[2], "AGFubgBzZWNyZXQtcHc=");
    }
    {
        ScriptedServer s(kImapGreeting, {"* CAPABILITY IMAP4rev1 AUTH=PLAIN LOGINDISABLED SASL-IR\r\na1 OK\r\n",
                                         "a3 NO [AUTHENTICATIONFAILED] no\r\n"});
        ProbeReport r = probe(s, Protocol::Imap);
        EXPECT_EQ(r.loginFailure, LoginFailure::PasswordRefused) << lastDetail(r);
        EXPECT_EQ(s.heard().at(1), "a3 AUTHENTICATE PLAIN AGFubgBzZWNyZXQtcHc=");
    }
    {
        ScriptedServer s(kImapGreeting, {"* CAPABILITY IMAP4rev1 AUTH=XOAUTH2 SASL-IR\r\na1 OK\r\n",
                                         "+ eyJzdGF0dXMiOiI0MDEifQ==\r\n", "a3 NO [AUTHENTICATIONFAILED] token\r\n"});
        ProbeReport r = probe(s, Protocol::Imap, "access-token");
        EXPECT_EQ(r.loginFailure, LoginFailure::TokenRefused) << lastDetail(r);
    }
    {
        ScriptedServer s(kImapGreeting, {"* CAPABILITY IMAP4rev1 AUTH=PLAIN\r\na1 OK\r\n"});
        ProbeReport r = probe(s, Protocol::Imap, "access-token");
        EXPECT_EQ(r.loginFailure, LoginFailure::NoMechanism) << lastDetail(r);
    }
}

const char kSmtpGreeting[] = "220 mx.example.test ESMTP\r\n";

TEST(ServerProbe, SmtpTellsARefusedPasswordOrTokenAndAMissingMechanismApart) {
    {
        ScriptedServer s(kSmtpGreeting, {"250-mx.example.test\r\n250 AUTH PLAIN LOGIN\r\n",
                                         "535 5.7.8 Authentication credentials invalid\r\n"});
        ProbeReport r = probe(s, Protocol::Smtp);
        EXPECT_EQ(r.loginFailure, LoginFailure::PasswordRefused) << lastDetail(r);
    }
    {
        // AUTH LOGIN refused at its last turn.
        ScriptedServer s(kSmtpGreeting, {"250-mx.example.test\r\n250 AUTH LOGIN\r\n", "334 VXNlcm5hbWU6\r\n",
                                         "334 UGFzc3dvcmQ6\r\n", "535 5.7.8 no\r\n"});
        ProbeReport r = probe(s, Protocol::Smtp);
        EXPECT_EQ(r.loginFailure, LoginFailure::PasswordRefused) << lastDetail(r);
        EXPECT_EQ(s.heard().size(), 4u);
    }
    {
        ScriptedServer s(kSmtpGreeting, {"250-mx.example.test\r\n250 8BITMIME\r\n"});
        ProbeReport r = probe(s, Protocol::Smtp);
        EXPECT_EQ(r.loginFailure, LoginFailure::NoMechanism) << lastDetail(r);
    }
    {
        ScriptedServer s(kSmtpGreeting, {"250-mx.example.test\r\n250 AUTH PLAIN XOAUTH2\r\n",
                                         "334 eyJzdGF0dXMiOiI0MDEifQ==\r\n", "535 5.7.8 token refused\r\n"});
        ProbeReport r = probe(s, Protocol::Smtp, "access-token");
        EXPECT_EQ(r.loginFailure, LoginFailure::TokenRefused) << lastDetail(r);
    }
    {
        // The server goes away in the middle of the log-in: no refusal, a lost connection.
        ScriptedServer s(kSmtpGreeting, {"250-mx.example.test\r\n250 AUTH PLAIN\r\n", kClose});
        ProbeReport r = probe(s, Protocol::Smtp);
        EXPECT_EQ(r.loginFailure, LoginFailure::Other) << lastDetail(r);
        EXPECT_EQ(r.streamFailure, StreamFailure::Closed);
    }
}

TEST(ServerProbe, ASilentOrVanishingServerIsToldFromOneThatAnswersOddly) {
    {
        ScriptedServer s(kSilent, {});
        ProbeTarget t;
        t.host = "127.0.0.1";
        t.port = s.port();
        t.security = Security::None;
        t.stepTimeoutMs = 300;
        ProbeReport r = autoconfig::probeServer(t);
        ASSERT_NE(r.failedStep(), nullptr);
        EXPECT_EQ(r.failedStep()->name, "greeting");
        EXPECT_EQ(r.streamFailure, StreamFailure::TimedOut);
    }
    {
        ScriptedServer s(kClose, {});
        ProbeReport r = probe(s, Protocol::Imap);
        EXPECT_EQ(r.failedStep()->name, "greeting");
        EXPECT_EQ(r.streamFailure, StreamFailure::Closed);
    }
    {
        ScriptedServer s("HTTP/1.1 400 Bad Request\r\n", {});
        ProbeReport r = probe(s, Protocol::Pop3);
        EXPECT_EQ(r.failedStep()->name, "greeting");
        EXPECT_EQ(r.streamFailure, StreamFailure::None);
        EXPECT_EQ(r.loginFailure, LoginFailure::None);
    }
}

// A password is not sent in plain text to a server named other than by a loopback name.
TEST(ServerProbe, APasswordThatWouldTravelUnencryptedIsNotSent) {
    ScriptedServer s(kPopGreeting, {kPopCapa}, AF_INET6);
    if (!s.listening()) GTEST_SKIP() << "no IPv6 loopback here";
    ProbeReport r = probe(s, Protocol::Pop3, {}, "::1");
    EXPECT_EQ(r.loginFailure, LoginFailure::Unencrypted) << lastDetail(r);
    EXPECT_EQ(s.heard(), (std::vector<std::string>{"CAPA"}));
}

}  // namespace
