#include "platform/socket.h"

#include "platform/event_loop.h"
#include "platform/fault_hooks.h"
#include "platform/event_ptr.h"
#include "platform/owned_handles.h"
#include "platform/loop_internal.h"

#include <event2/event.h>

#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
#include <unordered_map>

namespace plat {
namespace {

// What one selected socket has asked for and what the kernel has promised.
struct Selection {
    SOCKET fd = INVALID_SOCKET;
    HWND hwnd = 0;
    UINT msg = 0;
    unsigned events = 0;
    std::uint64_t tag = 0;
    bool connecting = false;  // a non-blocking connect is under way
    bool listening = false;
    EventPtr readEv;
    EventPtr writeEv;
};

struct SocketState {
    std::unordered_map<SOCKET, std::unique_ptr<Selection>> selections;
    std::unordered_map<SOCKET, bool> connecting;  // connects started before a selection exists
    std::uint64_t nextTag = 1;
};

SocketState& sockets() {
    static SocketState s;
    return s;
}

Selection* find(SOCKET s) {
    auto it = sockets().selections.find(s);
    return it == sockets().selections.end() ? nullptr : it->second.get();
}

void notify(Selection& sel, unsigned event, int error) {
    detail::enqueue(
        {sel.hwnd, sel.msg, static_cast<WPARAM>(sel.fd), makeLParam(event, static_cast<unsigned>(error)), sel.tag});
}

void onReadable(evutil_socket_t fd, short, void*) {
    Selection* sel = find(fd);
    if (!sel) return;
    // The next notification waits until the core has called recv or accept again.
    event_del(sel->readEv.get());
    if (sel->listening) {
        if (sel->events & FD_ACCEPT) notify(*sel, FD_ACCEPT, 0);
    } else if (sel->events & FD_READ) {
        notify(*sel, FD_READ, 0);
    }
}

void onWritable(evutil_socket_t fd, short, void*) {
    Selection* sel = find(fd);
    if (!sel) return;
    if (sel->connecting) {
        sel->connecting = false;
        int err = 0;
        socklen_t len = sizeof err;
        ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
        if (sel->events & FD_CONNECT) notify(*sel, FD_CONNECT, err);
        if (err == 0 && (sel->events & FD_WRITE)) notify(*sel, FD_WRITE, 0);
        return;
    }
    if (sel->events & FD_WRITE) notify(*sel, FD_WRITE, 0);
}

void armRead(Selection& sel) {
    if (sel.readEv && (sel.events & (FD_READ | FD_ACCEPT | FD_CLOSE))) event_add(sel.readEv.get(), nullptr);
}

void armWrite(Selection& sel) {
    if (sel.writeEv) event_add(sel.writeEv.get(), nullptr);
}

bool isConnected(SOCKET s) {
    sockaddr_in peer{};
    socklen_t len = sizeof peer;
    return ::getpeername(s, reinterpret_cast<sockaddr*>(&peer), &len) == 0;
}

// The IPv4 view of an address of either family (see Ipv4Endpoint).
Ipv4Endpoint endpointOf(const sockaddr_storage& ss) {
    Ipv4Endpoint e;
    if (ss.ss_family == AF_INET) {
        const auto& sa = reinterpret_cast<const sockaddr_in&>(ss);
        e.address = ntohl(sa.sin_addr.s_addr);
        e.port = ntohs(sa.sin_port);
    } else if (ss.ss_family == AF_INET6) {
        const auto& sa = reinterpret_cast<const sockaddr_in6&>(ss);
        e.port = ntohs(sa.sin6_port);
        if (IN6_IS_ADDR_LOOPBACK(&sa.sin6_addr)) {
            e.address = INADDR_LOOPBACK;
        } else if (IN6_IS_ADDR_V4MAPPED(&sa.sin6_addr)) {
            std::uint32_t v4;
            std::memcpy(&v4, sa.sin6_addr.s6_addr + 12, sizeof v4);
            e.address = ntohl(v4);
        }
    }
    return e;
}

sockaddr_in toSockaddr(const Ipv4Endpoint& e) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(e.port);
    sa.sin_addr.s_addr = htonl(e.address);
    return sa;
}

}  // namespace

namespace detail {
bool socketTagAlive(WPARAM socket, std::uint64_t tag) {
    Selection* sel = find(static_cast<SOCKET>(socket));
    return sel && sel->tag == tag;
}
}  // namespace detail

bool socketStartup() {
    return true;
}

bool socketCleanup() {
    return true;
}

SOCKET tcpSocket() {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    return fd < 0 ? INVALID_SOCKET : fd;
}

