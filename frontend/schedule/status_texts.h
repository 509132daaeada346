// What the tray's tool tip and the status bar say about the schedule, as functions of its
// state: no widget, so that tests check every case without a display.
#pragma once

#include <QLocale>
#include <QString>

#include <ctime>
#include <string>

struct ScheduleState;

// What the tip is made from besides the schedule's flags.
struct TipFacts {
    int unread = 0;  // unread items in the accounts' mailboxes
    std::time_t lastCheck = 0;  // LastCheckTime; 0: never
    std::string failedStep;  // the step a failed cycle was in; empty: not known
};

// "Tarnwick: checking mail…" while a cycle runs; "Tarnwick: last cycle failed: <step>" after
// a failed one; "Tarnwick: suspended"; otherwise "Tarnwick: 3 unread, last check 10:42" with
// either part left out when there is nothing to say, and "Tarnwick" alone when neither is.
// Cut to the tip's 63 bytes. The time is local, in the locale's format, hours and minutes.
std::string trayToolTip(const ScheduleState& state, const TipFacts& facts, const QLocale& locale);

// The status bar's status: the stored status text translated, and after a failed cycle the
// step it failed in ("...; failed step: sending mail") when that is known.
QString statusBarText(const std::string& stored, const std::string& failedStep);

// The name of the cycle's step that a tray animation frame shows ("connecting", "sending mail",
// "checking mail"); empty outside a cycle's frames.
std::string cycleStepName(int animationFrame);
