#include "store/read_state.h"

#include "platform/files.h"
#include "log/debug.h"

namespace store {

bool isItemRead(const std::string& path) {
    return plat::isReadOnly(path);
}

bool setItemRead(const std::string& path, ReadState state) {
    bool read = state == ReadState::Read;
    int err = plat::setReadOnly(path, read);
    if (err == 0) return true;
    DebugLineInt(LOG_APP, LOG_HIGH, read ? "unable to set file as READ" : "unable to set file as UNREAD", err);
    DebugLine(LOG_APP, LOG_HIGH, path.c_str());
    return false;
}

}  // namespace store
