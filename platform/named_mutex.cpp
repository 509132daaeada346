#include "platform/named_mutex.h"

#include "platform/paths.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace plat {

NamedMutex::NamedMutex(const std::string& name) {
    std::string path = runtimeDir() + "/" + name + ".lock";
    fd_.reset(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
}

NamedMutex::~NamedMutex() {
    release();
}

bool NamedMutex::wait(int timeoutMs) {
    if (!fd_.valid()) return false;
    if (held_) return true;
    if (timeoutMs < 0) {
        while (::flock(fd_.get(), LOCK_EX) != 0) {
            if (errno != EINTR) return false;
        }
        held_ = true;
        return true;
    }
    timespec start{};
    ::clock_gettime(CLOCK_MONOTONIC, &start);
    for (;;) {
        if (::flock(fd_.get(), LOCK_EX | LOCK_NB) == 0) {
            held_ = true;
            return true;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) return false;
        timespec now{};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        long elapsed = (now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000;
        if (elapsed >= timeoutMs) return false;
        ::usleep(2000);
    }
}

void NamedMutex::release() {
    if (held_ && fd_.valid()) ::flock(fd_.get(), LOCK_UN);
    held_ = false;
}

}  // namespace plat
