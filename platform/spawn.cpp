#include "platform/spawn.h"

#include "platform/files.h"
#include "platform/owned_handles.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace plat {
namespace {

bool isExecutableFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// Child side of spawnDetached: only async-signal-safe calls from here on.
[[noreturn]] void runGrandchild(const char* path, char* const* argv, int errFd) {
    restoreUserUmask();
    int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
        ::dup2(null, 0);
        ::dup2(null, 1);
        if (null > 2) ::close(null);
    }
    ::execv(path, argv);
    int err = errno;
    (void)!::write(errFd, &err, sizeof err);
    ::_exit(127);
}

}  // namespace

std::string findOnPath(const std::string& name) {
    if (name.empty()) return {};
    if (name.find('/') != std::string::npos) return isExecutableFile(name) ? name : std::string();
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        std::size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        std::string dir = dirs.substr(start, end - start);
        std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
        if (isExecutableFile(candidate)) return candidate;
        start = end + 1;
    }
    return {};
}

bool splitCommandLine(const std::string& line, std::vector<std::string>& words) {
    words.clear();
    std::string word;
    bool inWord = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (c == ' ' || c == '\t' || c == '\n') {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
            continue;
        }
        inWord = true;
        if (c == '\'') {
            std::size_t close = line.find('\'', i + 1);
            if (close == std::string::npos) break;
            word.append(line, i + 1, close - i - 1);
            i = close;
        } else if (c == '"') {
            std::size_t j = i + 1;
            for (; j < line.size() && line[j] != '"'; ++j) {
                if (line[j] == '\\' && j + 1 < line.size() &&
                    std::string_view("$`\"\\\n").find(line[j + 1]) != std::string_view::npos) {
                    if (line[j + 1] != '\n') word += line[j + 1];
                    ++j;
                } else {
                    word += line[j];
                }
            }
            if (j >= line.size()) break;
            i = j;
        } else if (c == '\\') {
            if (i + 1 >= line.size()) break;
            if (line[i + 1] != '\n') word += line[i + 1];
            ++i;
        } else {
            word += c;
        }
        if (i + 1 == line.size()) {
            words.push_back(word);
            return true;
        }
    }
    // Reaching here after a break means an unterminated quote or a lone trailing backslash.
    bool complete = line.empty() || !inWord;
    if (!complete) words.clear();
    return complete;
}

int spawnDetached(const std::string& path, const std::vector<std::string>& argv) {
    if (argv.empty()) return EINVAL;
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return errno;
    Descriptor errors(pipeFds[0]);
    Descriptor childEnd(pipeFds[1]);
    pid_t child = ::fork();
    if (child < 0) return errno;
    if (child == 0) {
        // The child leaves by _exit, which runs no destructor: nothing here closes twice.
        ::close(errors.get());
        ::setsid();
        pid_t grandchild = ::fork();
        if (grandchild == 0) runGrandchild(path.c_str(), args.data(), childEnd.get());
        if (grandchild < 0) {
            int err = errno;
            (void)!::write(childEnd.get(), &err, sizeof err);
        }
        ::_exit(0);
    }
    childEnd.reset();
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {}
    int err = 0;
    ssize_t n;
    while ((n = ::read(errors.get(), &err, sizeof err)) < 0 && errno == EINTR) {}
    return n == static_cast<ssize_t>(sizeof err) ? err : 0;
}

std::string selfExeDir() {
    char buf[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return {};
    std::string path(buf, static_cast<std::size_t>(n));
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace plat
