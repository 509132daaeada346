// When cycles run and how new mail is announced: the two schedule timers, resume and suspend,
// the dial-up retry, outgoing mail that asks for a cycle, the announcements at the end of a
// cycle, and the unread-mail check with its alarm and blinking tray icon.
//
// Without widgets: time, the engine, the line's state and every effect on the desktop come in
// through Hooks, so tests run the schedule with a hand-driven clock; what the tray and the
// status bar show goes out through the CycleStatus. Nothing here waits: the line's state and an
// announcement's end come back as calls from the loop. The timers are QTimers owned here; tests
// look at them and run their expiries by hand.
#pragma once

#include "frontend/schedule/cycle_status.h"

#include <QObject>
#include <QTimer>

#include <array>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>

// When the two schedule timers fire after a resume: a full period after the last account
// check, or 5 s from now when that moment has passed.
struct ResumeDelays {
    std::int32_t elapsedSeconds;  // since the last check, as logged (before the one-day cap)
    std::uint32_t offlineMs;
    std::uint32_t onlineMs;
};

// now and lastCheck in seconds since 1970; elapsed is their difference as a signed 32-bit
// number. A negative one (a clock set back) gives 5 s for both; more than a day, or
// deliverOnResume, counts as exactly one day.
ResumeDelays resumeDelays(std::time_t now, std::uint32_t lastCheck, bool deliverOnResume, std::uint32_t checkFreqLO,
                          std::uint32_t checkFreqHI);

constexpr std::uint32_t kResumeSoonMs = 5000;
constexpr std::int32_t kOneDaySeconds = 86400;

// The schedule's timers, by what they pace.
enum class ScheduleTimer {
    Animate,  // the tray's frames while a cycle runs
    Offline,  // a cycle that may have to dial (also the dial retry's pause)
    Online,  // a cycle while the line is up
    NewMail,  // the unread-mail check
    Blink,  // the tray's new-mail blinking
};

class Scheduler : public QObject {
    Q_OBJECT

public:
    struct Hooks {
        std::function<std::time_t()> now;  // seconds since 1970
        std::function<bool()> requestCycle;  // LINK_START_CYCLE; false: no engine
        // Whether the dial-up entry is connected: answer(up) is called once, at once or later
        // from the loop, and never after the scheduler is gone.
        std::function<void(const std::string& entry, std::function<void(bool up)> answer)> askConnected;
        std::function<void()> beep;
        // Plays the announcement; ended is called once it has played (or at once-posted).
        std::function<void(const std::string&, std::function<void()> ended)> playAnnouncement;
        std::function<void(const std::string&)> playAlarm;  // returns at once
        std::function<void(const std::string&)> runProgram;  // a stored command line
        std::function<bool()> unreadMailWaiting;  // some account holds an unread item
    };

    Scheduler(CycleStatus& status, Hooks hooks, QObject* parent = nullptr);

    // Asks the engine for a cycle (unless it would have to dial and may not) and restarts both
    // schedule countdowns; without an engine: one beep and the failure icon.
    void startCycle();
    void resume();  // command Resume
    void suspend();  // command Suspend
    // The number of accounts may have changed (an account was added). The schedule starts
    // suspended and stays so while there is no account; the first account resumes it, unless
    // the user has chosen Resume or Suspend meanwhile.
    void accountsChanged(int accountCount);

    // Cycle Now: the dial-up retries count from 0 again, and a cycle is asked for.
    void cycleNow();
    void connected();  // CYCLE_CONNECTED: the dial-up retries count from 0 again
    void dialFailed();  // CYCLE_DIAL_FAILED: handled when the cycle ends
    void cycleStarted();  // CYCLE_STARTED: the tray animates until the cycle ends
    void newItem();  // CYCLE_NEW_ITEM
    void newOutgoingMail();  // NEW_OUTGOING_MAIL
    void finishCycle();  // CYCLE_FINISHED

    // Arms the unread-mail check and starts blinking (start-up, and after a cycle with mail).
    void startUnreadCheck();
    void checkUnreadMail();  // the NewMail timer
    // The mailboxes changed between checks (the e-mail program collected mail): blinking stops
    // as soon as nothing unread is left; no alarm.
    void mailboxesChanged();
    void blink();  // the Blink timer

    void setUnreadCheckPeriod(std::uint32_t ms) { unreadCheckMs_ = ms; }
    // Whether a question about the line is still to be answered.
    bool asking() const { return asking_ > 0; }

    // Whether a timer runs and its period.
    const QTimer& timer(ScheduleTimer t) const { return timers_[static_cast<std::size_t>(t)]; }
    // What the timer's expiry does, run now.
    void expire(ScheduleTimer t);

    static constexpr std::uint32_t kUnreadCheckMs = 15000;
    static constexpr std::uint32_t kBlinkMs = 500;
    static constexpr std::uint32_t kAnimateMs = 200;

private:
    void arm(ScheduleTimer t, std::uint32_t ms);
    // Answers whether the timer was running.
    bool stop(ScheduleTimer t);
    // Online or Offline: restarted with its stored period when it runs.
    void rearmIfRunning(ScheduleTimer t);
    void periodElapsed(ScheduleTimer t);
    // The line's state for the expiry of t is known.
    void lineKnown(ScheduleTimer t, bool lineUp);
    // LINK_START_CYCLE, or the beep and the failure without an engine.
    void requestCycle();
    void askLineUp(const std::string& entry, std::function<void(bool)> then);
    // What follows a cycle with new mail once its announcement has played.
    void announcementPlayed(bool newMail);
    void handleDialFailure();
    void startBlinking();
    bool dialEntryConfigured(std::string& entry) const;

    CycleStatus& status_;
    const ScheduleState& state_;  // status_'s state, changed only through status_
    Hooks hooks_;
    int asking_ = 0;
    // Never destroyed before the scheduler: a timer may be stopped from its own expiry.
    std::array<QTimer, 5> timers_;
    std::uint32_t unreadCheckMs_ = kUnreadCheckMs;
    bool suspendedForLackOfAccounts_ = true;  // no one has resumed or suspended it yet
};

// Status texts of the dial-up retry.
inline constexpr char kStatusDialRetry[] = QT_TRANSLATE_NOOP("Status", "DUN connect failure - pausing for retry");
inline constexpr char kStatusDialExhausted[] = QT_TRANSLATE_NOOP("Status", "DUN connect failure - retry exhausted");
