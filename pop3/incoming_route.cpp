#include "pop3/incoming_route.h"

#include "platform/files.h"
#include "shared/debug.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {
// Far beyond any real mailbox; ends the search on a file system that answers "exists" for all.
constexpr int kMaxSuffix = 1000000;

// Whether two files hold the same bytes (false when either cannot be read).
bool sameContents(const std::string& a, const std::string& b) {
    std::FILE* fa = std::fopen(a.c_str(), "rb");
    std::FILE* fb = fa ? std::fopen(b.c_str(), "rb") : nullptr;
    bool same = fa && fb;
    char ba[8192], bb[8192];
    while (same) {
        std::size_t na = std::fread(ba, 1, sizeof ba, fa);
        std::size_t nb = std::fread(bb, 1, sizeof bb, fb);
        if (na != nb || std::memcmp(ba, bb, na) != 0) same = false;
        else if (na == 0) break;
    }
    if (fa) std::fclose(fa);
    if (fb) std::fclose(fb);
    return same;
}

// A message retrieved again after the engine was killed between storing it and recording its
// identifier finds its own earlier copy under its name: that copy stands, the new one goes.
bool alreadyStored(const std::string& storedPath, const std::string& existing) {
    if (!sameContents(storedPath, existing) || plat::deleteFile(storedPath) != 0) return false;
    DebugLineStr(LOG_MAIL, LOG_MED, "Incoming item already stored :", existing.c_str());
    return true;
}

}  // namespace

RoutedItem routeIncomingItem(const std::string& storedPath, const std::string& destMailbox) {
    std::size_t slash = storedPath.find_last_of('/');
    std::string name = slash == std::string::npos ? storedPath : storedPath.substr(slash + 1);
    std::string destination = "accounts/" + destMailbox + "/" + name;
    DebugLineStr(LOG_MAIL, LOG_MED, "New incoming item :", destination.c_str());
    int error = plat::moveFileNoReplace(storedPath, destination);
    if (error == EEXIST && alreadyStored(storedPath, destination)) return {destination, true};
    for (int counter = 0; error == EEXIST && counter < kMaxSuffix; ++counter) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "-%03d", counter);
        std::string candidate = "accounts/" + destMailbox + "/" + name + suffix;
        error = plat::moveFileNoReplace(storedPath, candidate);
        if (error == EEXIST && alreadyStored(storedPath, candidate)) return {candidate, true};
        if (error != EEXIST) destination = candidate;
    }
    if (error != 0) {
        DebugLineInt(LOG_APP, LOG_HIGH, "FILE ERROR DURING ROUTING OF INCOMING MAIL", error);
        return {destination, false};
    }
    if (plat::syncDirectoryOf(destination) != 0) {
        DebugLineStr(LOG_APP, LOG_HIGH, "Unable to flush mailbox directory :", destination.c_str());
    }
    return {destination, true};
}
