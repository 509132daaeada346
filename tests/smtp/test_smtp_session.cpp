// The local SMTP server in this process: the "Received:" line's zone, the idle time-out that
// every command re-arms, and who may send: the owner, those logged in with AUTH, or everyone.
#include "net/base64.h"
#include "net/connection.h"
#include "platform/clock.h"
#include "config/settings.h"
#include "smtp/received_line.h"
#include "smtp/smtp_server.h"
#include "tests/net/net_fixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <sys/stat.h>

using namespace nettest;

namespace {

TEST(ReceivedLine, ZoneIsTheOffsetOfTheMomentItStamps) {
    std::tm t{};
    t.tm_year = 2026 - 1900;
    t.tm_mon = 0;
    t.tm_mday = 5;
    t.tm_hour = 14;
    t.tm_min = 30;
    t.tm_sec = 7;
    const std::string head = "Received: from localhost by localhost (Tarnwick MTA) ; 05 Jan 2026 14:30:07 ";
    EXPECT_EQ(receivedLine(t, 60), head + "+0100");
    EXPECT_EQ(receivedLine(t, -300), head + "-0500");
    EXPECT_EQ(receivedLine(t, 330), head + "+0530");
    EXPECT_EQ(receivedLine(t, 0), head + "+0000");
    EXPECT_EQ(receivedLine(t, -30), head + "-0030");  // less than an hour west keeps its sign
    t.tm_mon = 11;
    EXPECT_NE(receivedLine(t, 0).find(" Dec 2026 "), std::string::npos);

    // Summer time: the zone printed is the one of the moment, beside that moment's local time.
    const char* old = std::getenv("TZ");
    std::string saved = old ? old : "";
    ::setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    const std::string mid = "Received: from localhost by localhost (Tarnwick MTA) ; ";
    EXPECT_EQ(receivedLineAt(1783422827), mid + "07 Jul 2026 13:13:47 +0200");  // 11:13:47 UTC
    EXPECT_EQ(receivedLineAt(1767784427), mid + "07 Jan 2026 12:13:47 +0100");
    ::setenv("TZ", "XNT0:30", 1);
    EXPECT_EQ(receivedLineAt(1767784427), mid + "07 Jan 2026 10:43:47 -0030");
    if (old) {
        ::setenv("TZ", saved.c_str(), 1);
    } else {
        ::unsetenv("TZ");
    }
}

class SmtpInProcess : public ::testing::Test {
protected:
    void SetUp() override {
        ::mkdir("outgoing", 0700);
        owner = makeOwner();
        server = std::make_unique<SMTPServer>(owner, Peers::LocalOnly, "outgoing/", nullptr);
        {
            RawListener probe;
            port = probe.port;
        }
        ASSERT_TRUE(server->listen(port));
    }
    void TearDown() override {
        Connection::timeoutMs = Connection::kDefaultTimeoutMs;
        server.reset();
        plat::destroyWindow(owner);
    }
    plat::HWND owner = 0;
    std::unique_ptr<SMTPServer> server;
    int port = 0;
};

TEST_F(SmtpInProcess, AClientThatFallsSilentAfterAnyCommandIsDisconnected) {
    Connection::timeoutMs = 150;
    for (const char* last : {"MAIL FROM:<a@x>", "RCPT TO:<b@y>", "RSET", "NOOP"}) {
        int fd = rawConnect(port);
        ASSERT_TRUE(waitFor([&] { return server->sessionCount() == 1; }));
        plat::pumpMessages(20);
        EXPECT_EQ(readLine(fd), "220 LOCALHOST Service ready\r\n");
        sendText(fd, "HELO x\r\n");
        if (std::string(last) == "RCPT TO:<b@y>") sendText(fd, "MAIL FROM:<a@x>\r\n");
        sendText(fd, std::string(last) + "\r\n");
        // The session ends by itself once the time-out has run out after the last command.
        EXPECT_TRUE(waitFor([&] { return server->sessionCount() == 0; }, 3000)) << last;
        ::close(fd);
    }
}

TEST_F(SmtpInProcess, AClientThatFallsSilentInTheMiddleOfALineIsDisconnected) {
    Connection::timeoutMs = 150;
    for (bool inData : {false, true}) {
        int fd = rawConnect(port);
        ASSERT_TRUE(waitFor([&] { return server->sessionCount() == 1; }));
        plat::pumpMessages(20);
        EXPECT_EQ(readLine(fd), "220 LOCALHOST Service ready\r\n");
        sendText(fd, "HELO x\r\n");
        if (inData) {
            sendText(fd, "MAIL FROM:<a@x>\r\nRCPT TO:<b@y>\r\nDATA\r\nSubject: half\r\nand a half li");
        } else {
            sendText(fd, "MAIL FR");
        }
        EXPECT_TRUE(waitFor([&] { return server->sessionCount() == 0; }, 3000)) << inData;
        ::close(fd);
    }
    // The partial item of the data phase is gone with its session.
    for (const auto& entry : std::filesystem::directory_iterator("."))
        EXPECT_NE(entry.path().extension(), ".rfc822") << entry.path();
    EXPECT_TRUE(std::filesystem::is_empty("outgoing"));
}

// The peer's user comes from a stand-in, so that other users and unknown ones can be played.
class SmtpSenders : public SmtpInProcess {
protected:
    static constexpr std::uint32_t kOwner = 1000;
    void SetUp() override {
        SmtpInProcess::SetUp();
        // The counts of log lines below are of this case's lines alone.
        std::time_t now = std::time(nullptr);
        char day[32];
        std::strftime(day, sizeof day, "%Y%m%d.log", std::localtime(&now));
        std::remove(day);
        std::filesystem::create_directories("accounts");
        plat::RegKey accounts;
        ASSERT_TRUE(config::openAccountsKey(accounts));
        (void)config::deleteAccountKey(accounts, "home");
        ASSERT_TRUE(config::createAccount(accounts, {"home", "pop.example.net", 110, "ann", "pw", "M", "/bin/m"}));
        ASSERT_TRUE(config::writeSetting(config::kLocalSmtpUsers, 0));
        server->setOwnerLookup(
            [this](plat::SOCKET) {
                ++lookups;
                return peer;
            },
            kOwner);
    }
    int connectAndGreet(const std::string& greeting = "HELO x") {
        int fd = rawConnect(port);
        EXPECT_TRUE(waitFor([&] { return server->sessionCount() == 1; }));
        EXPECT_EQ(reply(fd), "220 LOCALHOST Service ready\r\n");
        EXPECT_EQ(ask(fd, greeting).substr(0, 3), "250");
        if (greeting.rfind("EHLO", 0) == 0) {
            EXPECT_EQ(reply(fd), "250 AUTH PLAIN LOGIN\r\n");
        }
        return fd;
    }
    // The next reply line, pumping the loop while it has not come (at most ms); "" if none.
    std::string reply(int fd, int ms = 3000) {
        long long end = plat::monotonicMs() + ms;
        while (plat::monotonicMs() < end) {
            plat::pumpMessages(10);
            char buf[512];
            long n = ::recv(fd, buf, sizeof buf, MSG_PEEK | MSG_DONTWAIT);
            if (n > 0 && std::string(buf, static_cast<std::size_t>(n)).find("\r\n") != std::string::npos)
                return readLine(fd);
        }
        return "";
    }
    std::string ask(int fd, const std::string& line, int ms = 3000) {
        sendText(fd, line + "\r\n");
        return reply(fd, ms);
    }
    void closeAndWait(int fd) {
        ::close(fd);
        EXPECT_TRUE(waitFor([&] { return server->sessionCount() == 0; }));
    }
    static std::size_t count(const std::string& text, const std::string& what) {
        std::size_t n = 0;
        for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
        return n;
    }
    int lookups = 0;
    plat::PeerOwner peer{plat::PeerOwner::Status::Found, 2000, ""};
};

const char kOwnerOnly[] = "530 5.7.0 Only the owner of this gateway may send here\r\n";
const char kLoggedIn[] = "235 2.7.0 Authentication successful\r\n";
const char kBadCredentials[] = "535 5.7.8 Authentication credentials invalid\r\n";

std::string plain(const std::string& identity, const std::string& title, const std::string& password) {
    return base64Encode(identity + std::string(1, '\0') + title + std::string(1, '\0') + password);
}

TEST_F(SmtpSenders, AnotherUserIsRefusedAtMailUntilItLogsIn) {
    int fd = connectAndGreet("EHLO client.example");
    EXPECT_EQ(ask(fd, "MAIL FROM:<a@x>"), kOwnerOnly);
    EXPECT_EQ(ask(fd, "RCPT TO:<b@y>"), "500 command unrecognised\r\n");
    EXPECT_EQ(ask(fd, "MAIL FROM:<a@x>"), kOwnerOnly);
    EXPECT_EQ(ask(fd, "AUTH PLAIN " + plain("", "HOME", "pw")), kLoggedIn);  // titles as the registry matches them
    EXPECT_EQ(ask(fd, "MAIL FROM:<a@x>"), "250 Return-path '<a@x>' okay\r\n");
    EXPECT_EQ(ask(fd, "RCPT TO:<b@y>"), "250 Recipient '<b@y>' okay\r\n");
    EXPECT_EQ(ask(fd, "DATA"), "354 Start mail input; end with <CRLF>.<CRLF>\r\n");
    sendText(fd, "Subject: let in\r\n");
    EXPECT_EQ(ask(fd, "."), "250 okay mail item received\r\n");
    closeAndWait(fd);
    // One look-up for the connection, however many MAILs; one HIGH line naming uid and port.
    EXPECT_EQ(lookups, 1);
    std::string log = todaysLog();
    EXPECT_EQ(count(log, "MAIL HIGH Local SMTP mail refused : uid 2000 is not the owner, peer port "), 1u) << log;
    EXPECT_EQ(count(log, "MAIL  MED SMTP log-in accepted : title 'HOME', peer port "), 1u) << log;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator("outgoing"), {}), 2);  // item and route
}

