#include "store/read_state.h"

#include "platform/files.h"
#include "shared/debug.h"

namespace store {

bool isItemRead(const std::string& path) {
    return plat::isReadOnly(path);
}

bool setItemRead(const std::string& path, int flag) {
    if (flag != 0 && flag != 1) return false;
    int err = plat::setReadOnly(path, flag == 1);
    if (err == 0) return true;
    DebugLineInt(LOG_APP, LOG_HIGH,
                 flag == 1 ? "unable to set file as READ" : "unable to set file as UNREAD", err);
    DebugLine(LOG_APP, LOG_HIGH, path.c_str());
    return false;
}

}  // namespace store
