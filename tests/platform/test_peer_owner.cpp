// Finding the user of a loopback peer: rows of the kernel's TCP tables as it writes them,
// lines that must not pass for rows, the choice of the one row that is the peer's, and real
// connections of this process (IPv4, IPv6, and IPv4 from a dual-stack socket) found through
// the tables themselves.
#include "platform/peer_owner.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <string>

using plat::TcpTableEndpoint;

namespace {

TcpTableEndpoint v4(const char* dotted, std::uint16_t port) {
    in_addr a{};
    ::inet_pton(AF_INET, dotted, &a);
    TcpTableEndpoint e;
    e.wordCount = 1;
    std::memcpy(e.words.data(), &a, 4);
    e.port = port;
    return e;
}

TcpTableEndpoint v6(const char* text, std::uint16_t port) {
    in6_addr a{};
    ::inet_pton(AF_INET6, text, &a);
    TcpTableEndpoint e;
    e.wordCount = 4;
    std::memcpy(e.words.data(), &a, 16);
    e.port = port;
    return e;
}

const char kHeading[] =
    "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode";
// 127.0.0.1:40000 -> 127.0.0.1:2525, a client of uid 1000.
const char kClientRow[] =
    "   5: 0100007F:9C40 0100007F:09DD 01 00000000:00000000 00:00000000 00000000  1000        0 43210 1 "
    "0000000000000000 20 4 30 10 -1";
// The server's end of the same connection, uid 0.
const char kServerRow[] =
    "   6: 0100007F:09DD 0100007F:9C40 01 00000000:00000000 00:00000000 00000000     0        0 43211 1 "
    "0000000000000000 20 4 30 10 -1";
// The same pair of ends after an earlier connection: TIME_WAIT, shown as uid 0.
const char kTimeWaitRow[] =
    "   7: 0100007F:9C40 0100007F:09DD 06 00000000:00000000 03:00001234 00000000     0        0 0 3 "
    "0000000000000000";
// Same ports from 127.0.0.2, another user's.
const char kOtherAddressRow[] =
    "   8: 0200007F:9C40 0100007F:09DD 01 00000000:00000000 00:00000000 00000000  1234        0 43299 1 "
    "0000000000000000 20 4 30 10 -1";
const char kIpv6Row[] =
    "   0: 00000000000000000000000001000000:9C40 00000000000000000000000001000000:09DD 01 "
    "00000000:00000000 00:00000000 00000000 65534        0 555 1 0000000000000000 20 4 30 10 -1";

TEST(TcpTableRow, RowsAreReadAsTheKernelWritesThem) {
    auto row = plat::parseTcpTableRow(std::string(kClientRow) + "\n");
    ASSERT_TRUE(row);
    EXPECT_EQ(row->local, v4("127.0.0.1", 40000));
    EXPECT_EQ(row->remote, v4("127.0.0.1", 2525));
    EXPECT_EQ(row->state, 1u);
    EXPECT_EQ(row->uid, 1000u);

    row = plat::parseTcpTableRow(kIpv6Row);
    ASSERT_TRUE(row);
    EXPECT_EQ(row->local, v6("::1", 40000));
    EXPECT_EQ(row->remote, v6("::1", 2525));
    EXPECT_EQ(row->uid, 65534u);

    row = plat::parseTcpTableRow("   1: 0100007f:9c40 0100007f:09dd 0a 0:0 0:0 0 4294967295 0 1");
    ASSERT_TRUE(row);  // lower-case digits and short queue fields
    EXPECT_EQ(row->uid, 4294967295u);
}

TEST(TcpTableRow, LinesThatAreNotWholeRowsAreNone) {
    const std::string good = "5: 0100007F:9C40 0100007F:09DD 01 00000000:00000000 00:00000000 00000000 1000 0 43210";
    ASSERT_TRUE(plat::parseTcpTableRow(good));
    for (const std::string& line : {
             std::string(kHeading), std::string(), std::string("   5:"),
             std::string("5 0100007F:9C40 0100007F:09DD 01 0:0 0:0 0 1000 0 1"),  // slot without ':'
             std::string("x: 0100007F:9C40 0100007F:09DD 01 0:0 0:0 0 1000 0 1"),  // slot not a number
             std::string("5: 100007F:9C40 0100007F:09DD 01 0:0 0:0 0 1000 0 1"),  // 7 address digits
             std::string("5: 0100007F:9C400 0100007F:09DD 01 0:0 0:0 0 1000 0 1"),  // 5 port digits
             std::string("5: 0100007G:9C40 0100007F:09DD 01 0:0 0:0 0 1000 0 1"),  // not hex
             std::string("5: 0100007F9C40 0100007F:09DD 01 0:0 0:0 0 1000 0 1"),  // no ':'
             std::string("5: 0100007F:9C40 00000000000000000000000001000000:09DD 01 0:0 0:0 0 1000 0 1"),
             std::string("5: 0100007F:9C40 0100007F:09DD 1 0:0 0:0 0 1000 0 1"),  // one-digit state
             std::string("5: 0100007F:9C40 0100007F:09DD 01 00000000 0:0 0 1000 0 1"),  // queues without ':'
             std::string("5: 0100007F:9C40 0100007F:09DD 01 0:0 0:0 0 10x0 0 1"),  // uid not a number
             std::string("5: 0100007F:9C40 0100007F:09DD 01 0:0 0:0 0 -1 0 1"),
             std::string("5: 0100007F:9C40 0100007F:09DD 01 0:0 0:0 0 4294967296 0 1"),  // past 32 bits
             std::string("5: 0100007F:9C40 0100007F:09DD 01 0:0 0:0 0 1000 0 x"),  // inode not a number
         }) {
        EXPECT_FALSE(plat::parseTcpTableRow(line)) << line;
    }
    // A line cut anywhere before its inode never reads as a row, so a cut uid ("10" of "1000")
    // cannot pass for another user.
    std::size_t inode = good.rfind(' ') + 1;
    for (std::size_t n = 0; n < inode; ++n) EXPECT_FALSE(plat::parseTcpTableRow(good.substr(0, n))) << n;
}

TEST(TcpTableRow, OnlyTheLiveRowOfThePeersEndNamesTheOwner) {
    const TcpTableEndpoint peer = v4("127.0.0.1", 40000);
    const TcpTableEndpoint ours = v4("127.0.0.1", 2525);
    std::string table = std::string(kHeading) + "\n" + kServerRow + "\n" + kTimeWaitRow + "\n" + kOtherAddressRow +
                        "\n" + "garbage in the middle\n" + kClientRow + "\n";
    EXPECT_EQ(plat::findTcpOwner(table, peer, ours), 1000u);
    // The server's own end, the old connection and the other address's are no answer.
    std::string decoys = std::string(kHeading) + "\n" + kServerRow + "\n" + kTimeWaitRow + "\n" + kOtherAddressRow +
                         "\n";
    EXPECT_FALSE(plat::findTcpOwner(decoys, peer, ours));
    EXPECT_EQ(plat::findTcpOwner(decoys, v4("127.0.0.2", 40000), ours), 1234u);
    EXPECT_FALSE(plat::findTcpOwner("", peer, ours));
    EXPECT_EQ(plat::findTcpOwner(kIpv6Row, v6("::1", 40000), v6("::1", 2525)), 65534u);
    EXPECT_FALSE(plat::findTcpOwner(kIpv6Row, v4("127.0.0.1", 40000), ours));
}

// A listening socket of the given family on loopback, a client connected to it, and the
// accepted end. clientFamily AF_INET6 on an IPv4 listener connects from a dual-stack socket.
struct Connection {
    int listener = -1, client = -1, accepted = -1;
    Connection(int family, int clientFamily) {
        listener = ::socket(family, SOCK_STREAM, 0);
        sockaddr_storage ss{};
        socklen_t len;
        if (family == AF_INET) {
            auto* in = reinterpret_cast<sockaddr_in*>(&ss);
            in->sin_family = AF_INET;
            in->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            len = sizeof *in;
        } else {
            auto* in6 = reinterpret_cast<sockaddr_in6*>(&ss);
            in6->sin6_family = AF_INET6;
            in6->sin6_addr = in6addr_loopback;
            len = sizeof *in6;
        }
        if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&ss), len) != 0 || ::listen(listener, 4) != 0)
            return;
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&ss), &len);
        sockaddr_storage to = ss;
        socklen_t toLen = len;
        if (family == AF_INET && clientFamily == AF_INET6) {
            // ::ffff:127.0.0.1 at the listener's port.
            auto port = reinterpret_cast<sockaddr_in*>(&ss)->sin_port;
            sockaddr_in6 mapped{};
            mapped.sin6_family = AF_INET6;
            mapped.sin6_port = port;
            ::inet_pton(AF_INET6, "::ffff:127.0.0.1", &mapped.sin6_addr);
            std::memcpy(&to, &mapped, sizeof mapped);
            toLen = sizeof mapped;
        }
        client = ::socket(clientFamily, SOCK_STREAM, 0);
        if (client < 0 || ::connect(client, reinterpret_cast<sockaddr*>(&to), toLen) != 0) return;
        accepted = ::accept(listener, nullptr, nullptr);
    }
    ~Connection() {
        for (int fd : {listener, client, accepted})
            if (fd >= 0) ::close(fd);
    }
};

