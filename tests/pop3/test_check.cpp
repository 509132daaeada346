// The account check against scripted servers: what is sent, what is stored where, what the
// identifier file holds afterwards, the notices to the owner, and every way a server can fail.
#include "pop3/pop_retrieve.h"
#include "pop3/uidl.h"
#include "tests/pop3/pop3_fixture.h"

#include <arpa/inet.h>
#include <filesystem>
#include <chrono>
#include <csignal>
#include <fstream>
#include <ifaddrs.h>
#include <sys/resource.h>

using namespace poptest;
namespace fs = std::filesystem;

namespace {

void record(const std::string& file, const std::vector<std::string>& ids) {
    UIDL list;
    list.load(file);
    for (const auto& id : ids) list.add(id, 0, 0);
    ASSERT_TRUE(list.save());
}

const std::vector<std::string> kLogin = {"CAPA", "USER ann", "PASS secret", "CAPA", "UIDL"};

std::vector<std::string> login(std::vector<std::string> rest) {
    std::vector<std::string> out = kLogin;
    out.insert(out.end(), rest.begin(), rest.end());
    return out;
}

}  // namespace

TEST_F(CheckTest, StoresNewMessagesByteForByteAndDeletesWhatWasRetrievedBefore) {
    std::string longLine(5000, 'L');
    std::string text = "Subject: t\r\n\r\n..x\r\n .\r\n\r\n" + longLine + "\r\n8-bit \xe9\xff\x01\r\n";
    Script s;
    s.listing = {"1 old", "3 abc def", "7", "9 zzz"};  // '7' has no identifier and is ignored
    s.messages = {{3, text}, {9, "z\r\n"}};
    FakePop3 server(s);
    addAccount("box", server.port());
    record("box.uidl", {"old", "gone"});
    ASSERT_TRUE(runCheck());

    // RETR and DELE carry the listing's numbers; the recorded message is deleted unread.
    EXPECT_EQ(server.commands(), login({"DELE 1", "RETR 3", "DELE 3", "RETR 9", "DELE 9", "QUIT"}));
    EXPECT_EQ(filesIn("accounts/box"), (std::vector<std::string>{itemName("abc_20def"), itemName("zzz")}));
    EXPECT_EQ(testsupport::readFile("accounts/box/" + itemName("abc_20def")), text);
    EXPECT_EQ(testsupport::readFile("accounts/box/" + itemName("zzz")), "z\r\n");
    EXPECT_TRUE(filesIn("accounts/holding").empty());
    // "gone" left the server and is forgotten; the new ones are recorded in retrieval order.
    EXPECT_EQ(recorded("box.uidl"), (std::vector<std::string>{"old", "abc def", "zzz"}));
    EXPECT_EQ(g_notices, (std::vector<Notice>{{1, "box"},
                                              {2, "accounts/box/" + itemName("abc_20def")},
                                              {2, "accounts/box/" + itemName("zzz")},
                                              {5, "box"},
                                              {99, ""}}));
}

TEST_F(CheckTest, ListingsWithNothingNewRewriteTheFileAndRetrieveNothing) {
    {
        Script s;
        s.listing = {"1 a", "2 b"};
        FakePop3 server(s);
        addAccount("box", server.port());
        record("box.uidl", {"b", "dropped", "a"});
        ASSERT_TRUE(runCheck());
        EXPECT_EQ(server.commands(), login({"DELE 1", "DELE 2", "QUIT"}));
        EXPECT_EQ(recorded("box.uidl"), (std::vector<std::string>{"a", "b"}));
        EXPECT_EQ(g_notices, (std::vector<Notice>{{1, "box"}, {5, "box"}, {99, ""}}));
    }
    // An empty mailbox: the file is rewritten empty, four zero bytes.
    Script empty;
    FakePop3 server(empty);
    ASSERT_TRUE(config::writeAccountDword(accounts, "box", "port", static_cast<std::uint32_t>(server.port())));
    ASSERT_TRUE(runCheck());
    EXPECT_EQ(server.commands(), login({"QUIT"}));
    EXPECT_EQ(testsupport::readFile("box.uidl"), std::string(4, '\0'));
}

