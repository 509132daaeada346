// Which outgoing host takes which queued item: the address patterns, the grouping of a queue
// into connections, and the accounts' settings as the registry gives them.
#include "platform/paths.h"
#include "platform/registry.h"
#include "config/settings.h"
#include "smtp/outgoing_accounts.h"
#include "smtp/outgoing_results.h"
#include "smtp/outgoing_routes.h"
#include "tests/support/temp_env.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace outgoing;

namespace {

AccountRoute route(const char* account, std::vector<std::string> patterns, const char* server,
                   std::uint32_t security = 0, const char* user = "", bool oauth = false) {
    AccountRoute r;
    r.account = account;
    r.addresses = std::move(patterns);
    r.server = server;
    r.port = 587;
    r.security = security;
    r.user = user;
    r.oauth = oauth;
    return r;
}

TEST(OutgoingRoutes, PatternsClaimTheirSendersWhateverTheCaseAndTag) {
    struct Case {
        const char* pattern;
        const char* reversePath;
        bool claimed;
    };
    const Case cases[] = {
        {"ann@example.org", "<ann@example.org>", true},
        {"Ann@Example.ORG", "<aNN@example.org>", true},
        {"ann@example.org", "<ann+lists@example.org>", true},
        {"ann+lists@example.org", "<ann+lists@example.org>", true},
        {"ann+lists@example.org", "<ann@example.org>", false},
        {"ann@example.org", "<anne@example.org>", false},
        {"ann@example.org", "<ann@example.org.evil>", false},
        {"*@example.org", "<bob@EXAMPLE.org>", true},
        {"*@example.org", "<bob+x@example.org>", true},
        {"*@example.org", "<bob@mail.example.org>", false},
        {"*@example.org", "<bob@notexample.org>", false},
        {"*@example.org", "<@example.org>", false},
        // A source route is not part of the sender; the null sender is nobody's.
        {"ann@example.org", "<@relay.net:ann@example.org>", true},
        {"ann@example.org", "ann@example.org", true},
        {"*@example.org", "<>", false},
        {"", "<ann@example.org>", false},
    };
    for (const Case& c : cases) {
        std::vector<AccountRoute> routes{route("a", {c.pattern}, "smtp.a")};
        EXPECT_EQ(routeFor(routes, c.reversePath) == 0, c.claimed) << c.pattern << " / " << c.reversePath;
    }
}

TEST(OutgoingRoutes, TheAddressesValueSplitsAtBlanksCommasAndSemicolons) {
    EXPECT_EQ(splitAddresses(" ann@x, *@y;bob@z\tcarl@w  "),
              (std::vector<std::string>{"ann@x", "*@y", "bob@z", "carl@w"}));
    EXPECT_TRUE(splitAddresses(" ,; ").empty());
}

TEST(OutgoingRoutes, TheQueueGroupsByConnectionInTheOrderOfFirstItems) {
    std::vector<AccountRoute> routes{
        route("gmail", {"ann@gmail.com"}, "smtp.gmail.com", 1, "ann@gmail.com", true),
        route("work", {"*@work.example"}, "smtp.work.example", 1, "ann"),
        // Same server and log-in as work: one connection, under work's settings.
        route("work2", {"boss@other.example"}, "SMTP.work.example", 1, "ann"),
        // Same server, another log-in: a connection of its own.
        route("work3", {"carl@other.example"}, "smtp.work.example", 1, "carl"),
        // No server of its own: the global host.
        route("home", {"ann@home.example"}, ""),
        // Claims what gmail claimed first: never chosen for it.
        route("late", {"*@gmail.com"}, "smtp.late.example"),
    };
    std::vector<std::string> senders{
        "<nobody@else.example>",  // 0 global
        "<ann+x@gmail.com>",  // 1 gmail
        "<x@work.example>",  // 2 work
        "<boss@other.example>",  // 3 work (shared)
        "<carl@other.example>",  // 4 work3
        "<ann@home.example>",  // 5 global
        "",  // 6 unknown envelope: global
        "<bob@gmail.com>",  // 7 late
        "<ann@gmail.com>",  // 8 gmail
    };
    std::vector<HostGroup> groups = groupByHost(routes, senders);
    ASSERT_EQ(groups.size(), 5u);
    EXPECT_EQ(groups[0].route, -1);
    EXPECT_EQ(groups[0].items, (std::vector<int>{0, 5, 6}));
    EXPECT_EQ(groups[1].route, 0);
    EXPECT_EQ(groups[1].items, (std::vector<int>{1, 8}));
    EXPECT_EQ(groups[2].route, 1);
    EXPECT_EQ(groups[2].items, (std::vector<int>{2, 3}));
    EXPECT_EQ(groups[3].route, 3);
    EXPECT_EQ(groups[3].items, (std::vector<int>{4}));
    EXPECT_EQ(groups[4].route, 5);
    EXPECT_EQ(groups[4].items, (std::vector<int>{7}));
    // Without accounts, one group holds the whole queue; an empty queue has none.
    EXPECT_EQ(groupByHost({}, senders).size(), 1u);
    EXPECT_TRUE(groupByHost(routes, {}).empty());
}

TEST(OutgoingRoutes, AccountsReadTheirOutgoingSettingsWithTheirDefaults) {
    testsupport::clearWorld();
    plat::RegKey accounts;
    ASSERT_TRUE(config::openAccountsKey(accounts));
    for (const char* title : {"a", "b", "c", "d"}) ASSERT_TRUE(config::createAccountKey(accounts, title));
    // a: everything set.
    ASSERT_TRUE(config::writeAccountString(accounts, "a", config::kSmtpServerValue, "smtp.a.example"));
    ASSERT_TRUE(config::writeAccountDword(accounts, "a", config::kSmtpPortValue, 2525));
    ASSERT_TRUE(config::writeAccountDword(accounts, "a", config::kSmtpSecurityValue, 2));
    ASSERT_TRUE(config::writeAccountString(accounts, "a", config::kSmtpUserValue, "ann"));
    std::string many;
    for (int i = 0; i < 30; ++i) many += "user" + std::to_string(i) + "@a.example, ";
    ASSERT_TRUE(config::writeAccountString(accounts, "a", config::kAddressesValue, many + "*@a.example"));
    // b: its address from "emailaddress", the port from its security, OAuth as its "user".
    ASSERT_TRUE(config::writeAccountString(accounts, "b", "emailaddress", "bob@b.example"));
    ASSERT_TRUE(config::writeAccountString(accounts, "b", "user", "bob.b"));
    ASSERT_TRUE(config::writeAccountString(accounts, "b", config::kSmtpServerValue, "smtp.b.example"));
    ASSERT_TRUE(config::writeAccountDword(accounts, "b", config::kSmtpSecurityValue, 1));
    ASSERT_TRUE(config::writeAccountDword(accounts, "b", config::kSmtpAuthValue, 1));
    // c: a user name that is an address; d: nothing at all.
    ASSERT_TRUE(config::writeAccountString(accounts, "c", "user", "carl@c.example"));

    std::vector<AccountRoute> routes = readAccountRoutes();
    ASSERT_EQ(routes.size(), 4u);
    EXPECT_EQ(routes[0].server, "smtp.a.example");
    EXPECT_EQ(routes[0].port, 2525u);
    EXPECT_EQ(routes[0].security, 2u);
    EXPECT_EQ(routes[0].user, "ann");
    EXPECT_FALSE(routes[0].oauth);
    ASSERT_EQ(routes[0].addresses.size(), 31u);  // a value longer than 199 characters, whole
    EXPECT_EQ(routes[0].addresses.back(), "*@a.example");
    EXPECT_EQ(routes[1].addresses, (std::vector<std::string>{"bob@b.example"}));
    EXPECT_EQ(routes[1].port, 587u);
    EXPECT_TRUE(routes[1].oauth);
    EXPECT_EQ(routes[1].user, "bob.b");
    EXPECT_EQ(routes[2].addresses, (std::vector<std::string>{"carl@c.example"}));
    EXPECT_EQ(routes[2].server, "");
    EXPECT_EQ(routes[2].port, 25u);
    EXPECT_EQ(routes[2].user, "");
    EXPECT_TRUE(routes[3].addresses.empty());
    EXPECT_EQ(routeFor(routes, "<user7@A.example>"), 0);
    EXPECT_EQ(routeFor(routes, "<nobody@d.example>"), -1);
}

TEST(OutgoingRoutes, EachHostKeepsItsLastResult) {
    testsupport::clearWorld();
    std::remove(resultsPath().c_str());
    EXPECT_TRUE(readHostResults().empty());
    ASSERT_TRUE(recordHostResult({"smtp.a:587", "account a", 100, "delivered 1, refused 0, kept 0"}));
    ASSERT_TRUE(recordHostResult({"smtp.b:25", "the global outgoing host", 200, "could not be reached\t(x)"}));
    ASSERT_TRUE(recordHostResult({"smtp.a:587", "account a", 300, "delivered 2, refused 0, kept 0"}));
    std::vector<HostResult> results = readHostResults();
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].when, 300);
    EXPECT_EQ(results[0].result, "delivered 2, refused 0, kept 0");
    EXPECT_EQ(results[1].owner, "the global outgoing host");
    EXPECT_EQ(results[1].result, "could not be reached (x)");
}

}  // namespace
