#include "tests/support/temp_env.h"

#include <cstdio>
#include <filesystem>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <utility>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace testsupport {

static std::string g_root;
static std::string g_world;
static pid_t g_owner = 0;

// The world goes with the test program that made it; a child forked by a test leaves it be.
static void removeWorld() {
    if (g_root.empty() || ::getpid() != g_owner) return;
    std::error_code ec;
    if (::chdir("/") == 0) std::filesystem::remove_all(g_root, ec);
}

std::string makeTempDir(const char* prefix) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + prefix + "XXXXXX";
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    return pattern;
}

void enterPrivateWorld() {
    std::string root = makeTempDir("trawlex-test-");
    g_root = root;
    g_owner = ::getpid();
    std::atexit(removeWorld);
    for (const char* sub : {"/run", "/config", "/data", "/work", "/home", "/cache", "/state", "/etc-xdg"}) {
        std::string d = root + sub;
        if (::mkdir(d.c_str(), 0700) != 0) throw std::runtime_error("mkdir failed");
    }
    const std::pair<const char*, const char*> dirs[] = {{"HOME", "/home"},
                                                        {"XDG_RUNTIME_DIR", "/run"},
                                                        {"XDG_CONFIG_HOME", "/config"},
                                                        {"XDG_DATA_HOME", "/data"},
                                                        {"XDG_CACHE_HOME", "/cache"},
                                                        {"XDG_STATE_HOME", "/state"},
                                                        {"XDG_CONFIG_DIRS", "/etc-xdg"}};
    for (const auto& [name, sub] : dirs) ::setenv(name, (root + sub).c_str(), 1);
    ::setenv("XDG_DATA_DIRS", "/usr/local/share:/usr/share", 1);
    // Nothing of the session the tests were started in: no display, no session bus, no ports
    // or machine settings of a gateway that runs there.
    ::setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + root + "/no-bus").c_str(), 1);
    for (const char* name :
         {"DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY", "TRAWLEX_SMTP_PORT", "TRAWLEX_POP3_PORT", "TARNWICK_MACHINE_REG"})
        ::unsetenv(name);
    g_world = root + "/work";
    if (::chdir(g_world.c_str()) != 0) throw std::runtime_error("chdir failed");
}

const std::string& worldDir() {
    return g_world;
}

void clearWorld() {
    namespace fs = std::filesystem;
    if (g_root.empty()) return;
    for (const char* sub : {"/config", "/data", "/work"}) {
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(g_root + sub, ec)) fs::remove_all(entry.path(), ec);
    }
    if (::chdir(g_world.c_str()) != 0) throw std::runtime_error("chdir failed");
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void writeFile(const std::string& path, const std::string& data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << data;
}

}  // namespace testsupport
