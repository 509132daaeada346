// Shared pieces of the connection tests: an owner window, a raw peer, waiting with a deadline.
#pragma once

#include "platform/event_loop.h"
#include "platform/window.h"
#include "tests/support/temp_env.h"

#include <arpa/inet.h>
#include <ctime>
#include <functional>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace nettest {

// Pumps the loop until done() or the time limit.
inline bool waitFor(const std::function<bool()>& done, int ms = 3000) {
    for (int waited = 0; waited < ms; waited += 10) {
        if (done()) return true;
        plat::pumpMessages(10);
    }
    return done();
}

// A blocking loopback listener on a free port, standing for the far end of a connection.
struct RawListener {
    int fd = -1;
    int port = 0;
    explicit RawListener(std::uint32_t address = INADDR_LOOPBACK) {
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(address);
        ::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
        ::listen(fd, 8);
        socklen_t len = sizeof sa;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
        port = ntohs(sa.sin_port);
    }
    ~RawListener() { ::close(fd); }
    int acceptOne() {
        int c = ::accept(fd, nullptr, nullptr);
        timeval tv{3, 0};
        ::setsockopt(c, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        return c;
    }
};

// A blocking client socket connected to 127.0.0.1:port, optionally from a given local address.
inline int rawConnect(int port, std::uint32_t from = 0) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (from) {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(from);
        ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local);
    }
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<std::uint16_t>(port));
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        ::close(fd);
        return -1;
    }
    timeval tv{3, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    return fd;
}

inline void sendText(int fd, const std::string& s) {
    ::send(fd, s.data(), s.size(), MSG_NOSIGNAL);
}

// Reads one CRLF-terminated line (with its CRLF) from a blocking socket.
inline std::string readLine(int fd) {
    std::string out;
    char c;
    while (::recv(fd, &c, 1, 0) == 1) {
        out += c;
        if (out.size() >= 2 && out.compare(out.size() - 2, 2, "\r\n") == 0) break;
    }
    return out;
}

// Today's log of the working directory.
inline std::string todaysLog() {
    std::time_t now = std::time(nullptr);
    char name[32];
    std::strftime(name, sizeof name, "%Y%m%d.log", std::localtime(&now));
    return testsupport::readFile(name);
}

inline plat::LRESULT ownerProc(plat::HWND, plat::UINT, plat::WPARAM, plat::LPARAM) {
    return 0;
}

inline plat::HWND makeOwner() {
    if (!plat::isClassRegistered("TESTOWNER")) (void)plat::registerClass("TESTOWNER", ownerProc);
    return plat::createWindow("TESTOWNER", "owner", 0);
}

}  // namespace nettest
