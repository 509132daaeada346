// The listening server: sessions come and go, a double finish removes once, a taken port,
// loopback peers other than 127.0.0.1.
#include "net/server.h"
#include "tests/net/net_fixture.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <netinet/in.h>
#include <string>

using namespace nettest;

namespace {

// Greets, says goodbye to "bye" by finishing, finishes when the peer closes.
class GreetingSession : public ServerSession {
public:
    GreetingSession(plat::HWND serverWindow, plat::SOCKET s) : ServerSession(serverWindow, s) {
        sendBytes("hi\r\n", 4);
        ++alive;
    }
    ~GreetingSession() override { --alive; }
    int dispatcher(Connection::Event event, long) override {
        if (event == EV_LINE) {
            std::string line = lineBuffer().takeLine();
            if (line == "bye") {
                finishSession();
                finishSession();  // a second finish must not remove it twice
            }
        } else if (event == EV_CLOSED || event == EV_TIMEOUT) {
            finishSession();
        }
        return 1;
    }
    static int alive;
};
int GreetingSession::alive = 0;

class GreetingServer : public Server {
public:
    explicit GreetingServer(plat::HWND owner) : Server(owner, Peers::LocalOnly) {}
    void createSession(plat::SOCKET s) override {
        adoptSession(std::make_unique<GreetingSession>(window(), s), "TEST");
    }
    void removeSession(Connection* session) override { dropSession(session, "TEST"); }
};

class ServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        owner = makeOwner();
        server = std::make_unique<GreetingServer>(owner);
    }
    void TearDown() override {
        server.reset();
        plat::destroyWindow(owner);
    }
    void startListening() {
        int freePort;
        {
            RawListener probe;
            freePort = probe.port;
        }
        port = freePort;
        ASSERT_TRUE(server->listen(port));
    }
    plat::HWND owner = 0;
    std::unique_ptr<GreetingServer> server;
    int port = 0;
};

TEST_F(ServerTest, TwoPeersAtOnceGetTwoSessionsRemovedOnceEach) {
    startListening();
    int a = rawConnect(port);
    ASSERT_TRUE(waitFor([&] { return server->sessionCount() == 1; }));
    int b = rawConnect(port);
    ASSERT_TRUE(waitFor([&] { return server->sessionCount() == 2; }));
    EXPECT_EQ(readLine(a), "hi\r\n");
    EXPECT_EQ(readLine(b), "hi\r\n");
    sendText(a, "bye\r\n");  // finishes twice
    ASSERT_TRUE(waitFor([&] { return server->sessionCount() == 1; }));
    plat::pumpMessages(50);
    EXPECT_EQ(server->sessionCount(), 1);
    EXPECT_EQ(GreetingSession::alive, 1);
    char c;
    EXPECT_EQ(::recv(a, &c, 1, 0), 0);  // closed by the server
    ::close(b);
    ASSERT_TRUE(waitFor([&] { return server->sessionCount() == 0; }));
    EXPECT_EQ(GreetingSession::alive, 0);
    ::close(a);
}

TEST_F(ServerTest, SessionsStillOpenAreEndedOnceAtShutdownAndByTheServersEnd) {
    startListening();
    int a = rawConnect(port);
    int b = rawConnect(port);
    ASSERT_TRUE(waitFor([&] { return server->sessionCount() == 2; }));
    server->endSessions();
    EXPECT_EQ(server->sessionCount(), 0);
    EXPECT_EQ(GreetingSession::alive, 0);
    server->endSessions();  // nothing left: harmless
    plat::pumpMessages(50);  // removal messages of the ended sessions name nothing now
    EXPECT_EQ(server->sessionCount(), 0);

    int c = rawConnect(port);
    ASSERT_TRUE(waitFor([&] { return server->sessionCount() == 1; }));
    server.reset();  // a server that goes takes its open sessions with it
    EXPECT_EQ(GreetingSession::alive, 0);
    for (int fd : {a, b, c}) ::close(fd);
}

TEST_F(ServerTest, OtherLoopbackAddressesAreLocalToo) {
    startListening();
    int peer = rawConnect(port, 0x7F000002);  // from 127.0.0.2
    ASSERT_GE(peer, 0);
    ASSERT_TRUE(waitFor([&] { return server->sessionCount() == 1; }));
    EXPECT_EQ(readLine(peer), "hi\r\n");
    ::close(peer);
    ASSERT_TRUE(waitFor([&] { return server->sessionCount() == 0; }));
}

TEST_F(ServerTest, IPv6LoopbackPeersAreServedAsLocal) {
    startListening();
    int peer = ::socket(AF_INET6, SOCK_STREAM, 0);
    sockaddr_in6 sa{};
    sa.sin6_family = AF_INET6;
    sa.sin6_port = htons(static_cast<std::uint16_t>(port));
    sa.sin6_addr = in6addr_loopback;
    if (peer < 0 || ::connect(peer, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        if (peer >= 0) ::close(peer);
        GTEST_SKIP() << "no IPv6 loopback here";
    }
    ASSERT_TRUE(waitFor([&] { return server->sessionCount() == 1; }));
    EXPECT_EQ(readLine(peer), "hi\r\n");
    ::close(peer);
    ASSERT_TRUE(waitFor([&] { return server->sessionCount() == 0; }));
}

TEST_F(ServerTest, APortInUseIsLoggedAndLeavesOtherServersWorking) {
    RawListener taken;
    EXPECT_FALSE(server->listen(taken.port));
    EXPECT_EQ(server->listenError(), EADDRINUSE);
    EXPECT_NE(todaysLog().find("   NET HIGH FAILED - bind() : 98"), std::string::npos);
    GreetingServer other(owner);
    int freePort;
    {
        RawListener probe;
        freePort = probe.port;
    }
    ASSERT_TRUE(other.listen(freePort));
    int peer = rawConnect(freePort);
    ASSERT_TRUE(waitFor([&] { return other.sessionCount() == 1; }));
    EXPECT_EQ(readLine(peer), "hi\r\n");
    ::close(peer);
    ASSERT_TRUE(waitFor([&] { return other.sessionCount() == 0; }));
}

}  // namespace
