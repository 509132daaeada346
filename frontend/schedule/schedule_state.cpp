#include "frontend/schedule/schedule_state.h"

#include "link/engine_link.h"

int trayIconIndex(const ScheduleState& s) {
    int index = s.cycleFailed ? kTrayFailed : kTrayActive;
    if (!s.active) index = kTraySuspended;
    if (s.blinkPhase && s.newMailWaiting) index = kTrayNewMail;
    return index;
}

std::optional<CyclePhase> cyclePhase(int engineNotice) {
    switch (engineNotice) {
    case CYCLE_STARTED: return CyclePhase{kStatusConnecting, kTrayConnecting, QT_TRANSLATE_NOOP("Tray", "connecting")};
    case CYCLE_SENDING: return CyclePhase{kStatusSending, kTraySending, QT_TRANSLATE_NOOP("Tray", "sending mail")};
    case CYCLE_CHECKING: return CyclePhase{kStatusChecking, kTrayChecking, QT_TRANSLATE_NOOP("Tray", "checking mail")};
    default: return std::nullopt;
    }
}

int nextAnimationFrame(int frame) {
    ++frame;
    if (frame == kTraySending) frame = kTrayConnecting;
    else if (frame == kTrayChecking) frame = kTraySending;
    else if (frame == kTrayFrameCount) frame = kTrayChecking;
    return frame;
}
