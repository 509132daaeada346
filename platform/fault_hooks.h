// Test seams: make a platform call fail (or stall) the way the system might, so that the
// callers' failure paths can be exercised. Nothing is refused while no hook is set, and the
// programs never set one.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace plat::faults {

// Answers true when the call must fail.
using TimerFault = std::function<bool(std::uintptr_t window, std::uintptr_t timerId)>;
using SelectFault = std::function<bool(int socket, unsigned events)>;
using DirectoryFault = std::function<bool(const std::string& directory)>;

// setTimer answers false for the timers the hook names.
void refuseTimers(TimerFault hook);
// asyncSelect answers false (EINVAL) for the selections the hook names.
void refuseSelections(SelectFault hook);
// The fsync of a directory fails with EIO for the directories the hook names (the path as
// the caller gave it).
void refuseDirectorySyncs(DirectoryFault hook);
// Runs on a secret store thread before each call into the Secret Service, with the call's
// account; a hook that does not return stands for a call that never returns. Empty: none.
void beforeSecretCall(std::function<void(const std::string& account)> hook);

// What the platform asks.
bool timerRefused(std::uintptr_t window, std::uintptr_t timerId);
bool selectionRefused(int socket, unsigned events);
bool directorySyncRefused(const std::string& directory);
void secretCallStarts(const std::string& account);

}  // namespace plat::faults
