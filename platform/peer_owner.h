// Which user of this machine owns the other end of a loopback connection: the kernel's socket
// whose local end is the peer's and whose remote end is ours names the uid that created it.
// It is asked of the kernel's socket diagnostics (netlink), one hash look-up; where they cannot
// answer, the TCP tables (/proc/net/tcp, /proc/net/tcp6) are read. Reading a table walks every
// socket of the machine, and its whole hash table, on the engine's thread: milliseconds, more
// on a busy machine, so it is only the fall-back.
#pragma once

#include "platform/socket.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace plat {

// An address and port as the tables print them: the address as 32-bit words in the order,
// and the byte order, they have in memory (one word for IPv4, four for IPv6), the port as a
// number.
struct TcpTableEndpoint {
    std::array<std::uint32_t, 4> words{};
    int wordCount = 0;  // 1 or 4
    std::uint16_t port = 0;
    bool operator==(const TcpTableEndpoint&) const = default;
};

struct TcpTableRow {
    TcpTableEndpoint local;
    TcpTableEndpoint remote;
    unsigned state = 0;  // the kernel's TCP state number; 6 is TIME_WAIT
    std::uint32_t uid = 0;
};

// One line of either table. None for the heading and for every line that is not a whole,
// well-formed row up to its inode (short, wrong widths, not hex, a uid that is not a 32-bit
// number).
std::optional<TcpTableRow> parseTcpTableRow(std::string_view line);

// The uid of the socket whose local end is peer and whose remote end is ours, among the rows
// of a table's whole text; none when no live socket matches. Rows in TIME_WAIT are skipped:
// they belong to no process and the kernel shows them as uid 0.
std::optional<std::uint32_t> findTcpOwner(std::string_view tableText, const TcpTableEndpoint& peer,
                                          const TcpTableEndpoint& ours);

struct PeerOwner {
    enum class Status {
        Found,  // uid is the peer socket's owner
        NotListed,  // the tables were read but hold no such socket (it has gone, or the peer
        // is in another network namespace)
        Unreadable,  // the tables or the socket's addresses could not be read
    };
    Status status = Status::Unreadable;
    std::uint32_t uid = 0;
    std::string why;  // for the log when not Found
};

// Finds the owners of peers, keeping its socket to the kernel's diagnostics open between
// look-ups. For one thread.
class PeerOwners {
public:
    PeerOwners() = default;
    ~PeerOwners();
    PeerOwners(const PeerOwners&) = delete;
    PeerOwners& operator=(const PeerOwners&) = delete;

    // The owner of the peer of connected socket s: one socket-diagnostics request; when they
    // give no answer (and have never found a socket here), one table is read (for an IPv4 connection whose peer is not there, the
    // IPv6 table too: a dual-stack program's IPv4 connection is listed there with an
    // IPv4-mapped address), up to the matching row.
    PeerOwner find(SOCKET s);

private:
    int diag_ = -1;
    std::uint32_t seq_ = 0;
    bool diagAnswers_ = false;  // the diagnostics have found a socket: they work here
};

// PeerOwners::find with a socket of its own.
PeerOwner peerOwner(SOCKET s);
// The same from the tables alone, as where the socket diagnostics cannot answer.
PeerOwner peerOwnerFromTables(SOCKET s);

// The user this process runs as (its effective uid, the one the kernel records for the
// sockets it creates).
std::uint32_t processUid();

}  // namespace plat
