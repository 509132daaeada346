// A private directory for a fuzz target: working directory and runtime directory (the log's
// lock file) inside one temporary directory, and the log on a fixed day so that it can be
// emptied now and then.
#pragma once

#include "log/debug.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace fuzzworld {

constexpr std::time_t kLogTime = 1700000000;

inline std::time_t fixedClock() {
    return kLogTime;
}

// The directory is made under $TMPDIR (run.sh points it at its own scratch directory, which
// it removes), else /dev/shm, else /tmp.
inline void enter() {
    struct stat st {};
    const char* tmp = std::getenv("TMPDIR");
    std::string base = (tmp && *tmp) ? tmp : ::stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) ? "/dev/shm" : "/tmp";
    std::string dir = base + "/trawlex-fuzz-XXXXXX";
    if (!::mkdtemp(dir.data()) || ::chdir(dir.c_str()) != 0) std::abort();
    ::setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
    DebugLogSetClock(fixedClock);
}

// Empties the day's log every few thousand runs so that a long run does not fill the disk.
inline void trimLog() {
    static unsigned runs = 0;
    if (++runs % 4096 != 0) return;
    std::time_t t = kLogTime;
    std::tm local{};
    localtime_r(&t, &local);
    char name[32];
    std::strftime(name, sizeof name, "%Y%m%d.log", &local);
    std::remove(name);
}

}  // namespace fuzzworld