TEST_F(CheckTest, RepliesArePositiveExactlyWhenTheyBeginWithPlus) {
    Script s;
    s.greeting = "+";
    s.userReply = "+";
    s.passReply = "OK";
    FakePop3 server(s);
    addAccount("box", server.port(), "pa55word");
    ASSERT_TRUE(runCheck());
    EXPECT_EQ(server.commands(), (std::vector<std::string>{"CAPA", "USER ann", "PASS pa55word", "QUIT"}));
    EXPECT_EQ(g_notices, (std::vector<Notice>{{1, "box"}, {4, "box"}, {99, ""}}));
    std::string log = nettest::todaysLog();
    EXPECT_NE(log.find("MAIL HIGH -ve response to PASS : OK"), std::string::npos) << log;
    EXPECT_NE(log.find("MAIL HIGH POP client authorisation failed"), std::string::npos) << log;
    EXPECT_EQ(log.find("pa55word"), std::string::npos);
}

TEST_F(CheckTest, ASilentServerEndsEachPhaseAtTheTimeOutOnce) {
    Connection::timeoutMs = 1000;
    struct Case {
        const char* name;
        Script script;
        int failure;  // the notice code of the failure
    };
    std::vector<Case> cases(3);
    cases[0] = {"no greeting", Script{}, 4};
    cases[0].script.greet = false;
    cases[1] = {"silent in the listing", Script{}, 3};
    cases[1].script.listing = {"1 a", "2 b", "3 c"};
    cases[1].script.silentAfterListingLines = 2;
    cases[2] = {"silent in a message", Script{}, 3};
    cases[2].script.listing = {"1 a"};
    cases[2].script.silentAfterRetrText = "first line\r\nsecond, unfinished";
    for (Case& c : cases) {
        FakePop3 server(c.script);
        fs::remove_all("accounts/box");
        config::deleteAccountKey(accounts, "box");
        addAccount("box", server.port());
        auto start = std::chrono::steady_clock::now();
        ASSERT_TRUE(runCheck(5000)) << c.name;
        // Given up after one time-out: the close does not wait for the stalled server again.
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1900)) << c.name;
        EXPECT_EQ(g_notices, (std::vector<Notice>{{1, "box"}, {c.failure, "box"}, {99, ""}})) << c.name;
    }
    // The partial item stays in the holding directory; its identifier was not recorded.
    EXPECT_EQ(testsupport::readFile("accounts/holding/" + itemName("a")), "first line\r\n");
    EXPECT_TRUE(recorded("box.uidl").empty());

    // The next check retrieves the same message into the same name and replaces the file.
    Script whole;
    whole.listing = {"1 a"};
    whole.messages = {{1, "complete\r\n"}};
    FakePop3 server(whole);
    ASSERT_TRUE(config::writeAccountDword(accounts, "box", "port", static_cast<std::uint32_t>(server.port())));
    ASSERT_TRUE(runCheck());
    EXPECT_EQ(testsupport::readFile("accounts/box/" + itemName("a")), "complete\r\n");
    EXPECT_TRUE(filesIn("accounts/holding").empty());
}

