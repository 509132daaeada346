// The settings pages' checks without widgets: which value is refused, with which message, and
// which field takes the focus.
#include "frontend/settings/security_fields.h"
#include "frontend/settings/validation.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace validation;

namespace {

bool readable(const std::string& path) {
    return path == "/etc/ca.pem";
}

ConnectionValues valid() {
    return {" smtp.example.net ", "587", "3", "5", "ann", "pw", ""};
}

TEST(ConnectionCheck, EachRefusalSaysWhyAndPointsAtItsField) {
    EXPECT_FALSE(checkConnection(valid(), readable));
    struct Case {
        void (*change)(ConnectionValues&);
        std::string message;
        ConnectionField field;
    };
    const Case cases[] = {
        {[](ConnectionValues& v) { v.smtpServer = "   "; }, kNoHostMessage, ConnectionField::None},
        {[](ConnectionValues& v) { v.smtpPort = "0"; }, kPortMessage, ConnectionField::SmtpPort},
        {[](ConnectionValues& v) { v.smtpPort = "65536"; }, kPortMessage, ConnectionField::SmtpPort},
        {[](ConnectionValues& v) { v.smtpPort = ""; }, kPortMessage, ConnectionField::SmtpPort},
        {[](ConnectionValues& v) { v.retryCount = "0"; }, kRetryMessage, ConnectionField::RetryCount},
        {[](ConnectionValues& v) { v.retryPause = "35792"; }, kPauseMessage, ConnectionField::RetryPause},
        {[](ConnectionValues& v) { v.retryPause = "99999999999"; }, kPauseMessage, ConnectionField::RetryPause},
        {[](ConnectionValues& v) { v.smtpUser = std::string(260, 'u'); },
         "The user name is too long: at most 259 bytes can be stored.", ConnectionField::SmtpUser},
        {[](ConnectionValues& v) { v.smtpPassword = std::string(260, 'p'); },
         "The password is too long: at most 259 bytes can be stored.", ConnectionField::SmtpPassword},
        {[](ConnectionValues& v) { v.caFile = "/nowhere.pem"; }, "The CA file cannot be read: %1",
         ConnectionField::CaFile},
    };
    for (const Case& c : cases) {
        ConnectionValues v = valid();
        c.change(v);
        auto refusal = checkConnection(v, readable);
        ASSERT_TRUE(refusal) << c.message;
        EXPECT_EQ(refusal->message, c.message);
        EXPECT_EQ(refusal->field, c.field) << c.message;
    }
    ConnectionValues unreadable = valid();
    unreadable.caFile = "/nowhere.pem";
    EXPECT_EQ(checkConnection(unreadable, readable)->argument, "/nowhere.pem");  // the box shows it for %1
    ConnectionValues edge = valid();
    edge.smtpUser = std::string(259, 'u');
    edge.retryPause = "35791";
    edge.caFile = "/etc/ca.pem";
    EXPECT_FALSE(checkConnection(edge, readable));
}

TEST(PeriodCheck, OnlineAtLeastOneOfflineNotShorterAndWithinTheTimersReach) {
    EXPECT_EQ(checkPeriods(1, 60), "");
    EXPECT_EQ(checkPeriods(5, 5), "");
    EXPECT_EQ(checkPeriods(0, 60), kPeriodMessage);
    EXPECT_EQ(checkPeriods(10, 9), kPeriodMessage);
    EXPECT_EQ(checkPeriods(1, 35791), "");
    EXPECT_EQ(checkPeriods(1, 35792), kTooLongMessage);
}

TEST(AccountChecks, EveryProblemOfAPageIsReportedInOrder) {
    auto none = [](const std::string&) { return false; };
    auto home = [](const std::string& t) { return t == "home"; };
    EXPECT_TRUE(checkAccountTitle("work", home).empty());
    EXPECT_EQ(checkAccountTitle("", home),
              std::vector<std::string>{"Please enter an account title or click Cancel to exit wizard."});
    EXPECT_EQ(checkAccountTitle("my home", none).size(), 1u);
    EXPECT_EQ(checkAccountTitle("home", home),
              std::vector<std::string>{"An account with the title you have entered already exists."});
    // The outgoing host's sign-in and secrets go by this name, in any letter case.
    const std::vector<std::string> kept{
        "The title \"outgoing\" is kept for the outgoing mail server. Please choose another title."};
    EXPECT_EQ(checkAccountTitle("outgoing", none), kept);
    EXPECT_EQ(checkAccountTitle("OutGoing", none), kept);
    EXPECT_TRUE(checkAccountTitle("outgoing2", none).empty());
    EXPECT_TRUE(checkAccountTitle("outgoin", none).empty());

    EXPECT_TRUE(checkAccountServer("pop.example.net", "jo", "pw", "110").empty());
    std::vector<std::string> all = checkAccountServer("pop@x", "", "pw", "0");
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0], "Please don't include '@', '?', '*' or space characters in the server name.");
    EXPECT_EQ(all[2], kPortMessage);
}

TEST(Numbers, DigitsWithBlanksAroundOnlyAndNoOverflow) {
    EXPECT_EQ(readNumber(" 42 "), 42u);
    EXPECT_FALSE(readNumber(""));
    EXPECT_FALSE(readNumber("4 2"));
    EXPECT_FALSE(readNumber("-1"));
    EXPECT_EQ(readNumber("4294967295"), 4294967295u);
    EXPECT_FALSE(readNumber("4294967296"));
    EXPECT_EQ(readPort("65535"), 65535u);
    EXPECT_FALSE(readPort("65536"));
}

TEST(PlainText, WarnedForEveryServerButThisMachine) {
    struct Case {
        std::uint32_t security;
        const char* host;
        bool warned;
    } cases[] = {
        {kSecurityNone, "pop.example.net", true},
        {kSecurityNone, "10.0.0.1", true},
        {kSecurityNone, "128.0.0.1", true},
        {kSecurityNone, "127.0.0.1.example.net", true},
        {kSecurityNone, "127.0.0.256", true},
        {kSecurityNone, "127.1", true},
        {kSecurityNone, "127.0.0.1", false},
        {kSecurityNone, " 127.255.3.4 ", false},
        {kSecurityNone, "LocalHost", false},
        {kSecurityNone, "::1", false},
        {kSecurityNone, "", false},
        {kSecurityStartTls, "pop.example.net", false},
        {kSecurityTls, "pop.example.net", false},
    };
    for (const Case& c : cases) EXPECT_EQ(sendsInTheClear(c.security, c.host), c.warned) << c.host;
}

}  // namespace
