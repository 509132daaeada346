// When cycles run and how new mail is announced: the two schedule timers, resume and suspend,
// the dial-up retry, outgoing mail that asks for a cycle, the announcements at the end of a
// cycle, and the unread-mail check with its alarm and blinking tray icon.
//
// Toolkit-free: time, timers, the engine and every effect on the desktop come in through
// Hooks and WindowTimers, so tests run the schedule with a hand-driven clock.
#pragma once

#include "frontend/schedule/window_timers.h"
#include "frontend/schedule/schedule_state.h"

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>

class Scheduler {
public:
    struct Hooks {
        std::function<std::time_t()> now;                      // seconds since 1970
        std::function<bool()> requestCycle;                    // LINK_START_CYCLE; false: no engine
        std::function<bool(const std::string&)> isConnected;   // the dial-up entry is connected
        std::function<void(const char*)> setStatus;
        std::function<void()> updateTrayIcon;
        std::function<void()> beep;
        std::function<void(const std::string&)> playAnnouncement;   // returns when it has played
        std::function<void(const std::string&)> playAlarm;          // returns at once
        std::function<void(const std::string&)> runProgram;         // a stored command line
        std::function<bool()> unreadMailWaiting;               // some account holds an unread item
    };

    Scheduler(ScheduleState& state, WindowTimers& timers, Hooks hooks);

    // Asks the engine for a cycle (unless it would have to dial and may not) and restarts both
    // schedule countdowns; without an engine: one beep and the failure icon.
    void startCycle();
    void resume();    // command Resume
    void suspend();   // command Suspend
    // The number of accounts may have changed (an account was added). The schedule starts
    // suspended and stays so while there is no account; the first account resumes it, unless
    // the user has chosen Resume or Suspend meanwhile.
    void accountsChanged(int accountCount);
    void onlineTimer();
    void offlineTimer();

    void newItem();           // CYCLE_NEW_ITEM
    void newOutgoingMail();   // NEW_OUTGOING_MAIL
    void finishCycle();       // CYCLE_FINISHED

    // Arms the unread-mail check and starts blinking (start-up, and after a cycle with mail).
    void startUnreadCheck();
    void checkUnreadMail();   // TIMER_NEWMAIL
    // The mailboxes changed between checks (the e-mail program collected mail): blinking stops
    // as soon as nothing unread is left; no alarm.
    void mailboxesChanged();
    void blink();             // TIMER_BLINK

    void setUnreadCheckPeriod(std::uint32_t ms) { unreadCheckMs_ = ms; }

    static constexpr std::uint32_t kUnreadCheckMs = 15000;
    static constexpr std::uint32_t kBlinkMs = 500;

private:
    void handleDialFailure();
    void startBlinking();
    bool dialEntryConfigured(std::string& entry) const;

    ScheduleState& state_;
    WindowTimers& timers_;
    Hooks hooks_;
    std::uint32_t unreadCheckMs_ = kUnreadCheckMs;
    bool suspendedForLackOfAccounts_ = true;   // no one has resumed or suspended it yet
};

// Status texts of the dial-up retry.
inline constexpr char kStatusDialRetry[] = "DUN connect failure - pausing for retry";
inline constexpr char kStatusDialExhausted[] = "DUN connect failure - retry exhausted";