TEST_F(SmtpSenders, TheOwnerSendsAndAnUnknownUserDoesNot) {
    peer = {plat::PeerOwner::Status::Found, kOwner, ""};
    int fd = connectAndGreet();
    EXPECT_EQ(ask(fd, "MAIL FROM:<a@x>"), "250 Return-path '<a@x>' okay\r\n");
    closeAndWait(fd);

    peer = {plat::PeerOwner::Status::NotListed, 0, "connection not listed in /proc/net/tcp"};
    fd = connectAndGreet();
    EXPECT_EQ(ask(fd, "MAIL FROM:<a@x>"), kOwnerOnly);
    closeAndWait(fd);
    peer = {plat::PeerOwner::Status::Unreadable, 0, "/proc/net/tcp: No such file or directory"};
    fd = connectAndGreet();
    EXPECT_EQ(ask(fd, "MAIL FROM:<a@x>"), kOwnerOnly);
    closeAndWait(fd);
    std::string log = todaysLog();
    EXPECT_EQ(count(log,
                    "MAIL  MED Local SMTP mail refused : the peer's user is unknown (connection not listed in "
                    "/proc/net/tcp), peer port "),
              1u)
        << log;
    EXPECT_EQ(count(log, "the peer's user is unknown (/proc/net/tcp: No such file or directory)"), 1u) << log;
    EXPECT_EQ(count(log, "MAIL HIGH Local SMTP mail refused"), 0u) << log;
}

