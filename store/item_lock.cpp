#include "store/item_lock.h"

#include "shared/debug.h"

namespace store {

MailItemLock::MailItemLock(int category, int level, const char* failureText)
    : lock_(kMailItemMutexName) {
    if (!lock_.locked() && failureText) DebugLine(category, level, failureText);
}

}  // namespace store
