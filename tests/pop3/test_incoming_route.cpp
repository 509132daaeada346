// Routing a retrieved item into its mailbox: plain moves, name clashes, paths without a
// directory, and moves that fail.
#include "pop3/incoming_route.h"
#include "tests/net/net_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

class RouteTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::remove_all("accounts");
        fs::create_directories("accounts/holding");
        fs::create_directories("accounts/mb");
    }
    void hold(const std::string& name, const std::string& text) {
        testsupport::writeFile("accounts/holding/" + name, text);
    }
};

}  // namespace

TEST_F(RouteTest, NameClashesGetCountedSuffixesAfterTheExtension) {
    hold("x.rfc822", "one");
    EXPECT_TRUE(routeIncomingItem("accounts/holding/x.rfc822", "mb").stored);
    hold("x.rfc822", "two");
    EXPECT_EQ(routeIncomingItem("accounts/holding/x.rfc822", "mb").destination, "accounts/mb/x.rfc822-000");
    hold("x.rfc822", "three");
    EXPECT_EQ(routeIncomingItem("accounts/holding/x.rfc822", "mb").destination, "accounts/mb/x.rfc822-001");
    EXPECT_EQ(testsupport::readFile("accounts/mb/x.rfc822"), "one");
    EXPECT_EQ(testsupport::readFile("accounts/mb/x.rfc822-000"), "two");
    EXPECT_EQ(testsupport::readFile("accounts/mb/x.rfc822-001"), "three");
    EXPECT_FALSE(fs::exists("accounts/holding/x.rfc822"));
}

TEST_F(RouteTest, TheSameBytesUnderTheSameNameAreOneItemNotASecondCopy) {
    hold("x.rfc822", "one");
    EXPECT_TRUE(routeIncomingItem("accounts/holding/x.rfc822", "mb").stored);
    hold("x.rfc822", "two");
    EXPECT_EQ(routeIncomingItem("accounts/holding/x.rfc822", "mb").destination, "accounts/mb/x.rfc822-000");
    // Retrieved again after a run ended between storing and recording it.
    for (const char* text : {"one", "two"}) {
        hold("x.rfc822", text);
        RoutedItem routed = routeIncomingItem("accounts/holding/x.rfc822", "mb");
        EXPECT_TRUE(routed.stored);
        EXPECT_EQ(testsupport::readFile(routed.destination), text);
        EXPECT_FALSE(fs::exists("accounts/holding/x.rfc822"));
    }
    EXPECT_FALSE(fs::exists("accounts/mb/x.rfc822-001"));
    // A longer or shorter text is a different message.
    hold("x.rfc822", "one!");
    EXPECT_EQ(routeIncomingItem("accounts/holding/x.rfc822", "mb").destination, "accounts/mb/x.rfc822-001");
}

TEST_F(RouteTest, APathWithoutDirectoryIsAppendedWhole) {
    testsupport::writeFile("bare.rfc822", "b");
    EXPECT_EQ(routeIncomingItem("bare.rfc822", "mb").destination, "accounts/mb/bare.rfc822");
    EXPECT_EQ(testsupport::readFile("accounts/mb/bare.rfc822"), "b");
}

TEST_F(RouteTest, AFailedMoveLeavesTheItemAndAnswersTheDestinationAnyway) {
    // A name that leads out of "accounts/" gets no directory made for it.
    for (const char* box : {"missing/deeper", "../../outside"}) {
        hold("y.rfc822", "kept");
        RoutedItem routed = routeIncomingItem("accounts/holding/y.rfc822", box);
        EXPECT_EQ(routed.destination, std::string("accounts/") + box + "/y.rfc822");
        EXPECT_FALSE(routed.stored);
        EXPECT_EQ(testsupport::readFile("accounts/holding/y.rfc822"), "kept");
    }
    EXPECT_FALSE(fs::exists("accounts/missing"));
    EXPECT_FALSE(fs::exists("../outside"));
    EXPECT_NE(nettest::todaysLog().find("APP HIGH FILE ERROR DURING ROUTING OF INCOMING MAIL 2"), std::string::npos);
}

TEST_F(RouteTest, AMissingMailboxDirectoryIsMadePrivateAndTheItemStored) {
    hold("z.rfc822", "here");
    RoutedItem routed = routeIncomingItem("accounts/holding/z.rfc822", "gone");
    EXPECT_TRUE(routed.stored);
    EXPECT_EQ(testsupport::readFile("accounts/gone/z.rfc822"), "here");
    EXPECT_EQ(fs::status("accounts/gone").permissions(), fs::perms::owner_all);
}
