// Reading the EHLO reply and encoding the log-in: each table row is one way servers write it.
#include "net/transport_security.h"
#include "smtp/smtp_extensions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

EhloCapabilities read(const std::vector<std::string>& lines) {
    EhloCapabilities c;
    for (const std::string& l : lines) c.note(l);
    return c;
}

}  // namespace

TEST(EhloCapabilities, KeywordsAndMechanismsInEveryFormAndCase) {
    struct Row {
        std::vector<std::string> lines;
        bool startTls, plain, login;
    };
    const Row rows[] = {
        {{"250-mail.example.net", "250-STARTTLS", "250 AUTH PLAIN LOGIN"}, true, true, true},
        {{"250-x", "250 starttls"}, true, false, false},
        {{"250-AUTH=LOGIN", "250 SIZE 10"}, false, false, true},
        {{"250-AUTH=PLAIN LOGIN"}, false, true, true},
        {{"250 AUTH  cram-md5   plain"}, false, true, false},
        // Look-alikes name nothing.
        {{"250-STARTTLSX", "250-XAUTH PLAIN", "250-AUTHPLAIN", "250 SIZE PLAIN"}, false, false, false},
        // The greeting line's text is not a keyword; a bare code names nothing.
        {{"250 STARTTLS-host.example", "250", "25"}, false, false, false},
        {{"250 AUTH XOAUTH2 PLAINX LOGINS"}, false, false, false},
    };
    for (const Row& r : rows) {
        EhloCapabilities c = read(r.lines);
        EXPECT_EQ(c.startTls, r.startTls) << r.lines.front();
        EXPECT_EQ(c.authPlain, r.plain) << r.lines.front();
        EXPECT_EQ(c.authLogin, r.login) << r.lines.front();
    }
}

TEST(AuthEncoding, Base64OfEachRemainderLengthAndEightBitBytes) {
    EXPECT_EQ(base64Encode(""), "");
    EXPECT_EQ(base64Encode("a"), "YQ==");
    EXPECT_EQ(base64Encode("ab"), "YWI=");
    EXPECT_EQ(base64Encode("abc"), "YWJj");
    EXPECT_EQ(base64Encode("abcd"), "YWJjZA==");
    EXPECT_EQ(base64Encode(std::string("\xff\xfe\x00", 3)), "//4A");
    EXPECT_EQ(base64Encode("Username:"), "VXNlcm5hbWU6");
}

TEST(AuthEncoding, PlainCarriesEmptyIdentityUserAndPasswordWithTheirNuls) {
    EXPECT_EQ(authPlainCommand("ann", "pw"), "AUTH PLAIN AGFubgBwdw==");
    // A line end in a password stays inside the base64 answer: it cannot end the command.
    std::string command = authPlainCommand("ann@example.net", "p\r\nRSET");
    EXPECT_EQ(command.find_first_of("\r\n"), std::string::npos);
    EXPECT_EQ(command, "AUTH PLAIN " + base64Encode(std::string("\0ann@example.net\0p\r\nRSET", 24)));
}

TEST(NeverInClear, APasswordTravelsOnlyOverTlsOrToThisMachine) {
    EXPECT_TRUE(passwordMayTravel(true, false));
    EXPECT_TRUE(passwordMayTravel(false, true));
    EXPECT_FALSE(passwordMayTravel(false, false));
}

TEST(NeverInClear, AnUnknownSecurityValueNeverMeansPlain) {
    EXPECT_EQ(securityFromSetting(0), Security::None);
    EXPECT_EQ(securityFromSetting(1), Security::StartTls);
    EXPECT_EQ(securityFromSetting(2), Security::Tls);
    EXPECT_EQ(securityFromSetting(3), Security::Tls);
    EXPECT_EQ(securityFromSetting(0xffffffffu), Security::Tls);
}
