#include "frontend/schedule/scheduler.h"

#include "log/debug.h"
#include "config/settings.h"

#include <algorithm>
#include <climits>

namespace {

// What the Options sheet stores, besides an empty value, for "no dial-up".
constexpr char kNoDialUp[] = "(no dial-up networking)";

std::uint32_t delayFor(std::uint32_t periodMs, std::uint32_t ms) {
    return ms <= periodMs ? periodMs - ms : kResumeSoonMs;
}

}  // namespace

ResumeDelays resumeDelays(std::time_t now, std::uint32_t lastCheck, bool deliverOnResume, std::uint32_t checkFreqLO,
                          std::uint32_t checkFreqHI) {
    // Wrapping arithmetic on purpose: the difference of two 32-bit second counts.
    auto elapsed = static_cast<std::int32_t>(static_cast<std::uint32_t>(now) - lastCheck);
    // A clock set back makes elapsed negative: the last check is "long ago", so both timers
    // fire soon. (Multiplying a negative count as unsigned would wrap to a small number for
    // some values and leave the schedule waiting nearly a whole period.)
    if (elapsed < 0) return {elapsed, kResumeSoonMs, kResumeSoonMs};
    std::int32_t counted = elapsed;
    if (counted > kOneDaySeconds || deliverOnResume) counted = kOneDaySeconds;
    auto ms = static_cast<std::uint32_t>(counted) * 1000u;  // at most 86 400 000
    return {elapsed, delayFor(checkFreqLO, ms), delayFor(checkFreqHI, ms)};
}

Scheduler::Scheduler(CycleStatus& status, Clock now, UnreadProbe unreadMailWaiting, QObject* parent)
    : QObject(parent),
      status_(status),
      state_(status.flags()),
      now_(now ? std::move(now) : Clock([] { return std::time(nullptr); })),
      unreadMailWaiting_(std::move(unreadMailWaiting)) {
    for (std::size_t i = 0; i < timers_.size(); ++i)
        connect(&timers_[i], &QTimer::timeout, this, [this, i] { expire(static_cast<ScheduleTimer>(i)); });
}

void Scheduler::arm(ScheduleTimer t, std::uint32_t ms) {
    // A period past what a QTimer takes (a hand-edited registry) would stop the schedule.
    timers_[static_cast<std::size_t>(t)].start(static_cast<int>(std::min<std::uint32_t>(ms, INT_MAX)));
}

bool Scheduler::stop(ScheduleTimer t) {
    QTimer& timer = timers_[static_cast<std::size_t>(t)];
    bool running = timer.isActive();
    timer.stop();
    return running;
}

void Scheduler::expire(ScheduleTimer t) {
    switch (t) {
    case ScheduleTimer::Animate: status_.nextFrame(); break;
    case ScheduleTimer::Offline:
    case ScheduleTimer::Online: periodElapsed(t); break;
    case ScheduleTimer::NewMail: checkUnreadMail(); break;
    case ScheduleTimer::Blink: blink(); break;
    }
}

void Scheduler::cycleNow() {
    status_.setDialRetries(0);
    startCycle();
}

void Scheduler::connected() {
    status_.setDialRetries(0);
}

void Scheduler::dialFailed() {
    status_.setDialFailed(true);
}

void Scheduler::cycleStarted() {
    arm(ScheduleTimer::Animate, kAnimateMs);
}

bool Scheduler::dialEntryConfigured(std::string& entry) const {
    entry = config::readSetting(config::kRasEntry);
    return !entry.empty() && entry != kNoDialUp;
}

void Scheduler::askLineUp(const std::string& entry, std::function<void(bool)> then) {
    int question = ++lastQuestion_;
    questions_.emplace(question, std::move(then));
    emit lineStateWanted(question, QString::fromStdString(entry));
}

void Scheduler::lineStateKnown(int question, bool up) {
    auto it = questions_.find(question);
    if (it == questions_.end()) return;
    std::function<void(bool)> then = std::move(it->second);
    questions_.erase(it);
    then(up);
}

void Scheduler::startCycle() {
    std::string entry;
    if (dialEntryConfigured(entry) && config::readSetting(config::kRASAllowEstab) == 0) {
        // May not dial: a cycle only while the line is up; when it is down, nothing to show.
        askLineUp(entry, [this](bool up) {
            if (up) requestCycle();
        });
        return;
    }
    requestCycle();
}

void Scheduler::requestCycle() {
    emit cycleRequested();
}

void Scheduler::cycleRequestAnswered(bool sent) {
    if (sent) {
        rearmIfRunning(ScheduleTimer::Online);
        rearmIfRunning(ScheduleTimer::Offline);
        return;
    }
    emit beepWanted();
    status_.setCycleFailed(true);
}

void Scheduler::resume() {
    suspendedForLackOfAccounts_ = false;
    status_.setActive(true);
    status_.flagsChanged();
    ResumeDelays d = resumeDelays(now_(), config::readSetting(config::kLastCheckTime), state_.deliverOnResume,
                                  config::readSetting(config::kCheckFreqLO), config::readSetting(config::kCheckFreqHI));
    DebugLineInt(LOG_APP, LOG_MED, "Elapsed time since last cycle (mins):", d.elapsedSeconds / 60);
    status_.setDeliverOnResume(false);
    arm(ScheduleTimer::Offline, d.offlineMs);
    arm(ScheduleTimer::Online, d.onlineMs);
}

void Scheduler::suspend() {
    suspendedForLackOfAccounts_ = false;
    status_.setActive(false);
    status_.flagsChanged();
    stop(ScheduleTimer::Offline);
    stop(ScheduleTimer::Online);
}

