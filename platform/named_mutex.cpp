#include "platform/named_mutex.h"

#include "platform/paths.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
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

bool KeptNamedMutex::reopen(const std::string& path) {
    fd_.reset(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    path_ = fd_.valid() ? path : std::string();
    openedBy_ = static_cast<int>(::getpid());
    return fd_.valid();
}

bool KeptNamedMutex::wait() {
    if (held_) return true;
    // The path is checked once the lock is had: a file removed before that would otherwise
    // be locked in vain while another process locks its successor.
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::string path = runtimeDir() + "/" + name_ + ".lock";
        if (!fd_.valid() || path != path_ || openedBy_ != static_cast<int>(::getpid())) {
            if (!reopen(path)) return false;
        }
        while (::flock(fd_.get(), LOCK_EX) != 0) {
            if (errno != EINTR) return false;
        }
        struct stat atPath {
        }, open{};
        if (::stat(path.c_str(), &atPath) == 0 && ::fstat(fd_.get(), &open) == 0 && atPath.st_dev == open.st_dev &&
            atPath.st_ino == open.st_ino) {
            held_ = true;
            return true;
        }
        ::flock(fd_.get(), LOCK_UN);
        fd_.reset();
    }
    return false;
}

void KeptNamedMutex::release() {
    if (held_ && fd_.valid()) ::flock(fd_.get(), LOCK_UN);
    held_ = false;
}

}  // namespace plat
