// Non-blocking TCP sockets whose readiness arrives as window messages, in the manner of
// WSAAsyncSelect: each notification is queued as (message, wParam = socket,
// lParam = event in the low word, error in the high word).
#pragma once

#include "platform/window.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace plat {

using SOCKET = int;
constexpr SOCKET INVALID_SOCKET = -1;

constexpr unsigned FD_READ = 0x01;
constexpr unsigned FD_WRITE = 0x02;
constexpr unsigned FD_ACCEPT = 0x08;
constexpr unsigned FD_CONNECT = 0x10;
constexpr unsigned FD_CLOSE = 0x20;

// "would block", the errno value behind the desktop's error 10035.
int errorWouldBlock();

// Starting the socket library at version 1.1 has nothing to do here; it always succeeds.
[[nodiscard]] bool socketStartup();
[[nodiscard]] bool socketCleanup();

// The errno value of the last failed socket call.
int socketError();

SOCKET tcpSocket();
// An IPv6 TCP socket that takes IPv6 only (IPV6_V6ONLY); INVALID_SOCKET when the machine has
// no IPv6.
SOCKET tcpSocketIpv6();
// Closes the socket and drops its notifications, also those already queued.
void closeSocket(SOCKET s);

// Selects notifications for the socket; events 0 cancels. FD_WRITE comes once when the
// connection is established (at once for a connected socket) and after that only when a
// send failed with "would block" and the socket can take data again. FD_READ and FD_ACCEPT
// come again only after recv or accept was called. Answers false on failure.
[[nodiscard]] bool asyncSelect(SOCKET s, HWND hwnd, UINT msg, unsigned events);

// IPv4 addresses and ports in host byte order. A peer of an IPv6 socket is given as its IPv4
// equivalent: ::1 as 127.0.0.1, an IPv4-mapped address as that address, any other as 0.0.0.0
// (so that it never passes for loopback).
struct Ipv4Endpoint {
    std::uint32_t address = 0;
    std::uint16_t port = 0;
};

// Parses a dotted IPv4 address ("127.0.0.1"); false if it is not one.
bool parseDottedAddress(const char* text, std::uint32_t& address);

// Starts a non-blocking connect. 0 when it completed at once, otherwise the errno value
// (EINPROGRESS: the outcome arrives as FD_CONNECT; any other error is also delivered as
// FD_CONNECT with that error).
int connectSocket(SOCKET s, const Ipv4Endpoint& peer);

// Binds to the port on all local addresses (0.0.0.0), with SO_REUSEADDR. 0 or errno.
int bindAny(SOCKET s, std::uint16_t port);
// Binds to a given local address and port (0 = any port). 0 or errno.
int bindTo(SOCKET s, const Ipv4Endpoint& local);
// Binds an IPv6 socket to the port of ::1, with SO_REUSEADDR. 0 or errno.
int bindIpv6Loopback(SOCKET s, std::uint16_t port);
int listenSocket(SOCKET s, int backlog);
// Accepts one connection; INVALID_SOCKET on failure. peer receives the peer's address.
SOCKET acceptSocket(SOCKET listening, Ipv4Endpoint* peer);
// The peer of a connected socket; false on failure.
bool peerEndpoint(SOCKET s, Ipv4Endpoint* peer);
// The port a socket is bound to (host order), 0 on failure.
std::uint16_t localPort(SOCKET s);

// Receives at most len bytes: the count, 0 at end of stream, -1 on error (socketError()).
long recvSocket(SOCKET s, void* buf, std::size_t len);
// Sends with MSG_NOSIGNAL: the count sent, or -1 (socketError() == errorWouldBlock() when the
// socket cannot take data now; FD_WRITE then follows when it can).
long sendSocket(SOCKET s, const void* buf, std::size_t len);
// Turns off the delaying of small segments (TCP_NODELAY), for a sender that already hands
// over whole replies; the delay would otherwise hold each reply's tail for the peer's ACK.
bool setNoDelay(SOCKET s);
// Shuts down both directions.
void shutdownSocket(SOCKET s);

// A socket error (an errno value) in words, as a log line shows it: "connection refused",
// "timed out", "no route to host".
std::string socketErrorWords(int err);

// Whether something accepts a TCP connection on 127.0.0.1:port, asked with a blocking connect
// of at most timeoutMs (for status reports, outside any message loop).
bool loopbackPortAnswers(std::uint16_t port, int timeoutMs);

}  // namespace plat
