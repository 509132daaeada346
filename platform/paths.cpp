#include "platform/paths.h"

#include "platform/files.h"

#include <cerrno>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace plat {

static std::string envOr(const char* name, const std::string& fallback) {
    const char* v = std::getenv(name);
    return (v && *v) ? std::string(v) : fallback;
}

static std::string home() {
    return envOr("HOME", "/tmp");
}

// Each level made here is flushed into its parent: the configuration and the mail tree kept
// below must not vanish with a directory the disk never recorded.
static void makeDirs(const std::string& path, mode_t mode) {
    for (size_t pos = 1; pos <= path.size(); ++pos) {
        if (pos != path.size() && path[pos] != '/') continue;
        std::string level = path.substr(0, pos);
        if (::mkdir(level.c_str(), mode) == 0) (void)syncDirectoryOf(level);
    }
}

const std::string& runtimeDir() {
    static const std::string dir = [] {
        const char* xdg = std::getenv("XDG_RUNTIME_DIR");
        std::string d = (xdg && *xdg) ? std::string(xdg) + "/tarnwick" : "/tmp/tarnwick-" + std::to_string(::getuid());
        makeDirs(d, 0700);
        ::chmod(d.c_str(), 0700);
        return d;
    }();
    return dir;
}

std::string configDir() {
    std::string d = envOr("XDG_CONFIG_HOME", home() + "/.config") + "/tarnwick";
    // Asked at every read of the settings: one look when it is there, not a mkdir per level.
    struct stat st {};
    if (::stat(d.c_str(), &st) != 0) makeDirs(d, 0700);
    return d;
}

std::string dataDir() {
    return envOr("XDG_DATA_HOME", home() + "/.local/share") + "/tarnwick";
}

int enterDirectory(const std::string& path) {
    if (path.empty()) return ENOENT;
    makeDirs(path, 0700);
    return ::chdir(path.c_str()) == 0 ? 0 : errno;
}

std::string currentDirectory() {
    std::string buf(4096, '\0');
    if (!::getcwd(buf.data(), buf.size())) return {};
    buf.resize(std::char_traits<char>::length(buf.c_str()));
    return buf;
}

int processId() {
    return static_cast<int>(::getpid());
}

}  // namespace plat
