// Socket readiness as window messages: when FD_CONNECT, FD_WRITE, FD_READ and FD_ACCEPT come.
#include "platform/event_loop.h"
#include "platform/socket.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace plat;

namespace {

constexpr UINT kSockMsg = WM_USER;

struct Note {
    SOCKET s;
    unsigned event;
    unsigned error;
};
std::vector<Note> g_notes;

LRESULT sockProc(HWND, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == kSockMsg) {
        g_notes.push_back({static_cast<SOCKET>(wParam), loWord(lParam), hiWord(lParam)});
    }
    return 0;
}

int count(SOCKET s, unsigned event) {
    int n = 0;
    for (const auto& note : g_notes)
        if (note.s == s && note.event == event) ++n;
    return n;
}

class SocketNotify : public ::testing::Test {
protected:
    void SetUp() override {
        if (!isClassRegistered("SOCKCLASS")) {
            ASSERT_TRUE(registerClass("SOCKCLASS", sockProc));
        }
        hwnd = createWindow("SOCKCLASS", "", 0);
        g_notes.clear();
        listener = tcpSocket();
        ASSERT_EQ(bindTo(listener, {0x7F000001, 0}), 0);
        ASSERT_EQ(listenSocket(listener, 5), 0);
        ASSERT_TRUE(asyncSelect(listener, hwnd, kSockMsg, FD_ACCEPT));
        port = localPort(listener);
    }
    void TearDown() override {
        closeSocket(listener);
        destroyWindow(hwnd);
    }
    // Connects a selected client and accepts it; answers the accepted socket.
    SOCKET connectPair(SOCKET& client) {
        client = tcpSocket();
        EXPECT_TRUE(asyncSelect(client, hwnd, kSockMsg, FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE));
        int rc = connectSocket(client, {0x7F000001, port});
        EXPECT_TRUE(rc == 0 || rc == EINPROGRESS);
        for (int i = 0; i < 100 && count(listener, FD_ACCEPT) == 0; ++i) pumpMessages(10);
        Ipv4Endpoint peer;
        SOCKET server = acceptSocket(listener, &peer);
        EXPECT_NE(server, INVALID_SOCKET);
        EXPECT_EQ(peer.address, 0x7F000001u);
        for (int i = 0; i < 100 && count(client, FD_CONNECT) == 0; ++i) pumpMessages(10);
        pumpMessages(20);
        return server;
    }
    HWND hwnd = 0;
    SOCKET listener = INVALID_SOCKET;
    std::uint16_t port = 0;
};

TEST_F(SocketNotify, ConnectGivesOneConnectAndOneWriteThenWriteOnlyAfterWouldBlock) {
    SOCKET client;
    SOCKET server = connectPair(client);
    EXPECT_EQ(count(client, FD_CONNECT), 1);
    ASSERT_EQ(count(client, FD_WRITE), 1);
    // The connect notice comes before the write notice.
    for (const auto& n : g_notes) {
        if (n.s == client) {
            EXPECT_EQ(n.event, FD_CONNECT);
            EXPECT_EQ(n.error, 0u);
            break;
        }
    }
    std::string chunk(65536, 'x');
    ASSERT_GT(sendSocket(client, chunk.data(), 100), 0);
    pumpMessages(50);
    EXPECT_EQ(count(client, FD_WRITE), 1);  // a send that went through brings no notice

    long sent = 0;
    for (int i = 0; i < 10000; ++i) {
        long n = sendSocket(client, chunk.data(), chunk.size());
        if (n < 0) {
            EXPECT_EQ(socketError(), errorWouldBlock());
            break;
        }
        sent += n;
    }
    ASSERT_GT(sent, 0);
    pumpMessages(30);
    EXPECT_EQ(count(client, FD_WRITE), 1);  // still full
    // Drain the receiving side: the blocked sender hears it can write again.
    char buf[65536];
    for (int i = 0; i < 100000 && count(client, FD_WRITE) < 2; ++i) {
        recvSocket(server, buf, sizeof buf);
        if (i % 16 == 0) pumpMessages(1);
    }
    EXPECT_EQ(count(client, FD_WRITE), 2);
    closeSocket(server);
    closeSocket(client);
}

