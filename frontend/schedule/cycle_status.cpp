#include "frontend/schedule/cycle_status.h"

void CycleStatus::setStatus(const char* text) {
    status_ = text;
    emit statusChanged(QString::fromUtf8(text));
}

void CycleStatus::cycleStarted() {
    flags_.cycling = true;  // before the status, so that the tip says a cycle runs
    flags_.cycleFailed = false;
    failedStep_.clear();
}

void CycleStatus::enterPhase(const CyclePhase& phase) {
    step_ = phase.step;
    setStatus(phase.status);
    setFrame(phase.firstFrame);
}

void CycleStatus::cycleFailed() {
    flags_.cycleFailed = true;
    if (failedStep_.empty()) failedStep_ = step_;
}

void CycleStatus::cycleEnded() {
    emit cycleFinished(flags_.cycleFailed || flags_.dialFailed, QString::fromStdString(failedStep_));
}

void CycleStatus::setFrame(int frame) {
    frame_ = frame;
    emit frameChanged(frame);
}
