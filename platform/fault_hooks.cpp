#include "platform/fault_hooks.h"

#include <mutex>

namespace plat::faults {
namespace {

// The hooks are set by a test's thread and read by the platform's threads (the secret store
// has its own): every access holds the lock, and a hook runs on a copy.
struct Hooks {
    std::mutex mutex;
    TimerFault timers;
    SelectFault selections;
    DirectoryFault directorySyncs;
    std::function<void(const std::string&)> secretCall;
};

Hooks& hooks() {
    static Hooks* h = new Hooks;  // outlives the threads that may still read it at exit
    return *h;
}

template <class F>
F copyOf(F Hooks::*member) {
    std::lock_guard lock(hooks().mutex);
    return hooks().*member;
}

template <class F>
void set(F Hooks::*member, F hook) {
    std::lock_guard lock(hooks().mutex);
    hooks().*member = std::move(hook);
}

}  // namespace

void refuseTimers(TimerFault hook) {
    set(&Hooks::timers, std::move(hook));
}
void refuseSelections(SelectFault hook) {
    set(&Hooks::selections, std::move(hook));
}
void refuseDirectorySyncs(DirectoryFault hook) {
    set(&Hooks::directorySyncs, std::move(hook));
}
void beforeSecretCall(std::function<void(const std::string&)> hook) {
    set(&Hooks::secretCall, std::move(hook));
}

bool timerRefused(std::uintptr_t window, std::uintptr_t timerId) {
    TimerFault hook = copyOf(&Hooks::timers);
    return hook && hook(window, timerId);
}

bool selectionRefused(int socket, unsigned events) {
    SelectFault hook = copyOf(&Hooks::selections);
    return hook && hook(socket, events);
}

bool directorySyncRefused(const std::string& directory) {
    DirectoryFault hook = copyOf(&Hooks::directorySyncs);
    return hook && hook(directory);
}

void secretCallStarts(const std::string& account) {
    std::function<void(const std::string&)> hook = copyOf(&Hooks::secretCall);
    if (hook) hook(account);
}

}  // namespace plat::faults
