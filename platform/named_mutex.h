// Named mutexes shared between the two programs ("LOGMUTEX", "MAILITEMREAD").
#pragma once

#include "platform/owned_handles.h"

#include <string>
#include <utility>

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
    ~NamedMutexLock() {
        if (locked_) mutex_.release();
    }
    bool locked() const { return locked_; }

private:
    NamedMutex mutex_;
    bool locked_ = false;
};

// A process's lasting handle of a named mutex, for a lock taken very often: the lock file stays
// open between holds. It is opened again when its path no longer leads to the open file (the
// file was removed or replaced, the runtime directory changed) or in a forked child, whose
// inherited descriptor would share the parent's lock. One holder at a time: while it is held,
// a second holder of the same process needs a NamedMutex of its own.
class KeptNamedMutex {
public:
    explicit KeptNamedMutex(std::string name) : name_(std::move(name)) {}
    KeptNamedMutex(const KeptNamedMutex&) = delete;
    KeptNamedMutex& operator=(const KeptNamedMutex&) = delete;

    // Waits without a time limit. False when the lock file cannot be opened or locked.
    [[nodiscard]] bool wait();
    void release();
    bool held() const { return held_; }

private:
    bool reopen(const std::string& path);

    std::string name_;
    std::string path_;
    Descriptor fd_;
    int openedBy_ = 0;  // the process that opened fd_
    bool held_ = false;
};

}  // namespace plat
