#include "store/item_lock.h"

#include "log/debug.h"

namespace store {

namespace {
plat::KeptNamedMutex& processHandle() {
    static plat::KeptNamedMutex handle(kMailItemMutexName);
    return handle;
}
}  // namespace

MailItemLock::MailItemLock(int category, int level, const char* failureText) {
    plat::KeptNamedMutex& handle = processHandle();
    if (!handle.held()) {
        if (handle.wait()) kept_ = &handle;
        held_ = kept_ != nullptr;
    } else {
        own_.emplace(kMailItemMutexName);
        held_ = own_->locked();
    }
    if (!held_ && failureText) DebugLine(category, level, failureText);
}

MailItemLock::~MailItemLock() {
    if (kept_) kept_->release();
}

}  // namespace store
