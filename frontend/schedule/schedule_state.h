// The front end's scheduling flags and the tray icon's choice of frame: plain data and
// functions, so that tests drive them without a display.
#pragma once

#include <QtGlobal>

#include <cstdint>
#include <optional>
#include <string>

// The schedule's state, owned by the CycleStatus (its one writer); everything false at start.
struct ScheduleState {
    bool active = false;  // scheduling is resumed
    bool cycleFailed = false;  // failure in the current or last cycle, or no engine
    bool newMailThisCycle = false;
    bool newMailWaiting = false;  // unread mail waits: alarm and blinking run
    bool cycling = false;  // from CYCLE_STARTED to CYCLE_FINISHED
    bool deliverOnResume = false;  // outgoing mail arrived while suspended
    bool blinkPhase = false;
    bool dialFailed = false;  // the cycle's dial-up failed
    std::int32_t rasRetryCount = 0;  // dial-up retries since the last connection or Cycle Now
};

// Indexes of the tray icon table (22 frames).
constexpr int kTrayActive = 0;
constexpr int kTrayNewMail = 1;
constexpr int kTrayFailed = 2;
constexpr int kTraySuspended = 3;
constexpr int kTrayConnecting = 4;  // 4..9
constexpr int kTraySending = 10;  // 10..15
constexpr int kTrayChecking = 16;  // 16..21
constexpr int kTrayFrameCount = 22;

// The state icon: failure over active, suspended over both, and the new-mail icon over
// everything while the blink phase is on.
int trayIconIndex(const ScheduleState& s);

// The next animation frame: each phase loops over its own six frames.
int nextAnimationFrame(int frame);

// The tray tip's name alone, and the longest tip the tray takes (in bytes).
inline constexpr char kTrayTipName[] = "Tarnwick";
constexpr std::size_t kTrayTipMax = 63;

// The status text and first tray frame of a cycle's progress notice (CYCLE_STARTED,
// CYCLE_SENDING, CYCLE_CHECKING); nothing for the engine's other notices.
struct CyclePhase {
    const char* status;
    int firstFrame;
    const char* step;  // what a failure during the phase names ("sending mail")
};
std::optional<CyclePhase> cyclePhase(int engineNotice);

// Status texts.
inline constexpr char kStatusOk[] = QT_TRANSLATE_NOOP("Status", "OK");
inline constexpr char kStatusConnecting[] = QT_TRANSLATE_NOOP("Status", "Establishing connection...");
inline constexpr char kStatusSending[] = QT_TRANSLATE_NOOP("Status", "Sending outgoing mail...");
inline constexpr char kStatusChecking[] = QT_TRANSLATE_NOOP("Status", "Checking for new e-mail...");
inline constexpr char kStatusCycleFailed[] = QT_TRANSLATE_NOOP(
    "Status", "Failure during cycle (refer to log file for further info)");
