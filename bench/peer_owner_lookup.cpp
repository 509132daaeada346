// What the local SMTP server's owner check costs per connection: the look-up of a loopback
// peer's user through the kernel's socket diagnostics (as the server does it, with its socket
// kept), with a socket of its own, and through /proc/net/tcp (the fall-back), beside a number
// of idle loopback connections that lengthen the kernel's tables as on a busy machine.
//
//   peer_owner_lookup [IDLE_CONNECTIONS]
#include "platform/peer_owner.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

int main(int argc, char** argv) {
    int idle = argc > 1 ? std::atoi(argv[1]) : 0;
    int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof sa;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&sa), len) != 0 || ::listen(listener, 4096) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
        std::perror("listen");
        return 1;
    }
    auto connectOne = [&](std::vector<int>& fds) {
        int c = ::socket(AF_INET, SOCK_STREAM, 0);
        if (c < 0 || ::connect(c, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) return -1;
        fds.push_back(c);
        int a = ::accept(listener, nullptr, nullptr);
        fds.push_back(a);
        return a;
    };
    std::vector<int> fds;
    for (int i = 0; i < idle; ++i) connectOne(fds);
    int accepted = connectOne(fds);
    if (accepted < 0) {
        std::perror("connect");
        return 1;
    }
    plat::PeerOwners owners;
    auto measure = [&](const char* what, int times, const std::function<plat::PeerOwner()>& lookup) {
        auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < times; ++i) {
            if (lookup().status != plat::PeerOwner::Status::Found) {
                std::printf("%-36s not found\n", what);
                return;
            }
        }
        std::chrono::duration<double, std::micro> took = std::chrono::steady_clock::now() - start;
        std::printf("%-36s %10.1f us per look-up\n", what, took.count() / times);
    };
    std::printf("idle loopback connections: %d\n", idle);
    measure("socket diagnostics, socket kept", 20000, [&] { return owners.find(accepted); });
    measure("socket diagnostics, socket each time", 20000, [&] { return plat::peerOwner(accepted); });
    measure("/proc/net/tcp", 20, [&] { return plat::peerOwnerFromTables(accepted); });
    for (int fd : fds) ::close(fd);
    ::close(listener);
    return 0;
}
