// Named mutexes shared between the two programs ("LOGMUTEX", "MAILITEMREAD").
#pragma once

#include "platform/owned_handles.h"

#include <string>

namespace plat {

// flock on <runtime dir>/<name>.lock; one open file per handle, so two handles of one process
// exclude each other like handles of two processes. The kernel drops the lock of a process
// that died, so an abandoned mutex cannot happen.
class NamedMutex {
public:
    explicit NamedMutex(const std::string& name);
    ~NamedMutex();
    NamedMutex(const NamedMutex&) = delete;
    NamedMutex& operator=(const NamedMutex&) = delete;

    // The lock file could be opened.
    bool valid() const { return fd_.valid(); }
    // Waits for the mutex, at most timeoutMs (negative: no limit). False on time-out or error.
    [[nodiscard]] bool wait(int timeoutMs);
    void release();

private:
    Descriptor fd_;
    bool held_ = false;
};

// Holds a named mutex for a scope, waiting without a time limit.
class NamedMutexLock {
public:
    explicit NamedMutexLock(const std::string& name) : mutex_(name) { locked_ = mutex_.wait(-1); }
    ~NamedMutexLock() { if (locked_) mutex_.release(); }
    bool locked() const { return locked_; }

private:
    NamedMutex mutex_;
    bool locked_ = false;
};

}  // namespace plat
