// The account check where storing goes wrong underneath it: a mailbox on another file system,
// an identifier file the system will not change, a disk whose flush fails, and a server that
// takes one command at a time. Whatever happens, a message is deleted on the server only once
// it and its record are on disk.
//
// This program has its own fsync, which fails for the paths a test names and otherwise does
// what the system's does: every flush the engine's code asks for goes through it.
#include "pop3/pop_client.h"
#include "pop3/uidl.h"
#include "tests/pop3/pop3_fixture.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using namespace poptest;
namespace fs = std::filesystem;

namespace {

// Flushes of these files and folders fail with EIO. Matched by identity, since a file made
// without a name keeps that in /proc however it is named later.
std::vector<std::string> g_failFlushOf;

bool isFailing(int fd) {
    struct stat open {};
    if (g_failFlushOf.empty() || ::fstat(fd, &open) != 0) return false;
    for (const std::string& path : g_failFlushOf) {
        struct stat named {};
        if (::stat(path.c_str(), &named) == 0 && named.st_dev == open.st_dev && named.st_ino == open.st_ino)
            return true;
    }
    return false;
}

}  // namespace

extern "C" int fsync(int fd) {
    using Fsync = int (*)(int);
    static Fsync real = reinterpret_cast<Fsync>(::dlsym(RTLD_NEXT, "fsync"));
    if (isFailing(fd)) {
        errno = EIO;
        return -1;
    }
    return real(fd);
}

namespace {

std::vector<std::string> deletes(const std::vector<std::string>& commands) {
    std::vector<std::string> out;
    for (const std::string& c : commands)
        if (c.rfind("DELE", 0) == 0) out.push_back(c);
    return out;
}

Script twoMessages(bool pipelining) {
    Script s;
    s.listing = {"1 a", "2 b"};
    s.messages = {{1, "Subject: a\r\n\r\na\r\n"}, {2, "Subject: b\r\n\r\nb\r\n"}};
    if (pipelining) s.capabilities = {"UIDL", "PIPELINING"};
    return s;
}

// Sets or clears the immutable attribute; false where the file system or the user cannot.
bool setImmutable(const std::string& path, bool on) {
    std::string command = std::string("chattr ") + (on ? "+i " : "-i ") + path + " 2>/dev/null";
    return std::system(command.c_str()) == 0;
}

class StoringFaults : public CheckTest {
protected:
    void TearDown() override {
        g_failFlushOf.clear();
        CheckTest::TearDown();
    }
    // Runs one check of account box against a fresh server with script s.
    std::vector<std::string> checkOnce(const Script& s) {
        FakePop3 server(s);
        EXPECT_TRUE(config::writeAccountDword(accounts, "box", "port", static_cast<std::uint32_t>(server.port())));
        EXPECT_TRUE(runCheck());
        return server.commands();
    }
    int codeOf(const std::string& title) {
        for (const Notice& n : g_notices)
            if (n.text == title && n.code != 1) return n.code;
        return 0;
    }
};

}  // namespace

TEST_F(StoringFaults, AMailboxOnAnotherFileSystemStoresEveryMessageOnce) {
    struct stat here {
    }, there{};
    std::string elsewhere = "/dev/shm/trawlex-mailbox-" + std::to_string(::getpid());
    fs::remove_all(elsewhere);
    fs::create_directories(elsewhere);
    if (::stat(".", &here) != 0 || ::stat(elsewhere.c_str(), &there) != 0 || here.st_dev == there.st_dev) {
        fs::remove_all(elsewhere);
        GTEST_SKIP() << "no second file system at /dev/shm";
    }
    for (bool pipelining : {false, true}) {
        SCOPED_TRACE(pipelining ? "pipelined" : "one at a time");
        fs::remove_all(elsewhere);
        fs::create_directories(elsewhere);
        fs::remove_all("accounts/box");
        fs::remove("box.uidl");
        config::deleteAccountKey(accounts, "box");
        addAccount("box", 1);
        fs::remove_all("accounts/box");
        fs::create_directory_symlink(elsewhere, "accounts/box");
        std::vector<std::string> commands = checkOnce(twoMessages(pipelining));
        EXPECT_EQ(deletes(commands), (std::vector<std::string>{"DELE 1", "DELE 2"}));
        EXPECT_EQ(filesIn(elsewhere), (std::vector<std::string>{itemName("a"), itemName("b")}));
        EXPECT_EQ(testsupport::readFile(elsewhere + "/" + itemName("b")), "Subject: b\r\n\r\nb\r\n");
        EXPECT_TRUE(filesIn("accounts/holding").empty());
        EXPECT_EQ(recorded("box.uidl"), (std::vector<std::string>{"a", "b"}));
        EXPECT_EQ(codeOf("box"), 5);
    }
    fs::remove_all(elsewhere);
}

