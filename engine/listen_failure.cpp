#include "engine/listen_failure.h"

#include <cerrno>
#include <cstring>

std::string listenFailureText(const char* server, int port, int error, const char* portVariable) {
    std::string text = std::string(server) + " server cannot listen on 127.0.0.1:" + std::to_string(port) + ": ";
    switch (error) {
    case EADDRINUSE: return text + "address already in use (another mail server?); set " + portVariable + " or stop it";
    case EACCES:
        // Ports below 1024 need the capability that the install step grants.
        return text + "permission denied: run setcap as the README says";
    default: return text + std::strerror(error);
    }
}
