#include "platform/process.h"

#include "platform/clock.h"
#include "platform/event_loop.h"
#include "platform/event_ptr.h"
#include "platform/loop_internal.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <unordered_map>


extern char** environ;

namespace plat {
namespace {

struct Watched {
    HWND hwnd;
    UINT msg;
};

struct ProcessState {
    std::unordered_map<pid_t, Watched> children;
    EventPtr sigchld;
};

ProcessState& processes() {
    static ProcessState s;
    return s;
}

void onChildEnded(evutil_socket_t, short, void*) {
    auto& kids = processes().children;
    for (auto it = kids.begin(); it != kids.end();) {
        int status = 0;
        if (::waitpid(it->first, &status, WNOHANG) == it->first) {
            detail::enqueue({it->second.hwnd, it->second.msg, static_cast<WPARAM>(it->first),
                             static_cast<LPARAM>(exitCodeOf(status)), 0});
            it = kids.erase(it);
        } else {
            ++it;
        }
    }
}

}  // namespace

int startProcess(const std::vector<std::string>& argv, HWND hwnd, UINT msg) {
    if (argv.empty()) return 0;
    auto& s = processes();
    if (!s.sigchld) {
        s.sigchld.reset(evsignal_new(eventBase(), SIGCHLD, onChildEnded, nullptr));
        if (!s.sigchld || event_add(s.sigchld.get(), nullptr) != 0) {
            s.sigchld.reset();
            return 0;
        }
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    auto args = argvOf(argv);
    pid_t pid = 0;
    int rc = ::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return 0;
    s.children[pid] = Watched{hwnd, msg};
    onChildEnded(-1, 0, nullptr);   // it may have ended already
    return pid;
}

bool killProcess(int pid) {
    if (pid <= 0 || !processes().children.count(pid)) return false;
    return ::kill(pid, SIGKILL) == 0;
}

}  // namespace plat
