#include "platform/peer_owner.h"

#include <arpa/inet.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace plat {
namespace {

constexpr unsigned kTimeWait = 6;
constexpr unsigned kListen = 10;

// The next blank-delimited field of line from pos on; empty at the end.
std::string_view nextField(std::string_view line, std::size_t& pos) {
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
    std::size_t start = pos;
    while (pos < line.size() && line[pos] != ' ' && line[pos] != '\t' && line[pos] != '\n') ++pos;
    return line.substr(start, pos - start);
}

// Exactly text.size() hex digits, at most 8.
std::optional<std::uint32_t> hexWord(std::string_view text) {
    if (text.empty() || text.size() > 8) return std::nullopt;
    std::uint32_t v = 0;
    for (char c : text) {
        unsigned d;
        if (c >= '0' && c <= '9') d = static_cast<unsigned>(c - '0');
        else if (c >= 'A' && c <= 'F') d = static_cast<unsigned>(c - 'A' + 10);
        else if (c >= 'a' && c <= 'f') d = static_cast<unsigned>(c - 'a' + 10);
        else return std::nullopt;
        v = v << 4 | d;
    }
    return v;
}

// "0100007F:0019", or with 32 address digits for IPv6 ("00000000000000000000000001000000:0019").
std::optional<TcpTableEndpoint> endpoint(std::string_view field) {
    std::size_t colon = field.find(':');
    if (colon == std::string_view::npos) return std::nullopt;
    std::string_view address = field.substr(0, colon);
    std::string_view port = field.substr(colon + 1);
    if ((address.size() != 8 && address.size() != 32) || port.size() != 4) return std::nullopt;
    TcpTableEndpoint e;
    e.wordCount = static_cast<int>(address.size() / 8);
    for (int i = 0; i < e.wordCount; ++i) {
        auto w = hexWord(address.substr(static_cast<std::size_t>(i) * 8, 8));
        if (!w) return std::nullopt;
        e.words[static_cast<std::size_t>(i)] = *w;
    }
    auto p = hexWord(port);
    if (!p) return std::nullopt;
    e.port = static_cast<std::uint16_t>(*p);
    return e;
}

// "HEX:HEX", as the queue and timer fields are printed.
bool hexPair(std::string_view field) {
    std::size_t colon = field.find(':');
    return colon != std::string_view::npos && hexWord(field.substr(0, colon)) && hexWord(field.substr(colon + 1));
}

std::optional<std::uint32_t> decimalUid(std::string_view field) {
    if (field.empty() || field.size() > 10) return std::nullopt;
    std::uint64_t v = 0;
    for (char c : field) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + static_cast<unsigned>(c - '0');
    }
    if (v > 0xFFFFFFFFu) return std::nullopt;
    return static_cast<std::uint32_t>(v);
}

bool isDecimal(std::string_view field) {
    if (field.empty() || field.size() > 20) return false;
    for (char c : field)
        if (c < '0' || c > '9') return false;
    return true;
}

bool isPeerRow(const TcpTableRow& row, const TcpTableEndpoint& peer, const TcpTableEndpoint& ours) {
    return row.state != kTimeWait && row.local == peer && row.remote == ours;
}

// The socket's own end (getsockname) or its peer's (getpeername) as the tables print it.
std::optional<TcpTableEndpoint> socketEndpoint(SOCKET s, bool peerEnd, int& family) {
    sockaddr_storage ss{};
    socklen_t len = sizeof ss;
    sockaddr* sa = reinterpret_cast<sockaddr*>(&ss);
    if ((peerEnd ? ::getpeername(s, sa, &len) : ::getsockname(s, sa, &len)) != 0) return std::nullopt;
    family = ss.ss_family;
    TcpTableEndpoint e;
    if (ss.ss_family == AF_INET) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(&ss);
        e.wordCount = 1;
        std::memcpy(e.words.data(), &in->sin_addr, 4);
        e.port = ntohs(in->sin_port);
        return e;
    }
    if (ss.ss_family == AF_INET6) {
        const auto* in6 = reinterpret_cast<const sockaddr_in6*>(&ss);
        e.wordCount = 4;
        std::memcpy(e.words.data(), &in6->sin6_addr, 16);
        e.port = ntohs(in6->sin6_port);
        return e;
    }
    return std::nullopt;
}