void Scheduler::accountsChanged(int accountCount) {
    if (!suspendedForLackOfAccounts_ || state_.active || accountCount <= 0) return;
    DebugLine(LOG_APP, LOG_MED, "Tarnwick: first account added, scheduling resumed");
    resume();
}

void Scheduler::rearmIfRunning(ScheduleTimer t) {
    auto period = t == ScheduleTimer::Online ? config::kCheckFreqHI : config::kCheckFreqLO;
    if (stop(t)) arm(t, config::readSetting(period));
}

// The online schedule cycles while the line is up (or nothing is to be dialled), the offline
// one while a dial-up entry's line is down; the one that cycles restarts the other's countdown.
// The offline expiry also ends a retry pause: the normal period comes back.
void Scheduler::periodElapsed(ScheduleTimer t) {
    rearmIfRunning(t);
    std::string entry;
    if (!dialEntryConfigured(entry)) lineKnown(t, true);
    else askLineUp(entry, [this, t](bool up) { lineKnown(t, up); });
}

void Scheduler::lineKnown(ScheduleTimer t, bool lineUp) {
    if (lineUp != (t == ScheduleTimer::Online)) return;
    rearmIfRunning(t == ScheduleTimer::Online ? ScheduleTimer::Offline : ScheduleTimer::Online);
    if (!state_.cycling) startCycle();
}

void Scheduler::newItem() {
    if (config::readSetting(config::kNotifyArrive) != 0) emit beepWanted();
    status_.setNewMailThisCycle(true);
}

void Scheduler::newOutgoingMail() {
    DebugLine(LOG_APP, LOG_LOW, "Tarnwick: New outgoing mail");
    if (config::readSetting(config::kSMTPDeliverImm) == 0) return;
    if (state_.active) startCycle();
    else status_.setDeliverOnResume(true);
}

void Scheduler::finishCycle() {
    status_.setCycling(false);
    status_.setStatus(kStatusOk);
    stop(ScheduleTimer::Animate);
    if (state_.dialFailed) handleDialFailure();
    else if (state_.cycleFailed) status_.setStatus(kStatusCycleFailed);
    if (!state_.newMailThisCycle) {
        announcementPlayed(false);
        return;
    }
    // The state changes first: other messages come in while the sound plays and while a failed
    // program's message box shows, and an item of a cycle that starts meanwhile must not be lost.
    status_.setNewMailThisCycle(false);
    status_.setNewMailWaiting(true);
    startUnreadCheck();
    if (config::readSetting(config::kNotifyVoice) != 0)
        emit announcementWanted(QString::fromStdString(config::readSetting(config::kNotifAnnounceWave)));
    else announcementPlayed(true);
}

void Scheduler::announcementEnded() {
    announcementPlayed(true);
}

void Scheduler::announcementPlayed(bool newMail) {
    if (newMail && config::readSetting(config::kNotifyRun) != 0)
        emit programWanted(QString::fromStdString(config::readSetting(config::kNotifRunFile)));
    // A cycle that started during the announcement owns the icon with its animation.
    if (!state_.cycling) status_.flagsChanged();
}

void Scheduler::handleDialFailure() {
    status_.setDialFailed(false);
    if (config::readSetting(config::kRASFailRetry) != 1) return;
    if (!state_.active) {
        // Cycle Now while suspended: a retry would restart the offline schedule behind the
        // user's back.
        DebugLine(LOG_APP, LOG_MED, "Tarnwick: no dial retry while scheduling is suspended");
        return;
    }
    // At or past the limit (the limit may have been lowered below the count meanwhile).
    if (static_cast<std::int64_t>(state_.rasRetryCount) >=
        static_cast<std::int64_t>(config::readSetting(config::kRASRetryLimit))) {
        status_.setStatus(kStatusDialExhausted);
        DebugLine(LOG_APP, LOG_HIGH, "RAS connect retries exhausted");
        status_.setDialRetries(0);
        return;
    }
    status_.setStatus(kStatusDialRetry);
    DebugLine(LOG_APP, LOG_MED, "Retrying failed RAS connect after wait period...");
    status_.setDialRetries(state_.rasRetryCount + 1);
    stop(ScheduleTimer::Offline);
    arm(ScheduleTimer::Offline, config::readSetting(config::kCheckFreqRASRetry));
}

void Scheduler::startUnreadCheck() {
    arm(ScheduleTimer::NewMail, unreadCheckMs_);
    startBlinking();
}

void Scheduler::startBlinking() {
    arm(ScheduleTimer::Blink, kBlinkMs);
    status_.setBlinkPhase(true);
}

void Scheduler::checkUnreadMail() {
    bool found = unreadMailWaiting();
    if (found) {
        if (config::readSetting(config::kNotifyAlarm) == 1)
            emit alarmWanted(QString::fromStdString(config::readSetting(config::kNotifAlarmWave)));
        if (!state_.newMailWaiting) startBlinking();
    } else {
        stop(ScheduleTimer::Blink);
        stop(ScheduleTimer::NewMail);
    }
    status_.setNewMailWaiting(found);
    if (!state_.cycling) status_.flagsChanged();
}

void Scheduler::mailboxesChanged() {
    if (!state_.newMailWaiting || unreadMailWaiting()) return;
    stop(ScheduleTimer::Blink);
    stop(ScheduleTimer::NewMail);
    status_.setNewMailWaiting(false);
    if (!state_.cycling) status_.flagsChanged();
}

void Scheduler::blink() {
    if (state_.cycling) return;
    status_.setBlinkPhase(!state_.blinkPhase);
    status_.flagsChanged();
}
