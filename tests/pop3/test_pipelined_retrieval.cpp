// Retrieval from servers that offer PIPELINING: RETRs go out ahead of their replies, the
// messages are still stored in order, each DELE still follows its message's storing, and a
// connection lost in the middle of a window deletes nothing that was not stored.
#include "tests/pop3/pop3_fixture.h"

#include <algorithm>
#include <filesystem>
#include <mutex>

using namespace poptest;
namespace fs = std::filesystem;

namespace {

Script threeMessages() {
    Script s;
    s.listing = {"1 a", "2 b", "3 c"};
    s.messages = {{1, "one\r\n..dot\r\n"}, {2, "two\r\n"}, {3, "three\r\n"}};
    return s;
}

// The log-in and listing of a server that offers PIPELINING: the retrieval asks CAPA no more.
std::vector<std::string> login(std::vector<std::string> rest) {
    std::vector<std::string> out = {"CAPA", "USER ann", "PASS secret", "UIDL"};
    out.insert(out.end(), rest.begin(), rest.end());
    return out;
}

// The identifier file of account "box" records "old", a message retrieved before.
bool recordOld() {
    UIDL known;
    known.load("box.uidl");
    known.add("old", 0, 0);
    return known.save();
}

}  // namespace

TEST_F(CheckTest, AWindowOfRetrsIsStoredInOrderAndEachDeleFollowsItsMessagesStoring) {
    Script s = threeMessages();
    s.listing.insert(s.listing.begin(), "7 old");
    s.capabilities = {"TOP", "UIDL", "pipelining", "RESP-CODES"};
    s.gatherRetrs = 3;  // only a client that sends all three before any reply gets one
    // At each DELE, whether its message was already in the mailbox and its identifier in the
    // identifier file.
    std::mutex mutex;
    std::vector<std::string> storedAtDele;
    s.onCommand = [&](const std::string& line) {
        if (line.rfind("DELE ", 0) != 0 || line == "DELE 7") return;
        std::string id = std::string(1, static_cast<char>('a' + std::stoi(line.substr(5)) - 1));
        std::vector<std::string> ids = recorded("box.uidl");
        bool isRecorded = std::find(ids.begin(), ids.end(), id) != ids.end();
        std::lock_guard<std::mutex> lock(mutex);
        storedAtDele.push_back(fs::exists("accounts/box/" + itemName(id)) && isRecorded ? id : "missing " + id);
    };
    FakePop3 server(s);
    addAccount("box", server.port());
    ASSERT_TRUE(recordOld());
    ASSERT_TRUE(runCheck());

    EXPECT_EQ(server.commands(), login({"DELE 7", "RETR 1", "RETR 2", "RETR 3", "DELE 1", "DELE 2", "DELE 3", "QUIT"}));
    EXPECT_EQ(storedAtDele, (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(g_notices, (std::vector<Notice>{{1, "box"},
                                              {2, "accounts/box/" + itemName("a")},
                                              {2, "accounts/box/" + itemName("b")},
                                              {2, "accounts/box/" + itemName("c")},
                                              {5, "box"},
                                              {99, ""}}));
    EXPECT_EQ(testsupport::readFile("accounts/box/" + itemName("a")), "one\r\n..dot\r\n");
    EXPECT_EQ(testsupport::readFile("accounts/box/" + itemName("c")), "three\r\n");
    EXPECT_EQ(recorded("box.uidl"), (std::vector<std::string>{"old", "a", "b", "c"}));
}

TEST_F(CheckTest, AnIdentifierListedTwiceInAWindowKeepsBothMessages) {
    // Both messages would be stored under one name: the first reaches its mailbox before the
    // second's file is made.
    Script s;
    s.listing = {"1 a", "2 a", "3 b"};
    s.messages = {{1, "first\r\n"}, {2, "second\r\n"}, {3, "third\r\n"}};
    s.capabilities = {"PIPELINING"};
    FakePop3 server(s);
    addAccount("box", server.port());
    ASSERT_TRUE(runCheck());
    EXPECT_EQ(filesIn("accounts/box"),
              (std::vector<std::string>{itemName("a"), itemName("a") + "-000", itemName("b")}));
    EXPECT_EQ(testsupport::readFile("accounts/box/" + itemName("a")), "first\r\n");
    EXPECT_EQ(testsupport::readFile("accounts/box/" + itemName("a") + "-000"), "second\r\n");
    EXPECT_TRUE(filesIn("accounts/holding").empty());
    std::vector<std::string> commands = server.commands();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "DELE 1"), 1);
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "DELE 2"), 1);
}

TEST_F(CheckTest, CapabilitiesWithoutPipeliningGetOneCommandAtATime) {
    for (bool refused : {true, false}) {
        Script s = threeMessages();
        s.refusedRetr = {2};
        if (!refused) s.capabilities = {"TOP", "UIDL", "PIPELINING-NOT"};
        FakePop3 server(s);
        fs::remove_all("accounts/box");
        fs::remove("box.uidl");
        config::deleteAccountKey(accounts, "box");
        addAccount("box", server.port());
        ASSERT_TRUE(runCheck());
        EXPECT_EQ(server.commands(),
                  (std::vector<std::string>{"CAPA", "USER ann", "PASS secret", "CAPA", "UIDL", "RETR 1", "DELE 1",
                                            "RETR 2", "RETR 3", "DELE 3", "QUIT"}))
            << (refused ? "CAPA refused" : "CAPA without PIPELINING");
        EXPECT_EQ(recorded("box.uidl"), (std::vector<std::string>{"a", "c"}));
    }
}