TEST_F(StoringFaults, AnIdentifierFileThatCannotBeWrittenStopsTheDeletesAndFailsTheAccount) {
    addAccount("box", 1);
    UIDL empty;
    empty.load("box.uidl");
    ASSERT_TRUE(empty.save());
    if (!setImmutable("box.uidl", true)) GTEST_SKIP() << "chattr +i is not allowed here";
    for (bool pipelining : {false, true}) {
        SCOPED_TRACE(pipelining ? "pipelined" : "one at a time");
        fs::remove_all("accounts/box");
        fs::create_directories("accounts/box");
        std::vector<std::string> commands = checkOnce(twoMessages(pipelining));
        EXPECT_TRUE(deletes(commands).empty());
        EXPECT_EQ(codeOf("box"), 3);
        EXPECT_NE(nettest::todaysLog().find("MAIL HIGH Unable to record retrieved messages in box.uidl : "
                                            "Operation not permitted : they stay on the server"),
                  std::string::npos);
    }
    setImmutable("box.uidl", false);
    // Once the file can be written, the next check stores no second copy of what it has.
    std::vector<std::string> commands = checkOnce(twoMessages(true));
    EXPECT_EQ(deletes(commands), (std::vector<std::string>{"DELE 1", "DELE 2"}));
    EXPECT_EQ(filesIn("accounts/box"), (std::vector<std::string>{itemName("a"), itemName("b")}));
    EXPECT_EQ(recorded("box.uidl"), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(codeOf("box"), 5);
}

TEST_F(StoringFaults, AFlushThatFailsSendsNoDelete) {
    // The mailbox folder, the identifier file (appended to or written anew), and an item file:
    // each flush that fails keeps its messages on the server, and the account is reported
    // failed.
    const std::vector<std::string> mailbox{"accounts/box"}, identifiers{"box.uidl", "box.uidl.tmp"},
        itemB{"accounts/holding/" + itemName("b")};
    for (bool pipelining : {false, true}) {
        for (const std::vector<std::string>& target : {mailbox, identifiers, itemB}) {
            SCOPED_TRACE(target[0] + (pipelining ? ", pipelined" : ", one at a time"));
            fs::remove_all("accounts/box");
            fs::remove("box.uidl");
            config::deleteAccountKey(accounts, "box");
            addAccount("box", 1);
            g_failFlushOf = target;
            std::vector<std::string> commands = checkOnce(twoMessages(pipelining));
            g_failFlushOf.clear();
            // Only the message whose own file failed stays behind; the other one is safe.
            bool firstSafe = target == itemB;
            EXPECT_EQ(deletes(commands), firstSafe ? std::vector<std::string>{"DELE 1"} : std::vector<std::string>{});
            EXPECT_NE(codeOf("box"), 5);
            if (target == mailbox) {
                EXPECT_TRUE(recorded("box.uidl").empty());
            }
            if (target == itemB) {
                EXPECT_EQ(recorded("box.uidl"), std::vector<std::string>{"a"});
            }
        }
    }
}

TEST_F(StoringFaults, AServerWithoutPipeliningNeverHasTwoCommandsWaiting) {
    for (const char* deleReply : {"+OK", "-ERR locked"}) {
        SCOPED_TRACE(deleReply);
        fs::remove_all("accounts/box");
        fs::remove("box.uidl");
        config::deleteAccountKey(accounts, "box");
        addAccount("box", 1);
        Script s = twoMessages(false);
        s.capabilities = {"UIDL", "TOP"};
        s.countEarlyCommands = true;
        s.deleReply = deleReply;
        FakePop3 server(s);
        ASSERT_TRUE(config::writeAccountDword(accounts, "box", "port", static_cast<std::uint32_t>(server.port())));
        ASSERT_TRUE(runCheck());
        EXPECT_EQ(server.earlyCommands(), 0);
        bool refused = deleReply[0] == '-';
        // A refused DELE ends the retrieval; its QUIT is answered by QUIT's own reply.
        std::vector<std::string> expected = {"CAPA", "USER ann", "PASS secret", "CAPA", "UIDL", "RETR 1", "DELE 1"};
        if (!refused) expected.insert(expected.end(), {"RETR 2", "DELE 2"});
        expected.push_back("QUIT");
        EXPECT_EQ(server.commands(), expected);
        EXPECT_EQ(codeOf("box"), refused ? 3 : 5);
    }
}

namespace {

// An owner that walks a client through a whole retrieval and never says it stored anything,
// as an owner that does not know what to do with an item would.
struct Unanswering : POPClientObserver {
    POPClient* client = nullptr;
    bool done = false;
    void opened(bool ok) override { ok ? client->authorise() : client->close(); }
    void loggedIn(bool ok) override {
        ok ? client->retrieve("box.uidl", AfterStoring::DeleteOnServer) : client->close();
    }
    bool itemReceived(const std::string&) override { return false; }
    bool storedItemsFlushed() override { return false; }
    void messageSkipped(const SkippedMessage&) override {}
    void retrievalEnded(bool) override { client->close(); }
    void finished() override { done = true; }
};

}  // namespace

TEST_F(StoringFaults, AnOwnerThatDoesNotSayItStoredAnItemGetsNothingDeleted) {
    for (bool pipelining : {false, true}) {
        SCOPED_TRACE(pipelining ? "pipelined" : "one at a time");
        fs::remove("box.uidl");
        FakePop3 server(twoMessages(pipelining));
        Unanswering owner;
        {
            POPClient client(&owner, "127.0.0.1", server.port(), "ann", "secret", "accounts/holding");
            owner.client = &client;
            client.open();
            EXPECT_TRUE(nettest::waitFor([&] { return owner.done; }, 10000));
        }
        EXPECT_TRUE(deletes(server.commands()).empty());
        EXPECT_TRUE(recorded("box.uidl").empty());
    }
}
