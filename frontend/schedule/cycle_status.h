// The cycle's state as the tray, the status bar and the notifications show it: the schedule's
// flags, the status text, the step a failed cycle failed in, the tray's animation frame and the
// count of unread items. The scheduler and the shell change it through its setters; whatever
// shows it listens to its signals. No widget here: tests drive it without a display.
#pragma once

#include "frontend/schedule/schedule_state.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <string>

class CycleStatus : public QObject {
    Q_OBJECT

public:
    explicit CycleStatus(QObject* parent = nullptr) : QObject(parent) {}

    // The schedule's state, read by the tray's frame and tip functions. It changes only through
    // the setters below; a change is shown with the next iconChanged.
    const ScheduleState& flags() const { return flags_; }
    void setActive(bool on) { flags_.active = on; }
    void setCycling(bool on) { flags_.cycling = on; }
    void setCycleFailed(bool on) { flags_.cycleFailed = on; }
    void setDialFailed(bool on) { flags_.dialFailed = on; }
    void setNewMailThisCycle(bool on) { flags_.newMailThisCycle = on; }
    void setNewMailWaiting(bool on) { flags_.newMailWaiting = on; }
    void setDeliverOnResume(bool on) { flags_.deliverOnResume = on; }
    void setBlinkPhase(bool on) { flags_.blinkPhase = on; }
    void setDialRetries(std::int32_t count) { flags_.rasRetryCount = count; }

    // The status line's text ("OK", a phase, a failure); statusChanged follows every setting,
    // also of the same text, so that the time of the last check shown beside it is fresh.
    void setStatus(const char* text);
    const std::string& status() const { return status_; }

    // The flags changed in a way the state icon and the tip show.
    void flagsChanged() { emit iconChanged(); }

    // A cycle starts: nothing has failed yet.
    void cycleStarted();
    // The engine reported a phase: its status, its first frame, and its step for a failure.
    void enterPhase(const CyclePhase& phase);
    // The engine reported a failure; the first one's step is the one named.
    void cycleFailed();
    const std::string& failedStep() const { return failedStep_; }
    // The cycle ended: cycleFinished carries whether it (or its dial-up) failed and where.
    void cycleEnded();

    // The tray's animation while a cycle runs: a phase's first frame, then the next ones.
    void setFrame(int frame);
    void nextFrame() { setFrame(nextAnimationFrame(frame_)); }
    int frame() const { return frame_; }

    // Unread items counted outside a cycle; shown in the tip while the blinking runs.
    void setUnreadCount(int count) { unread_ = count; }
    int unreadCount() const { return flags_.newMailWaiting ? unread_ : 0; }

signals:
    void statusChanged(const QString& status);
    void iconChanged();
    void frameChanged(int frame);
    void cycleFinished(bool failed, const QString& failedStep);

private:
    ScheduleState flags_;
    std::string status_ = kStatusOk;
    std::string failedStep_;
    std::string step_;  // the phase the cycle is in
    int frame_ = 0;
    int unread_ = 0;
};
