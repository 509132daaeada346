// The front end's scheduling flags and the tray icon's choice of frame: plain data and
// functions, so that tests drive them without a display.
#pragma once

#include <QtGlobal>

#include <cstdint>
#include <optional>
#include <string>

// All 0 at start; 32-bit signed like the rest of the record's users expect.
struct ScheduleState {
    std::int32_t active = 0;  // scheduling is resumed
    std::int32_t cycleFailed = 0;  // failure in the current or last cycle, or no engine
    std::int32_t newMailThisCycle = 0;
    std::int32_t newMailWaiting = 0;  // unread mail waits: alarm and blinking run
    std::int32_t cycling = 0;  // from CYCLE_STARTED to CYCLE_FINISHED
    std::int32_t deliverOnResume = 0;  // outgoing mail arrived while suspended
    std::int32_t blinkPhase = 0;
    std::int32_t rasRetryCount = 0;
    std::int32_t dialFailed = 0;
    std::int32_t newMailDialogOpen = 0;
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