TEST(PeerOwner, ThisProcessIsFoundAsTheOwnerOfItsOwnConnections) {
    struct Case {
        int family, clientFamily;
        const char* what;
    } cases[] = {
        {AF_INET, AF_INET, "IPv4"},
        {AF_INET6, AF_INET6, "IPv6"},
        {AF_INET, AF_INET6, "IPv4 from a dual-stack socket"},
    };
    // One finder for every case, as a server keeps it: its socket and sequence numbers are reused.
    plat::PeerOwners owners;
    auto kept = [&owners](plat::SOCKET s) { return owners.find(s); };
    for (const Case& c : cases) {
        Connection conn(c.family, c.clientFamily);
        if (conn.accepted < 0) {
            // A machine without IPv6 loopback has nothing to find there.
            EXPECT_NE(c.family, AF_INET) << c.what;
            continue;
        }
        for (const std::function<plat::PeerOwner(plat::SOCKET)>& lookup :
             {std::function<plat::PeerOwner(plat::SOCKET)>(kept), {plat::peerOwner}, {plat::peerOwnerFromTables}}) {
            plat::PeerOwner owner = lookup(conn.accepted);
            EXPECT_EQ(owner.status, plat::PeerOwner::Status::Found) << c.what << ": " << owner.why;
            EXPECT_EQ(owner.uid, plat::processUid()) << c.what;
        }
    }
}

TEST(PeerOwner, AConnectionThatIsGoneIsNotFound) {
    // A socket that is not connected has no peer to look for.
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    for (auto lookup : {plat::peerOwner, plat::peerOwnerFromTables}) {
        plat::PeerOwner owner = lookup(fd);
        EXPECT_EQ(owner.status, plat::PeerOwner::Status::Unreadable);
        EXPECT_FALSE(owner.why.empty());
    }
    ::close(fd);
    // The client's end closed and reset: its row leaves the table.
    Connection conn(AF_INET, AF_INET);
    ASSERT_GE(conn.accepted, 0);
    linger hard{1, 0};
    ::setsockopt(conn.client, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    ::close(conn.client);
    conn.client = -1;
    for (auto lookup : {plat::peerOwner, plat::peerOwnerFromTables})
        EXPECT_NE(lookup(conn.accepted).status, plat::PeerOwner::Status::Found);
}

}  // namespace
