// The socket functions that need no loop: errors, their words, dotted addresses. Shared by
// both loops' platform layers, with TLS and the blocking line stream.
#include "platform/socket.h"

#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <cstring>

namespace plat {

int errorWouldBlock() {
    return EAGAIN;
}

int socketError() {
    return errno;
}

bool parseDottedAddress(const char* text, std::uint32_t& address) {
    if (!text) return false;
    in_addr a{};
    if (::inet_pton(AF_INET, text, &a) != 1) return false;
    address = ntohl(a.s_addr);
    return true;
}

std::string socketErrorWords(int err) {
    if (err == ETIMEDOUT) return "timed out";
    std::string words = std::strerror(err);
    if (!words.empty()) words[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(words[0])));
    return words;
}

}  // namespace plat
