// The local SMTP server in this process: the "Received:" line's zone, and the idle time-out
// that every command re-arms.
#include "net/client.h"
#include "smtp/received_line.h"
#include "smtp/smtp_server.h"
#include "tests/net/net_fixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
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
    EXPECT_EQ(receivedLine(t, -30), head + "-0030");   // less than an hour west keeps its sign
    t.tm_mon = 11;
    EXPECT_NE(receivedLine(t, 0).find(" Dec 2026 "), std::string::npos);

    // Summer time: the zone printed is the one of the moment, beside that moment's local time.
    const char* old = std::getenv("TZ");
    std::string saved = old ? old : "";
    ::setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    const std::string mid = "Received: from localhost by localhost (Tarnwick MTA) ; ";
    EXPECT_EQ(receivedLineAt(1783422827), mid + "07 Jul 2026 13:13:47 +0200");   // 11:13:47 UTC
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
        Client::timeoutMs = Client::kDefaultTimeoutMs;
        server.reset();
        plat::destroyWindow(owner);
    }
    plat::HWND owner = 0;
    std::unique_ptr<SMTPServer> server;
    int port = 0;
};

TEST_F(SmtpInProcess, AClientThatFallsSilentAfterAnyCommandIsDisconnected) {
    Client::timeoutMs = 150;
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
    Client::timeoutMs = 150;
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

}  // namespace