TEST_F(SocketNotify, ReadComesAgainOnlyAfterRecvAndEndOfStreamReadsZero) {
    SOCKET client;
    SOCKET server = connectPair(client);
    ASSERT_TRUE(asyncSelect(server, hwnd, kSockMsg, FD_READ | FD_WRITE | FD_CLOSE));
    pumpMessages(10);
    EXPECT_EQ(count(server, FD_WRITE), 1);  // an accepted connection can take data at once
    ASSERT_EQ(sendSocket(client, "hello", 5), 5);
    for (int i = 0; i < 50 && count(server, FD_READ) == 0; ++i) pumpMessages(10);
    ASSERT_EQ(count(server, FD_READ), 1);
    pumpMessages(30);
    EXPECT_EQ(count(server, FD_READ), 1);  // not repeated while nobody reads
    char buf[3];
    ASSERT_EQ(recvSocket(server, buf, sizeof buf), 3);
    for (int i = 0; i < 50 && count(server, FD_READ) < 2; ++i) pumpMessages(10);
    EXPECT_EQ(count(server, FD_READ), 2);  // two bytes still waiting
    ASSERT_EQ(recvSocket(server, buf, sizeof buf), 2);
    closeSocket(client);
    for (int i = 0; i < 50 && count(server, FD_READ) < 3; ++i) pumpMessages(10);
    ASSERT_EQ(count(server, FD_READ), 3);
    EXPECT_EQ(recvSocket(server, buf, sizeof buf), 0);
    pumpMessages(30);
    EXPECT_EQ(count(server, FD_READ), 3);  // nothing more after the end of stream
    closeSocket(server);
}

TEST_F(SocketNotify, NotificationsOfAClosedSocketAreDropped) {
    SOCKET client;
    SOCKET server = connectPair(client);
    ASSERT_TRUE(asyncSelect(server, hwnd, kSockMsg, FD_READ | FD_CLOSE));
    sendSocket(client, "x", 1);
    // Let libevent see the readiness and queue FD_READ, then close before it is dispatched.
    collectEvents(50);
    ASSERT_EQ(count(server, FD_READ), 0);
    closeSocket(server);
    pumpMessages(30);
    EXPECT_EQ(count(server, FD_READ), 0);
    closeSocket(client);
}

TEST_F(SocketNotify, RefusedConnectReportsItsError) {
    SOCKET probe = tcpSocket();
    ASSERT_EQ(bindTo(probe, {0x7F000001, 0}), 0);
    std::uint16_t closedPort = localPort(probe);
    closeSocket(probe);  // nothing listens there now
    SOCKET s = tcpSocket();
    ASSERT_TRUE(asyncSelect(s, hwnd, kSockMsg, FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE));
    connectSocket(s, {0x7F000001, closedPort});
    for (int i = 0; i < 100 && count(s, FD_CONNECT) == 0; ++i) pumpMessages(10);
    ASSERT_EQ(count(s, FD_CONNECT), 1);
    for (const auto& n : g_notes) {
        if (n.s == s && n.event == FD_CONNECT) {
            EXPECT_EQ(n.error, static_cast<unsigned>(ECONNREFUSED));
        }
    }
    EXPECT_EQ(count(s, FD_WRITE), 0);
    closeSocket(s);
}

TEST(DottedAddress, ParsesOnlyDottedQuads) {
    std::uint32_t a = 0;
    EXPECT_TRUE(parseDottedAddress("127.0.0.2", a));
    EXPECT_EQ(a, 0x7F000002u);
    EXPECT_FALSE(parseDottedAddress("localhost", a));
    EXPECT_FALSE(parseDottedAddress("256.1.1.1", a));
    EXPECT_FALSE(parseDottedAddress(nullptr, a));
}

}  // namespace
