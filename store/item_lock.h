// The "MAILITEMREAD" mutex, shared by both programs: mail item files are deleted by the
// engine (send driver, local POP3 server) and their headers read by the front end only while
// it is held.
#pragma once

#include "platform/named_mutex.h"

#include <optional>

namespace store {

inline constexpr char kMailItemMutexName[] = "MAILITEMREAD";

// Opens (or creates) the mutex and waits for it without a time limit; releases and closes it
// when the scope ends. If it cannot be had, writes failureText at (category, level) and the
// caller goes on without the lock, as every caller of it does. Hold one per operation and
// never nest two in one process: handles of one process exclude each other, so the second
// would wait for ever.
// The process keeps one handle open for these holds; a hold taken while it is busy gets a
// handle of its own, as before.
class MailItemLock {
public:
    MailItemLock(int category, int level, const char* failureText);
    ~MailItemLock();
    MailItemLock(const MailItemLock&) = delete;
    MailItemLock& operator=(const MailItemLock&) = delete;

    bool held() const { return held_; }

private:
    plat::KeptNamedMutex* kept_ = nullptr;  // the process's handle, when this hold took it
    std::optional<plat::NamedMutexLock> own_;
    bool held_ = false;
};

}  // namespace store
