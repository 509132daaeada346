#include "pop3/incoming_route.h"

#include "platform/files.h"
#include "shared/debug.h"
#include "store/private_folder.h"

#include <cerrno>
#include <cstdio>

namespace {
// Far beyond any real mailbox; ends the search on a file system that answers "exists" for all.
constexpr int kMaxSuffix = 1000000;
}

RoutedItem routeIncomingItem(const std::string& storedPath, const std::string& destMailbox, bool flush) {
    std::size_t slash = storedPath.find_last_of('/');
    std::string name = slash == std::string::npos ? storedPath : storedPath.substr(slash + 1);
    std::string destination = "accounts/" + destMailbox + "/" + name;
    DebugLineStr(LOG_MAIL, LOG_MED, "New incoming item :", destination.c_str());
    int error = plat::moveFileNoReplace(storedPath, destination);
    std::string folder = store::mailboxFolder(destMailbox);
    if (error == ENOENT && !folder.empty() && !plat::fileExists(folder)) {
        // A mailbox directory removed by hand, or never made: the item must not be lost in
        // the holding directory while the front end is told of a file that is not there.
        DebugLineStr(LOG_MAIL, LOG_MED, "Creating missing mailbox directory :", folder.c_str());
        if (store::preparePrivateFolder(folder)) error = plat::moveFileNoReplace(storedPath, destination);
    }
    std::string taken = destination;
    for (int counter = 0; error == EEXIST && counter < kMaxSuffix; ++counter) {
        // The same account and identifier with the same bytes is this very message, stored by
        // a run that ended before it could record it: keep the one copy.
        if (plat::sameFileContents(storedPath, taken)) {
            DebugLineStr(LOG_MAIL, LOG_MED, "Item already stored :", taken.c_str());
            plat::deleteFile(storedPath);
            return {taken, true};
        }
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "-%03d", counter);
        taken = "accounts/" + destMailbox + "/" + name + suffix;
        error = plat::moveFileNoReplace(storedPath, taken);
        if (error != EEXIST) destination = taken;
    }
    if (error != 0) {
        DebugLineInt(LOG_APP, LOG_HIGH, "FILE ERROR DURING ROUTING OF INCOMING MAIL", error);
        return {destination, false};
    }
    if (flush && plat::syncDirectoryOf(destination) != 0) {
        DebugLineStr(LOG_APP, LOG_HIGH, "Unable to flush mailbox directory :", destination.c_str());
    }
    return {destination, true};
}

void syncMailbox(const std::string& destMailbox) {
    std::string folder = "accounts/" + destMailbox;
    if (plat::syncDirectoryOf(folder + "/.") != 0) {
        DebugLineStr(LOG_APP, LOG_HIGH, "Unable to flush mailbox directory :", folder.c_str());
    }
}
