#include "store/private_folder.h"

#include "platform/files.h"
#include "log/debug.h"

#include <cerrno>

namespace store {

bool preparePrivateFolder(const std::string& path, FolderFlush flush) {
    bool madePrivate = false;
    bool made = false;
    int error = plat::makePrivateDirectory(path, madePrivate, &made);
    if (error == ELOOP) {
        // The user put the folder elsewhere on purpose; what lies there is theirs to guard.
        DebugLineStr(LOG_APP, LOG_MED, "Folder is a link, left as it is :", path.c_str());
        return plat::fileExists(path);
    }
    if (error != 0) {
        DebugLineStr(LOG_APP, LOG_HIGH, "Unable to prepare folder :", (path + " " + std::to_string(error)).c_str());
        return false;
    }
    if (madePrivate) DebugLineStr(LOG_APP, LOG_MED, "Folder made private :", path.c_str());
    // What is later stored in a new folder is no safer than the folder's own entry.
    if ((made || flush == FolderFlush::Always) && (error = plat::syncDirectoryOf(path)) != 0) {
        DebugLineStr(LOG_APP, LOG_HIGH,
                     "Unable to flush the folder that holds :", (path + " " + std::to_string(error)).c_str());
        return false;
    }
    return true;
}

std::string mailboxFolder(const std::string& destMailbox) {
    if (destMailbox.empty() || destMailbox == "." || destMailbox == ".." ||
        destMailbox.find('/') != std::string::npos) {
        return {};
    }
    return "accounts/" + destMailbox;
}

}  // namespace store