TEST_F(CheckTest, AMessageThatFailsOnItsOwnStaysOnTheServerAndTheOthersStillCome) {
    // The second holds one 2 MiB line (twice the line bound); the fourth is refused, and its
    // identifier holds a lone LF, which must not start a line of its own in the log.
    std::string huge = "Subject: big\r\n\r\n" + std::string(2 * 1024 * 1024, 'B') + "\r\n..\r\n";
    huge[40] = '.';
    Script s;
    s.listing = {"1 m1", "2 m2", "3 m3", "4 m4\nx", "5 m5"};
    s.messages = {{1, "one\r\n"}, {2, huge}, {3, "three\r\n"}, {4, "four\r\n"}, {5, "five\r\n"}};
    s.refusedRetr = {4};
    {
        FakePop3 server(s);
        addAccount("box", server.port());
        ASSERT_TRUE(runCheck(20000));
        EXPECT_EQ(server.commands(), login({"RETR 1", "DELE 1", "RETR 2", "DELE 2", "RETR 3", "DELE 3", "RETR 4",
                                            "RETR 5", "DELE 5", "QUIT"}));
        EXPECT_EQ(g_notices, (std::vector<Notice>{{1, "box"},
                                                  {2, "accounts/box/" + itemName("m1")},
                                                  {2, "accounts/box/" + itemName("m2")},
                                                  {2, "accounts/box/" + itemName("m3")},
                                                  {2, "accounts/box/" + itemName("m5")},
                                                  {4, "box"},
                                                  {99, ""}}));
        EXPECT_TRUE(testsupport::readFile("accounts/box/" + itemName("m2")) == huge);
        EXPECT_EQ(recorded("box.uidl"), (std::vector<std::string>{"m1", "m2", "m3", "m5"}));
        EXPECT_TRUE(filesIn("accounts/holding").empty());
        EXPECT_NE(
            nettest::todaysLog().find(
                "MAIL HIGH Message left on the server of account box : m4?x : RETR refused: -ERR no such message"),
            std::string::npos);
    }
    // The next check, with the fourth served, retrieves it.
    Script next;
    next.listing = {"1 m4\nx"};
    next.messages = {{1, "four\r\n"}};
    FakePop3 server(next);
    ASSERT_TRUE(config::writeAccountDword(accounts, "box", "port", static_cast<std::uint32_t>(server.port())));
    ASSERT_TRUE(runCheck());
    EXPECT_EQ(server.commands(), login({"RETR 1", "DELE 1", "QUIT"}));
    EXPECT_EQ(g_notices,
              (std::vector<Notice>{{1, "box"}, {2, "accounts/box/" + itemName("m4_ Ax")}, {5, "box"}, {99, ""}}));
}

TEST_F(CheckTest, ATextTheDiskRefusesIsSkippedWithoutAPartialFile) {
    // Files may not grow past 1 MiB: the big message cannot be stored, the small ones can.
    rlimit before{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = before;
    small.rlim_cur = 1024 * 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    Script s;
    s.listing = {"1 a", "2 big", "3 c"};
    s.messages = {{1, "a\r\n"}, {2, std::string(3 * 1024 * 1024, 'x') + "\r\n"}, {3, "c\r\n"}};
    FakePop3 server(s);
    addAccount("box", server.port());
    bool finished = runCheck(20000);
    ::setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, oldHandler);
    ASSERT_TRUE(finished);
    EXPECT_EQ(server.commands(), login({"RETR 1", "DELE 1", "RETR 2", "RETR 3", "DELE 3", "QUIT"}));
    EXPECT_EQ(filesIn("accounts/box"), (std::vector<std::string>{itemName("a"), itemName("c")}));
    EXPECT_TRUE(filesIn("accounts/holding").empty());
    EXPECT_EQ(g_notices.size(), 5u);
    EXPECT_EQ(g_notices[3], (Notice{4, "box"}));
    EXPECT_NE(nettest::todaysLog().find("account box : big : its text could not be stored"), std::string::npos);
}

TEST_F(CheckTest, AListingIsBoundedByItsLinesAlsoWithoutIdentifiers) {
    Script s;
    s.listing.assign(POP_Retrieve::kMaxListingLines + 1, "7");
    FakePop3 server(s);
    addAccount("box", server.port());
    ASSERT_TRUE(runCheck(30000));
    EXPECT_EQ(g_notices, (std::vector<Notice>{{1, "box"}, {3, "box"}, {99, ""}}));
    EXPECT_NE(nettest::todaysLog().find("MAIL HIGH UIDL listing too long"), std::string::npos);
}