SOCKET tcpSocketIpv6() {
    Descriptor fd(::socket(AF_INET6, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd.valid()) return INVALID_SOCKET;
    int one = 1;
    if (::setsockopt(fd.get(), IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one) != 0) {
        int err = errno;
        fd.reset();
        errno = err;  // the caller reports setsockopt's failure, not close's
        return INVALID_SOCKET;
    }
    return fd.release();
}

void closeSocket(SOCKET s) {
    if (s == INVALID_SOCKET) return;
    sockets().selections.erase(s);
    sockets().connecting.erase(s);
    ::close(s);
}

bool asyncSelect(SOCKET s, HWND hwnd, UINT msg, unsigned events) {
    if (s == INVALID_SOCKET) {
        errno = EBADF;
        return false;
    }
    if (faults::selectionRefused(s, events)) {
        errno = EINVAL;
        return false;
    }
    auto& table = sockets().selections;
    if (events == 0) {
        table.erase(s);
        return true;
    }
    auto sel = std::make_unique<Selection>();
    sel->fd = s;
    sel->hwnd = hwnd;
    sel->msg = msg;
    sel->events = events;
    sel->tag = sockets().nextTag++;
    auto pending = sockets().connecting.find(s);
    if (pending != sockets().connecting.end()) {
        sel->connecting = true;
        sockets().connecting.erase(pending);
    } else if (auto old = table.find(s); old != table.end()) {
        sel->connecting = old->second->connecting;
        sel->listening = old->second->listening;
    }
    int type = 0;
    socklen_t tlen = sizeof type;
    int acceptConn = 0;
    socklen_t alen = sizeof acceptConn;
    if (::getsockopt(s, SOL_SOCKET, SO_TYPE, &type, &tlen) != 0) return false;
    if (::getsockopt(s, SOL_SOCKET, SO_ACCEPTCONN, &acceptConn, &alen) == 0 && acceptConn) sel->listening = true;
    sel->readEv.reset(event_new(eventBase(), s, EV_READ, onReadable, nullptr));
    sel->writeEv.reset(event_new(eventBase(), s, EV_WRITE, onWritable, nullptr));
    if (!sel->readEv || !sel->writeEv) return false;
    Selection& ref = *sel;
    table[s] = std::move(sel);
    armRead(ref);
    if (ref.connecting) {
        armWrite(ref);
    } else if ((events & FD_WRITE) && !ref.listening && isConnected(s)) {
        notify(ref, FD_WRITE, 0);  // an established connection can take data at once
    }
    return true;
}

int connectSocket(SOCKET s, const Ipv4Endpoint& peer) {
    sockaddr_in sa = toSockaddr(peer);
    int rc = ::connect(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    int err = rc == 0 ? 0 : errno;
    Selection* sel = find(s);
    if (err == EINPROGRESS) {
        if (sel) {
            sel->connecting = true;
            armWrite(*sel);
        } else {
            sockets().connecting[s] = true;
        }
        return err;
    }
    if (sel) {
        // Finished (or failed) at once: report it the way a slow connect would be reported.
        if (sel->events & FD_CONNECT) notify(*sel, FD_CONNECT, err);
        if (err == 0 && (sel->events & FD_WRITE)) notify(*sel, FD_WRITE, 0);
    }
    errno = err;
    return err;
}

int bindAny(SOCKET s, std::uint16_t port) {
    return bindTo(s, Ipv4Endpoint{INADDR_ANY, port});
}

int bindTo(SOCKET s, const Ipv4Endpoint& local) {
    int one = 1;
    ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in sa = toSockaddr(local);
    return ::bind(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0 ? 0 : errno;
}

int bindIpv6Loopback(SOCKET s, std::uint16_t port) {
    int one = 1;
    ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in6 sa{};
    sa.sin6_family = AF_INET6;
    sa.sin6_port = htons(port);
    sa.sin6_addr = in6addr_loopback;
    return ::bind(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0 ? 0 : errno;
}

int listenSocket(SOCKET s, int backlog) {
    if (::listen(s, backlog) != 0) return errno;
    if (Selection* sel = find(s)) sel->listening = true;
    return 0;
}

SOCKET acceptSocket(SOCKET listening, Ipv4Endpoint* peer) {
    sockaddr_storage sa{};
    socklen_t len = sizeof sa;
    int fd = ::accept4(listening, reinterpret_cast<sockaddr*>(&sa), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
    int err = errno;
    if (Selection* sel = find(listening)) armRead(*sel);
    if (fd < 0) {
        errno = err;
        return INVALID_SOCKET;
    }
    if (peer) *peer = endpointOf(sa);
    return fd;
}

bool peerEndpoint(SOCKET s, Ipv4Endpoint* peer) {
    sockaddr_storage sa{};
    socklen_t len = sizeof sa;
    if (::getpeername(s, reinterpret_cast<sockaddr*>(&sa), &len) != 0) return false;
    if (peer) *peer = endpointOf(sa);
    return true;
}

std::uint16_t localPort(SOCKET s) {
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    if (::getsockname(s, reinterpret_cast<sockaddr*>(&sa), &len) != 0) return 0;
    return ntohs(sa.sin_port);
}

long recvSocket(SOCKET s, void* buf, std::size_t len) {
    ssize_t n = ::recv(s, buf, len, 0);
    int err = errno;
    Selection* sel = find(s);
    // Like the desktop: after a receive, readiness is reported again if data is still waiting.
    // After the end of stream or a hard error there is nothing more to report.
    if (sel && (n > 0 || (n < 0 && (err == EAGAIN || err == EINTR)))) armRead(*sel);
    errno = err;
    return static_cast<long>(n);
}

long sendSocket(SOCKET s, const void* buf, std::size_t len) {
    ssize_t n = ::send(s, buf, len, MSG_NOSIGNAL);
    int err = errno;
    if (n < 0 && err == EAGAIN) {
        if (Selection* sel = find(s)) armWrite(*sel);
    }
    errno = err;
    return static_cast<long>(n);
}

bool setNoDelay(SOCKET s) {
    int one = 1;
    return ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one) == 0;
}

void shutdownSocket(SOCKET s) {
    ::shutdown(s, SHUT_RDWR);
}

bool loopbackPortAnswers(std::uint16_t port, int timeoutMs) {
    Descriptor fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd.valid()) return false;
    timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    ::setsockopt(fd.get(), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);  // bounds the connect
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    peer.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return ::connect(fd.get(), reinterpret_cast<sockaddr*>(&peer), sizeof peer) == 0;
}

}  // namespace plat