TEST_F(SmtpSenders, EveryoneMaySendWhileTheSettingSaysSo) {
    ASSERT_TRUE(config::writeSetting(config::kLocalSmtpUsers, 1));
    int fd = connectAndGreet();
    EXPECT_EQ(ask(fd, "MAIL FROM:<a@x>"), "250 Return-path '<a@x>' okay\r\n");
    closeAndWait(fd);
    // Any other value is the default again, from the next connection on.
    ASSERT_TRUE(config::writeSetting(config::kLocalSmtpUsers, 2));
    fd = connectAndGreet();
    EXPECT_EQ(ask(fd, "MAIL FROM:<a@x>"), kOwnerOnly);
    closeAndWait(fd);
}

TEST_F(SmtpSenders, AuthDialogues) {
    struct Step {
        const char* line;
        const char* reply;
    };
    const std::string user = base64Encode("home"), pw = base64Encode("pw");
    const std::vector<std::vector<Step>> dialogues = {
        {{"AUTH LOGIN", "334 VXNlcm5hbWU6\r\n"},
         {user.c_str(), "334 UGFzc3dvcmQ6\r\n"},
         {pw.c_str(), kLoggedIn},
         {"AUTH LOGIN", "503 5.5.1 Already authenticated\r\n"}},
        {{"auth plain", "334 \r\n"}, {"*", "501 5.0.0 Authentication cancelled\r\n"}, {"MAIL FROM:<a@x>", kOwnerOnly}},
        {{"AUTH PLAIN !!!!", "501 5.5.2 Cannot decode response\r\n"},
         {"AUTH PLAIN aG9tZQ=", "501 5.5.2 Cannot decode response\r\n"},  // bad padding
         {"AUTH PLAIN aG9tZQ==", "501 5.5.2 Cannot decode response\r\n"},  // no NULs
         {"AUTH CRAM-MD5", "504 5.5.4 Unrecognised authentication type\r\n"},
         {"AUTH", "501 5.5.4 Syntax: AUTH mechanism [initial-response]\r\n"}},
    };
    for (const auto& dialogue : dialogues) {
        int fd = connectAndGreet("EHLO x");
        for (const Step& step : dialogue) EXPECT_EQ(ask(fd, step.line), step.reply) << step.line;
        closeAndWait(fd);
    }
    // The owner inside a transaction: AUTH waits for its end.
    peer = {plat::PeerOwner::Status::Found, kOwner, ""};
    int fd = connectAndGreet("EHLO x");
    EXPECT_EQ(ask(fd, "MAIL FROM:<a@x>"), "250 Return-path '<a@x>' okay\r\n");
    EXPECT_EQ(ask(fd, "AUTH PLAIN " + plain("", "home", "pw")), "503 5.5.1 Not within a mail transaction\r\n");
    closeAndWait(fd);
}

TEST_F(SmtpSenders, ARefusalWaitsForTheThrottleAndTheLinesBehindItWaitInOrder) {
    for (const std::string& response : {plain("", "home", "wrong"), plain("someone", "home", "pw")}) {
        int fd = connectAndGreet("EHLO x");
        long long began = plat::monotonicMs();
        // MAIL sent right behind AUTH is answered after it, still as another user's.
        sendText(fd, "AUTH PLAIN " + response + "\r\nMAIL FROM:<a@x>\r\n");
        EXPECT_EQ(reply(fd, 5000), kBadCredentials);
        EXPECT_GE(plat::monotonicMs() - began, LoginThrottle::kFailureDelayMs - 50);
        EXPECT_EQ(reply(fd), kOwnerOnly);
        closeAndWait(fd);
    }
    std::string log = todaysLog();
    EXPECT_EQ(count(log, "MAIL  MED SMTP log-in failed : title 'home', peer port "), 2u) << log;
    EXPECT_EQ(log.find("wrong"), std::string::npos);
}

}  // namespace
