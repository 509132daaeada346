#include "tests/support/temp_env.h"

#include <cstdio>
#include <filesystem>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace testsupport {

static std::string g_root;
static std::string g_world;

std::string makeTempDir(const char* prefix) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + prefix + "XXXXXX";
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    return pattern;
}

void enterPrivateWorld() {
    std::string root = makeTempDir("trawlex-test-");
    g_root = root;
    for (const char* sub : {"/run", "/config", "/data", "/work"}) {
        std::string d = root + sub;
        if (::mkdir(d.c_str(), 0700) != 0) throw std::runtime_error("mkdir failed");
    }
    ::setenv("XDG_RUNTIME_DIR", (root + "/run").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
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
