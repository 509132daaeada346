#include "pop3/incoming_route.h"

#include "platform/durable_copy.h"
#include "platform/files.h"
#include "log/debug.h"
#include "store/private_folder.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {
// Far beyond any real mailbox; ends the search on a file system that answers "exists" for all.
constexpr int kMaxSuffix = 1000000;

// A rename where it can; into a mailbox on another file system (a link to another disk, a
// mounted folder), a copy that reaches the disk before it is named, then the held file goes.
int moveIntoMailbox(const std::string& from, const std::string& to) {
    int error = plat::moveFileNoReplace(from, to);
    if (error != EXDEV) return error;
    error = plat::copyFileNoReplace(from, to);
    if (error == 0) plat::deleteFile(from);
    return error;
}
}  // namespace

RoutedItem routeIncomingItem(const std::string& storedPath, const std::string& destMailbox, bool flush) {
    std::size_t slash = storedPath.find_last_of('/');
    std::string name = slash == std::string::npos ? storedPath : storedPath.substr(slash + 1);
    std::string destination = "accounts/" + destMailbox + "/" + name;
    DebugLineStr(LOG_MAIL, LOG_MED, "New incoming item :", destination.c_str());
    int error = moveIntoMailbox(storedPath, destination);
    std::string folder = store::mailboxFolder(destMailbox);
    if (error == ENOENT && !folder.empty() && !plat::fileExists(folder)) {
        // A mailbox directory removed by hand, or never made: the item must not be lost in
        // the holding directory while the front end is told of a file that is not there.
        DebugLineStr(LOG_MAIL, LOG_MED, "Creating missing mailbox directory :", folder.c_str());
        if (store::preparePrivateFolder(folder)) error = moveIntoMailbox(storedPath, destination);
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
        error = moveIntoMailbox(storedPath, taken);
        if (error != EEXIST) destination = taken;
    }
    if (error != 0) {
        DebugLineInt(LOG_APP, LOG_HIGH, "FILE ERROR DURING ROUTING OF INCOMING MAIL", error);
        return {destination, false};
    }
    if (flush) {
        if (int failed = plat::syncDirectoryOf(destination)) {
            // The name may not survive a power loss: the server must keep the message.
            DebugLineStr(LOG_APP, LOG_HIGH,
                         "Unable to flush mailbox directory :", (destination + " : " + std::strerror(failed)).c_str());
            return {destination, false};
        }
    }
    return {destination, true};
}

bool syncMailbox(const std::string& destMailbox) {
    std::string folder = "accounts/" + destMailbox;
    if (int error = plat::syncDirectoryOf(folder + "/.")) {
        DebugLineStr(LOG_APP, LOG_HIGH,
                     "Unable to flush mailbox directory :", (folder + " : " + std::strerror(error)).c_str());
        return false;
    }
    return true;
}

std::string mailboxProblem(const std::string& destMailbox) {
    std::string folder = store::mailboxFolder(destMailbox);
    if (!folder.empty() && !plat::fileExists(folder)) {
        DebugLineStr(LOG_MAIL, LOG_MED, "Creating missing mailbox directory :", folder.c_str());
        store::preparePrivateFolder(folder);
    }
    int error = plat::checkCanMakeFilesIn("accounts/" + destMailbox);
    return error == 0 ? std::string() : std::strerror(error);
}