// An IPv4 endpoint as a dual-stack socket shows it: ::ffff:a.b.c.d.
TcpTableEndpoint mapped(const TcpTableEndpoint& v4) {
    unsigned char bytes[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
    std::memcpy(bytes + 12, v4.words.data(), 4);
    TcpTableEndpoint e;
    e.wordCount = 4;
    std::memcpy(e.words.data(), bytes, 16);
    e.port = v4.port;
    return e;
}

struct CloseFile {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
struct FreeLine {
    void operator()(char* p) const { std::free(p); }
};

// Reads the table at path up to the peer's row.
PeerOwner scanTable(const char* path, const TcpTableEndpoint& peer, const TcpTableEndpoint& ours) {
    PeerOwner result;
    std::unique_ptr<std::FILE, CloseFile> f(std::fopen(path, "re"));
    if (!f) {
        result.why = std::string(path) + ": " + std::strerror(errno);
        return result;
    }
    char* raw = nullptr;
    std::size_t capacity = 0;
    ssize_t n;
    while ((n = ::getline(&raw, &capacity, f.get())) > 0) {
        std::optional<TcpTableRow> row = parseTcpTableRow(std::string_view(raw, static_cast<std::size_t>(n)));
        if (row && isPeerRow(*row, peer, ours)) {
            std::free(raw);
            result.status = PeerOwner::Status::Found;
            result.uid = row->uid;
            return result;
        }
    }
    std::unique_ptr<char, FreeLine> owned(raw);
    if (std::ferror(f.get())) {
        result.why = std::string(path) + ": read failed";
        return result;
    }
    result.status = PeerOwner::Status::NotListed;
    result.why = std::string("connection not listed in ") + path;
    return result;
}

// The kernel's socket diagnostics asked for the one socket with the given ends (a hash look-up,
// however many sockets the machine has), on the netlink socket fd, opened when it is -1 and
// closed again when it fails.
struct DiagAnswer {
    enum class Kind {
        Uid,  // the live socket's owner
        NoSocket,  // no live socket with those ends (or, in a kernel without TCP diagnostics,
        // the same "not found")
        NoAnswer,  // nothing usable came back
    };
    Kind kind = Kind::NoAnswer;
    std::uint32_t uid = 0;
};

DiagAnswer askSocketDiag(int& fd, std::uint32_t seq, int family, const TcpTableEndpoint& peer,
                         const TcpTableEndpoint& ours) {
    if (fd < 0) fd = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
    if (fd < 0) return {};
    struct {
        nlmsghdr header;
        inet_diag_req_v2 request;
    } message{};
    message.header.nlmsg_len = sizeof message;
    message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    message.header.nlmsg_flags = NLM_F_REQUEST;
    message.header.nlmsg_seq = seq;
    inet_diag_req_v2& r = message.request;
    r.sdiag_family = static_cast<__u8>(family);
    r.sdiag_protocol = IPPROTO_TCP;
    r.idiag_states = ~0u;
    r.id.idiag_sport = htons(peer.port);
    r.id.idiag_dport = htons(ours.port);
    std::memcpy(r.id.idiag_src, peer.words.data(), static_cast<std::size_t>(peer.wordCount) * 4);
    std::memcpy(r.id.idiag_dst, ours.words.data(), static_cast<std::size_t>(ours.wordCount) * 4);
    r.id.idiag_cookie[0] = INET_DIAG_NOCOOKIE;
    r.id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    DiagAnswer answer;
    alignas(nlmsghdr) char reply[8192];
    // The kernel answers within the send, so the reply is waiting when it returns; a reply to
    // an earlier request (another sequence number) is passed over.
    if (::sendto(fd, &message, sizeof message, 0, reinterpret_cast<sockaddr*>(&kernel), sizeof kernel) !=
        static_cast<ssize_t>(sizeof message)) {
        ::close(fd);
        fd = -1;
        return answer;
    }
    for (int tries = 0; tries < 4; ++tries) {
        ssize_t n = ::recv(fd, reply, sizeof reply, MSG_DONTWAIT);
        const auto* h = reinterpret_cast<const nlmsghdr*>(reply);
        if (n <= 0 || !NLMSG_OK(h, static_cast<unsigned>(n))) break;
        if (h->nlmsg_seq != seq) continue;
        if (h->nlmsg_type == SOCK_DIAG_BY_FAMILY && h->nlmsg_len >= NLMSG_LENGTH(sizeof(inet_diag_msg))) {
            const auto* m = static_cast<const inet_diag_msg*>(NLMSG_DATA(h));
            // Only the live socket whose far end is ours, never a listener or a closed one.
            bool live = m->idiag_state != kTimeWait && m->idiag_state != kListen &&
                        m->id.idiag_dport == htons(ours.port) && m->id.idiag_sport == htons(peer.port);
            answer.kind = live ? DiagAnswer::Kind::Uid : DiagAnswer::Kind::NoSocket;
            answer.uid = m->idiag_uid;
        } else if (h->nlmsg_type == NLMSG_ERROR && h->nlmsg_len >= NLMSG_LENGTH(sizeof(nlmsgerr)) &&
                   static_cast<const nlmsgerr*>(NLMSG_DATA(h))->error == -ENOENT) {
            answer.kind = DiagAnswer::Kind::NoSocket;
        }
        break;
    }
    return answer;
}

}  // namespace

std::optional<TcpTableRow> parseTcpTableRow(std::string_view line) {
    std::size_t pos = 0;
    std::string_view slot = nextField(line, pos);
    if (slot.size() < 2 || slot.back() != ':') return std::nullopt;
    for (char c : slot.substr(0, slot.size() - 1))
        if (c < '0' || c > '9') return std::nullopt;
    TcpTableRow row;
    auto local = endpoint(nextField(line, pos));
    auto remote = endpoint(nextField(line, pos));
    if (!local || !remote || local->wordCount != remote->wordCount) return std::nullopt;
    std::string_view state = nextField(line, pos);
    auto st = state.size() == 2 ? hexWord(state) : std::nullopt;
    if (!st) return std::nullopt;
    // tx_queue:rx_queue, tr:tm->when, retrnsmt: checked for shape only.
    if (!hexPair(nextField(line, pos)) || !hexPair(nextField(line, pos)) || !hexWord(nextField(line, pos)))
        return std::nullopt;
    auto uid = decimalUid(nextField(line, pos));
    // The timeout and the inode follow the uid: a line cut short never passes for a row with a
    // shorter uid.
    if (!uid || !isDecimal(nextField(line, pos)) || !isDecimal(nextField(line, pos))) return std::nullopt;
    row.local = *local;
    row.remote = *remote;
    row.state = *st;
    row.uid = *uid;
    return row;
}

std::optional<std::uint32_t> findTcpOwner(std::string_view tableText, const TcpTableEndpoint& peer,
                                          const TcpTableEndpoint& ours) {
    while (!tableText.empty()) {
        std::size_t end = tableText.find('\n');
        std::string_view line = tableText.substr(0, end);
        tableText = end == std::string_view::npos ? std::string_view() : tableText.substr(end + 1);
        std::optional<TcpTableRow> row = parseTcpTableRow(line);
        if (row && isPeerRow(*row, peer, ours)) return row->uid;
    }
    return std::nullopt;
}

namespace {

// The two ends of connected socket s, as the tables print them, and their family; none (with
// why) when they cannot be had.
bool connectionEnds(SOCKET s, int& family, TcpTableEndpoint& peer, TcpTableEndpoint& ours, PeerOwner& unknown) {
    int peerFamily = 0;
    std::optional<TcpTableEndpoint> o = socketEndpoint(s, false, family);
    std::optional<TcpTableEndpoint> p = socketEndpoint(s, true, peerFamily);
    if (!o || !p || family != peerFamily) {
        unknown.why = std::string("addresses of the connection unknown: ") + std::strerror(errno);
        return false;
    }
    ours = *o;
    peer = *p;
    return true;
}

PeerOwner fromTables(int family, const TcpTableEndpoint& peer, const TcpTableEndpoint& ours) {
    if (family == AF_INET6) return scanTable("/proc/net/tcp6", peer, ours);
    PeerOwner found = scanTable("/proc/net/tcp", peer, ours);
    if (found.status != PeerOwner::Status::NotListed) return found;
    PeerOwner dualStack = scanTable("/proc/net/tcp6", mapped(peer), mapped(ours));
    return dualStack.status == PeerOwner::Status::Found ? dualStack : found;
}

}  // namespace

PeerOwners::~PeerOwners() {
    if (diag_ >= 0) ::close(diag_);
}

PeerOwner PeerOwners::find(SOCKET s) {
    int family = 0;
    TcpTableEndpoint peer, ours;
    PeerOwner unknown;
    if (!connectionEnds(s, family, peer, ours, unknown)) return unknown;
    DiagAnswer answer = askSocketDiag(diag_, ++seq_, family, peer, ours);
    if (answer.kind == DiagAnswer::Kind::Uid) {
        diagAnswers_ = true;
        return PeerOwner{PeerOwner::Status::Found, answer.uid, {}};
    }
    // Once the diagnostics have answered, "no such socket" is believed: the tables are read
    // only where the diagnostics cannot answer at all, so that connections that vanish cannot
    // make the engine walk every socket of the machine.
    if (answer.kind == DiagAnswer::Kind::NoSocket && diagAnswers_)
        return PeerOwner{PeerOwner::Status::NotListed, 0, "connection not known to the kernel's socket diagnostics"};
    return fromTables(family, peer, ours);
}

PeerOwner peerOwner(SOCKET s) {
    return PeerOwners().find(s);
}

PeerOwner peerOwnerFromTables(SOCKET s) {
    int family = 0;
    TcpTableEndpoint peer, ours;
    PeerOwner unknown;
    if (!connectionEnds(s, family, peer, ours, unknown)) return unknown;
    return fromTables(family, peer, ours);
}

std::uint32_t processUid() {
    return static_cast<std::uint32_t>(::geteuid());
}

}  // namespace plat