TEST_F(CheckTest, AConnectionLostInAWindowKeepsEveryMessageNotYetStored) {
    Script s = threeMessages();
    s.listing.push_back("4 d");
    s.messages[4] = "four\r\n";
    s.capabilities = {"PIPELINING"};
    s.gatherRetrs = 4;
    s.droppedInRetr = {{2, "two, the first half"}};
    {
        FakePop3 server(s);
        addAccount("box", server.port());
        ASSERT_TRUE(runCheck());
        // Only the stored first message was deleted; the session never reached QUIT.
        EXPECT_EQ(server.commands(), login({"RETR 1", "RETR 2", "RETR 3", "RETR 4"}));
        EXPECT_EQ(g_notices,
                  (std::vector<Notice>{{1, "box"}, {2, "accounts/box/" + itemName("a")}, {3, "box"}, {99, ""}}));
        EXPECT_EQ(recorded("box.uidl"), std::vector<std::string>{"a"});
        EXPECT_EQ(filesIn("accounts/box"), std::vector<std::string>{itemName("a")});
        // The half received stays where the next start clears it; the files made ahead for the
        // messages that never came are gone.
        EXPECT_EQ(filesIn("accounts/holding"), std::vector<std::string>{itemName("b")});
    }
    // The next check deletes the stored one unread and retrieves the others once each.
    s.droppedInRetr.clear();
    s.gatherRetrs = 3;
    FakePop3 server(s);
    ASSERT_TRUE(config::writeAccountDword(accounts, "box", "port", static_cast<std::uint32_t>(server.port())));
    ASSERT_TRUE(runCheck());
    EXPECT_EQ(server.commands(), login({"DELE 1", "RETR 2", "RETR 3", "RETR 4", "DELE 2", "DELE 3", "DELE 4", "QUIT"}));
    EXPECT_EQ(recorded("box.uidl"), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(filesIn("accounts/box"),
              (std::vector<std::string>{itemName("a"), itemName("b"), itemName("c"), itemName("d")}));
    EXPECT_TRUE(filesIn("accounts/holding").empty());
}

TEST_F(CheckTest, ARefusedDeleteInAWindowCutsTheSessionWithoutReadingFurther) {
    Script s = threeMessages();
    s.capabilities = {"PIPELINING"};
    s.deleReply = "-ERR no";
    FakePop3 server(s);
    addAccount("box", server.port());
    ASSERT_TRUE(runCheck());
    // The three texts came before the refusal and were stored; the replies to DELE 2 and 3
    // were still on their way when DELE 1 was refused: nothing after the refusal is read.
    // QUIT had gone out with the DELEs; what it lets the server delete is stored and recorded.
    EXPECT_EQ(server.commands(), login({"RETR 1", "RETR 2", "RETR 3", "DELE 1", "DELE 2", "DELE 3", "QUIT"}));
    EXPECT_EQ(g_notices, (std::vector<Notice>{{1, "box"},
                                              {2, "accounts/box/" + itemName("a")},
                                              {2, "accounts/box/" + itemName("b")},
                                              {2, "accounts/box/" + itemName("c")},
                                              {3, "box"},
                                              {99, ""}}));
    EXPECT_EQ(recorded("box.uidl"), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_NE(nettest::todaysLog().find("retrieval ended with replies outstanding: connection closed"),
              std::string::npos);
}

TEST_F(CheckTest, ARefusedRetrInAWindowLeavesNoFileBehind) {
    Script s = threeMessages();
    s.capabilities = {"PIPELINING"};
    s.refusedRetr = {1, 2};
    FakePop3 server(s);
    addAccount("box", server.port());
    ASSERT_TRUE(runCheck());
    EXPECT_EQ(server.commands(), login({"RETR 1", "RETR 2", "RETR 3", "DELE 3", "QUIT"}));
    EXPECT_EQ(filesIn("accounts/box"), std::vector<std::string>{itemName("c")});
    EXPECT_TRUE(filesIn("accounts/holding").empty());
    EXPECT_EQ(recorded("box.uidl"), std::vector<std::string>{"c"});
}

TEST_F(CheckTest, AnEndlessCapabilityListingAfterTheLoginFailsTheRetrievalAndClosesTheConnection) {
    Script s = threeMessages();
    s.capabilities = {"USER"};  // no PIPELINING at the log-in: the retrieval asks again
    s.endlessCapaAfterLogin = true;
    FakePop3 server(s);
    addAccount("box", server.port());
    ASSERT_TRUE(recordOld());
    std::string before = testsupport::readFile("box.uidl");
    std::size_t logged = nettest::todaysLog().size();
    ASSERT_TRUE(runCheck());
    std::string log = nettest::todaysLog().substr(logged);
    EXPECT_NE(log.find("MAIL HIGH CAPA listing too long"), std::string::npos) << log;
    // The listing's rest is never read as QUIT's reply.
    EXPECT_EQ(log.find("POP Client close"), std::string::npos) << log;
    EXPECT_EQ(server.commands(), (std::vector<std::string>{"CAPA", "USER ann", "PASS secret", "CAPA"}));
    EXPECT_EQ(g_notices, (std::vector<Notice>{{1, "box"}, {3, "box"}, {99, ""}}));
    EXPECT_EQ(testsupport::readFile("box.uidl"), before);
    EXPECT_TRUE(filesIn("accounts/box").empty());
    EXPECT_TRUE(filesIn("accounts/holding").empty());
}