TEST_F(CheckTest, ARefusedDeleteFailsButNeverGivesASecondCopy) {
    Script s;
    s.listing = {"4 m"};
    s.messages = {{4, "body\r\n"}};
    s.deleReply = "-ERR no";
    {
        FakePop3 server(s);
        addAccount("box", server.port());
        ASSERT_TRUE(runCheck());
        EXPECT_EQ(server.commands(), login({"RETR 4", "DELE 4", "QUIT"}));
        EXPECT_EQ(g_notices,
                  (std::vector<Notice>{{1, "box"}, {2, "accounts/box/" + itemName("m")}, {3, "box"}, {99, ""}}));
    }
    // Stored and recorded: the next check only asks again for the deletion.
    FakePop3 server(s);
    ASSERT_TRUE(config::writeAccountDword(accounts, "box", "port", static_cast<std::uint32_t>(server.port())));
    ASSERT_TRUE(runCheck());
    EXPECT_EQ(server.commands(), login({"DELE 4", "QUIT"}));
    EXPECT_EQ(filesIn("accounts/box"), std::vector<std::string>{itemName("m")});
    EXPECT_EQ(g_notices.back().code, 99);
    EXPECT_EQ(g_notices[1].code, 5);
}

TEST_F(CheckTest, AnItemThatCannotReachItsMailboxStaysOnTheServer) {
    Script s;
    s.listing = {"2 m"};
    s.messages = {{2, "body\r\n"}};
    {
        FakePop3 server(s);
        addAccount("box", server.port());
        // Not a directory: no item can go there. The account fails aloud before anything is
        // fetched, so the same messages are not downloaded again at every check.
        fs::remove_all("accounts/box");
        testsupport::writeFile("accounts/box", "");
        ASSERT_TRUE(runCheck());
        EXPECT_EQ(g_notices, (std::vector<Notice>{{1, "box"}, {4, "box"}, {99, ""}}));
        EXPECT_TRUE(server.commands().empty());
        EXPECT_TRUE(recorded("box.uidl").empty());
        EXPECT_TRUE(filesIn("accounts/holding").empty());
        EXPECT_NE(nettest::todaysLog().find(
                      "Mail of account box cannot be stored in its mailbox accounts/box : Not a directory"),
                  std::string::npos);
    }
    fs::remove("accounts/box");
    fs::create_directories("accounts/box");
    FakePop3 server(s);
    ASSERT_TRUE(config::writeAccountDword(accounts, "box", "port", static_cast<std::uint32_t>(server.port())));
    ASSERT_TRUE(runCheck());
    EXPECT_EQ(server.commands(), login({"RETR 2", "DELE 2", "QUIT"}));
    EXPECT_EQ(testsupport::readFile("accounts/box/" + itemName("m")), "body\r\n");
}

TEST_F(CheckTest, EveryAccountIsWalkedAndStampedWhateverBecomesOfTheOthers) {
    int closedPort;
    {
        nettest::RawListener gone;
        closedPort = gone.port;
    }
    Script s;
    s.listing = {"1 x"};
    s.messages = {{1, "x\r\n"}};
    FakePop3 first(s), third(s);
    addAccount("a-first", first.port());
    addAccount("b-unreachable", closedPort);
    addAccount("c-third", third.port());
    auto before = static_cast<std::uint32_t>(std::time(nullptr));
    ASSERT_TRUE(runCheck());
    EXPECT_EQ(g_notices, (std::vector<Notice>{{1, "a-first"},
                                              {2, "accounts/a-first/" + itemName("x")},
                                              {5, "a-first"},
                                              {1, "b-unreachable"},
                                              {4, "b-unreachable"},
                                              {1, "c-third"},
                                              {2, "accounts/c-third/" + itemName("x")},
                                              {5, "c-third"},
                                              {99, ""}}));
    for (int i = 0; i < 3; ++i) EXPECT_GE(config::accountDword(accounts, i, "lastcheck").value_or(0), before) << i;
    EXPECT_NE(nettest::todaysLog().find("MAIL HIGH POP client open failed"), std::string::npos);
}

