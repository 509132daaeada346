// When cycles run and how new mail is announced: the two schedule timers, resume and suspend,
// the dial-up retry, outgoing mail that asks for a cycle, the announcements at the end of a
// cycle, and the unread-mail check with its alarm and blinking tray icon.
//
// Without widgets: what it asks of the engine, the line and the desktop goes out as signals and
// the answers come back through slots, so tests answer them by hand and run the schedule with
// a clock of their own; what the tray and the status bar show goes out through the
// CycleStatus. Nothing here waits: the line's state and an announcement's end may be answered
// at once or later from the loop. The timers are QTimers owned here; tests look at them and
// run their expiries by hand.
#pragma once

#include "frontend/schedule/cycle_status.h"

#include <QObject>
#include <QTimer>

#include <array>
#include <cstdint>
#include <ctime>
#include <functional>
#include <map>
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
    using Clock = std::function<std::time_t()>;  // seconds since 1970
    using UnreadProbe = std::function<bool()>;  // some account holds an unread item

    // now: unset, the system's clock; unreadMailWaiting: unset, nothing is ever unread.
    Scheduler(CycleStatus& status, Clock now = {}, UnreadProbe unreadMailWaiting = {}, QObject* parent = nullptr);

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

    // The answers to its signals.
    // To cycleRequested: whether LINK_START_CYCLE went to the engine (false: there is none).
    void cycleRequestAnswered(bool sent);
    // To lineStateWanted: the dial-up entry's line is up or down. An answer to a question that
    // is not open is ignored.
    void lineStateKnown(int question, bool up);
    // To announcementWanted: the sound has played (or could not be played).
    void announcementEnded();

    void setUnreadCheckPeriod(std::uint32_t ms) { unreadCheckMs_ = ms; }
    // Whether a question about the line is still to be answered.
    bool asking() const { return !questions_.empty(); }

    // Whether a timer runs and its period.
    const QTimer& timer(ScheduleTimer t) const { return timers_[static_cast<std::size_t>(t)]; }
    // What the timer's expiry does, run now.
    void expire(ScheduleTimer t);

    static constexpr std::uint32_t kUnreadCheckMs = 15000;
    static constexpr std::uint32_t kBlinkMs = 500;
    static constexpr std::uint32_t kAnimateMs = 200;

signals:
    // Asks for a cycle: answered with cycleRequestAnswered, at once.
    void cycleRequested();
    // Asks whether the dial-up entry is connected: answered once with lineStateKnown(question,
    // up), at once or later from the loop.
    void lineStateWanted(int question, const QString& entry);
    void beepWanted();
    // The announcement's sound: answered with announcementEnded once it has played.
    void announcementWanted(const QString& file);
    void alarmWanted(const QString& file);  // plays without an answer
    void programWanted(const QString& commandLine);  // a stored command line to start

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
    bool unreadMailWaiting() const { return unreadMailWaiting_ && unreadMailWaiting_(); }
    // What follows a cycle with new mail once its announcement has played.
    void announcementPlayed(bool newMail);
    void handleDialFailure();
    void startBlinking();
    bool dialEntryConfigured(std::string& entry) const;

    CycleStatus& status_;
    const ScheduleState& state_;  // status_'s state, changed only through status_
    Clock now_;
    UnreadProbe unreadMailWaiting_;
    // The open questions about the line, by number, and what follows each answer.
    std::map<int, std::function<void(bool)>> questions_;
    int lastQuestion_ = 0;
    // Never destroyed before the scheduler: a timer may be stopped from its own expiry.
    std::array<QTimer, 5> timers_;
    std::uint32_t unreadCheckMs_ = kUnreadCheckMs;
    bool suspendedForLackOfAccounts_ = true;  // no one has resumed or suspended it yet
};

// Status texts of the dial-up retry.
inline constexpr char kStatusDialRetry[] = QT_TRANSLATE_NOOP("Status", "DUN connect failure - pausing for retry");
inline constexpr char kStatusDialExhausted[] = QT_TRANSLATE_NOOP("Status", "DUN connect failure - retry exhausted");
