#include "platform/peer_owner.h"

#include <arpa/inet.h>
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

PeerOwner peerOwner(SOCKET s) {
    int family = 0;
    int peerFamily = 0;
    std::optional<TcpTableEndpoint> ours = socketEndpoint(s, false, family);
    std::optional<TcpTableEndpoint> peer = socketEndpoint(s, true, peerFamily);
    if (!ours || !peer || family != peerFamily) {
        PeerOwner unknown;
        unknown.why = std::string("addresses of the connection unknown: ") + std::strerror(errno);
        return unknown;
    }
    if (family == AF_INET6) return scanTable("/proc/net/tcp6", *peer, *ours);
    PeerOwner found = scanTable("/proc/net/tcp", *peer, *ours);
    if (found.status != PeerOwner::Status::NotListed) return found;
    PeerOwner dualStack = scanTable("/proc/net/tcp6", mapped(*peer), mapped(*ours));
    return dualStack.status == PeerOwner::Status::Found ? dualStack : found;
}

std::uint32_t processUid() {
    return static_cast<std::uint32_t>(::geteuid());
}

}  // namespace plat