TEST_F(CheckTest, NoAccountsFinishAtOnce) {
    ASSERT_TRUE(runCheck(1000));
    EXPECT_EQ(g_notices, (std::vector<Notice>{{99, ""}}));
}

TEST_F(CheckTest, TlsThatCannotBeHadFailsTheAccountBeforeTheUserNameGoesOut) {
    Script s;
    s.listing = {"1 a"};
    s.messages = {{1, "x\r\n"}};
    FakePop3 plain(s);  // answers STLS with -ERR, and its greeting is no TLS record
    addAccount("upgrade", plain.port());
    addAccount("wrapped", plain.port());
    ASSERT_TRUE(config::writeAccountDword(accounts, "upgrade", "security", 1));
    ASSERT_TRUE(config::writeAccountDword(accounts, "wrapped", "security", 2));
    ASSERT_TRUE(runCheck());
    // Only STLS in clear; the second account's handshake bytes are all the server saw of it.
    std::vector<std::string> commands = plain.commands();
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands.front(), "STLS");
    for (const std::string& c : commands) {
        EXPECT_NE(c.rfind("USER", 0), 0u);
        EXPECT_NE(c.rfind("PASS", 0), 0u);
    }
    EXPECT_EQ(g_notices,
              (std::vector<Notice>{{1, "upgrade"}, {4, "upgrade"}, {1, "wrapped"}, {4, "wrapped"}, {99, ""}}));
    EXPECT_TRUE(filesIn("accounts/upgrade").empty());
    EXPECT_TRUE(filesIn("accounts/wrapped").empty());
}

// A non-loopback IPv4 address of this machine, in host order; 0 when it has none.
static std::uint32_t ownOutsideAddress() {
    ifaddrs* all = nullptr;
    if (::getifaddrs(&all) != 0) return 0;
    std::uint32_t found = 0;
    for (ifaddrs* a = all; a && !found; a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET) continue;
        std::uint32_t address = ntohl(reinterpret_cast<sockaddr_in*>(a->ifa_addr)->sin_addr.s_addr);
        if ((address >> 24) != 127) found = address;
    }
    ::freeifaddrs(all);
    return found;
}

TEST_F(CheckTest, APasswordSentInClearToAnotherMachineIsReportedOncePerCheck) {
    std::uint32_t outside = ownOutsideAddress();
    if (!outside) GTEST_SKIP() << "no address outside loopback here";
    Script s;
    FakePop3 remote(s, outside);
    FakePop3 local(s);
    addAccount("remote", remote.port());
    addAccount("local", local.port());
    in_addr a{htonl(outside)};
    std::string host = ::inet_ntoa(a);
    ASSERT_TRUE(config::writeAccountString(accounts, "remote", "server", host));
    const std::string line = "  MAIL HIGH password for " + host +
                             " sent without encryption: set the account's security\n";
    for (int checks = 1; checks <= 2; ++checks) {
        ASSERT_TRUE(runCheck());
        // Still sent, as set-ups rely on it; one line a check, none for this machine.
        std::vector<std::string> sent = remote.commands();
        EXPECT_EQ(std::count(sent.begin(), sent.end(), "PASS secret"), checks);
        std::string log = nettest::todaysLog();
        std::size_t count = 0;
        for (std::size_t at = log.find(line); at != std::string::npos; at = log.find(line, at + 1)) ++count;
        EXPECT_EQ(count, static_cast<std::size_t>(checks));
        EXPECT_EQ(log.find("password for 127.0.0.1"), std::string::npos);
        EXPECT_EQ(log.find("secret"), std::string::npos);
    }
}
