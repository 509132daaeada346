#include "platform/process.h"

#include "platform/clock.h"
#include "platform/event_loop.h"
#include "platform/event_ptr.h"
#include "platform/loop_internal.h"
#include "platform/window.h"

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

struct ProcessState {
    std::unordered_map<pid_t, ProcessEnded> children;
    std::unordered_map<pid_t, ProcessEnded> ended;  // whose turn to be told is queued
    EventPtr sigchld;
    HWND relay = 0;  // where the ends are queued, to be told from the loop
};

ProcessState& processes() {
    static ProcessState s;
    return s;
}

constexpr char kRelayClass[] = "PROCESSENDS";
constexpr UINT kEnded = WM_USER + 1;

LRESULT relayProcedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg != kEnded) return defWindowProc(hwnd, msg, wParam, lParam);
    auto& ended = processes().ended;
    auto it = ended.find(static_cast<pid_t>(wParam));
    if (it == ended.end()) return 0;
    ProcessEnded onEnd = std::move(it->second);
    ended.erase(it);
    if (onEnd) onEnd(static_cast<int>(wParam), static_cast<int>(lParam));
    return 0;
}

HWND relayWindow() {
    auto& s = processes();
    if (!s.relay) {
        if (!isClassRegistered(kRelayClass)) (void)registerClass(kRelayClass, relayProcedure);
        s.relay = createWindow(kRelayClass, "process ends", 0);
    }
    return s.relay;
}

void onChildEnded(evutil_socket_t, short, void*) {
    auto& s = processes();
    for (auto it = s.children.begin(); it != s.children.end();) {
        int status = 0;
        if (::waitpid(it->first, &status, WNOHANG) == it->first) {
            s.ended[it->first] = std::move(it->second);
            detail::enqueue(
                {relayWindow(), kEnded, static_cast<WPARAM>(it->first), static_cast<LPARAM>(exitCodeOf(status)), 0});
            it = s.children.erase(it);
        } else {
            ++it;
        }
    }
}

}  // namespace

int startProcess(const std::vector<std::string>& argv, ProcessEnded onEnd) {
    if (argv.empty() || !relayWindow()) return 0;
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
    s.children[pid] = std::move(onEnd);
    onChildEnded(-1, 0, nullptr);  // it may have ended already
    return pid;
}

bool killProcess(int pid) {
    if (pid <= 0 || !processes().children.count(pid)) return false;
    return ::kill(pid, SIGKILL) == 0;
}

}  // namespace plat
