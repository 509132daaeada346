// The schedule with the clock, the timers and the engine in the test's hands: resume
// arithmetic, the two schedule timers, dial retries, outgoing mail, the announcements at the
// end of a cycle, and the unread-mail check with its alarm and blinking.
#include "frontend/schedule/scheduler.h"
#include "frontend/mail/folders.h"
#include "config/settings.h"
#include "store/read_state.h"
#include "tests/support/temp_env.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <functional>
#include <map>
#include <sys/stat.h>

namespace {

constexpr std::uint32_t kHI = 60000, kLO = 3600000, kRetry = 300000;
constexpr std::time_t kNow = 1765000000;

class SchedulerTest : public ::testing::Test {
protected:
    void SetUp() override {
        config::writeSetting(config::kCheckFreqHI, kHI);
        config::writeSetting(config::kCheckFreqLO, kLO);
        config::writeSetting(config::kCheckFreqRASRetry, kRetry);
        config::writeSetting(config::kRASRetryLimit, 3);
        config::writeSetting(config::kRASAllowEstab, 1);
        config::writeSetting(config::kRASFailRetry, 1);
        config::writeSetting(config::kSMTPDeliverImm, 1);
        config::writeSetting(config::kNotifyArrive, 1);
        config::writeSetting(config::kNotifyAlarm, 1);
        config::writeSetting(config::kNotifyVoice, 1);
        config::writeSetting(config::kNotifyRun, 0);
        config::writeSetting(config::kNotifAlarmWave, "alarm.wav");
        config::writeSetting(config::kNotifAnnounceWave, "newmail.wav");
        config::writeSetting(config::kNotifRunFile, "");
        config::writeSetting(config::kRasEntry, "");
        config::writeSetting(config::kLastCheckTime, 0);
        QObject::connect(&cycle, &CycleStatus::statusChanged,
                         [this](const QString& text) { status = text.toStdString(); });
        QObject::connect(&cycle, &CycleStatus::iconChanged, [this] { ++trayUpdates; });
        scheduler = std::make_unique<Scheduler>(
            cycle, [this] { return now; }, [this] { return unread; });
        Scheduler* s = scheduler.get();
        QObject::connect(s, &Scheduler::cycleRequested, [this, s] {
            events.push_back("cycle");
            s->cycleRequestAnswered(engineUp);
        });
        QObject::connect(s, &Scheduler::lineStateWanted, [this, s](int question, const QString&) {
            if (lineAnsweredLater) openQuestions.push_back(question);
            else s->lineStateKnown(question, lineUp);
        });
        QObject::connect(s, &Scheduler::beepWanted, [this] { events.push_back("beep"); });
        // The sound ends at once: what the cycle starts meanwhile has come in while it played.
        QObject::connect(s, &Scheduler::announcementWanted, [this, s](const QString& f) {
            events.push_back("announce " + f.toStdString());
            if (duringAnnouncement) duringAnnouncement();
            s->announcementEnded();
        });
        QObject::connect(s, &Scheduler::alarmWanted,
                         [this](const QString& f) { events.push_back("alarm " + f.toStdString()); });
        QObject::connect(s, &Scheduler::programWanted,
                         [this](const QString& line) { events.push_back("run " + line.toStdString()); });
    }

    bool running(ScheduleTimer t) const { return scheduler->timer(t).isActive(); }
    // The period of a running timer; UINT32_MAX for one that does not run.
    std::uint32_t period(ScheduleTimer t) const {
        return running(t) ? static_cast<std::uint32_t>(scheduler->timer(t).interval()) : UINT32_MAX;
    }
    bool noneRunning() const {
        for (ScheduleTimer t : {ScheduleTimer::Animate, ScheduleTimer::Offline, ScheduleTimer::Online,
                                ScheduleTimer::NewMail, ScheduleTimer::Blink})
            if (running(t)) return false;
        return true;
    }

    int count(const std::string& event) const {
        return static_cast<int>(std::count(events.begin(), events.end(), event));
    }

    CycleStatus cycle;
    const ScheduleState& state = cycle.flags();
    std::unique_ptr<Scheduler> scheduler;
    std::time_t now = kNow;
    bool engineUp = true;
    bool lineUp = false;
    bool unread = false;
    std::string status = "OK";
    int trayUpdates = 0;
    std::vector<std::string> events;
    std::function<void()> duringAnnouncement;
    bool lineAnsweredLater = false;  // the questions about the line wait in openQuestions
    std::vector<int> openQuestions;
};

TEST(ResumeDelays, ThePeriodsRemainderOrFiveSeconds) {
    struct Row {
        const char* what;
        std::time_t now;
        std::uint32_t last;
        bool deliver;
        std::uint32_t lo, hi, offline, online;
    };
    const Row rows[] = {
        {"never checked", kNow, 0, false, kLO, kHI, 5000, 5000},
        {"20 s ago", kNow, kNow - 20, false, kLO, kHI, kLO - 20000, kHI - 20000},
        {"exactly one online period", kNow, kNow - 60, false, kLO, kHI, kLO - 60000, 0},
        {"exactly one offline period", kNow, kNow - 3600, false, kLO, kHI, 0, 5000},
        {"clock set back", kNow, kNow + 10, false, kLO, kHI, 5000, 5000},
        // -4294967 s would wrap to 296 ms as an unsigned product: still "soon".
        {"clock set back far", kNow, kNow + 4294967, false, kLO, kHI, 5000, 5000},
        {"two days ago, periods up to a day", kNow, kNow - 172800, false, 86400000, kHI, 0, 5000},
        {"two days ago, a two-day period", kNow, kNow - 172800, false, 172800000, kHI, 86400000, 5000},
        {"mail while suspended counts as a day", kNow, kNow - 20, true, kLO, kHI, 5000, 5000},
        {"a day exactly", kNow, kNow - 86400, false, 90000000, kHI, 90000000 - 86400000, 5000},
    };
    for (const Row& r : rows) {
        ResumeDelays d = resumeDelays(r.now, r.last, r.deliver, r.lo, r.hi);
        EXPECT_EQ(d.offlineMs, r.offline) << r.what;
        EXPECT_EQ(d.onlineMs, r.online) << r.what;
    }
    EXPECT_EQ(resumeDelays(kNow, kNow - 125, false, kLO, kHI).elapsedSeconds / 60, 2);
    EXPECT_EQ(resumeDelays(kNow, kNow + 125, false, kLO, kHI).elapsedSeconds / 60, -2);
}

TEST_F(SchedulerTest, ResumeArmsBothTimersAndSuspendKillsThem) {
    config::writeSetting(config::kLastCheckTime, static_cast<std::uint32_t>(kNow - 60));
    scheduler->resume();
    EXPECT_EQ(state.active, 1);
    EXPECT_EQ(trayUpdates, 1);
    EXPECT_EQ(period(ScheduleTimer::Online), 0u);  // due now
    EXPECT_EQ(period(ScheduleTimer::Offline), kLO - 60000);
    scheduler->suspend();
    EXPECT_EQ(state.active, 0);
    EXPECT_FALSE(running(ScheduleTimer::Online));
    EXPECT_FALSE(running(ScheduleTimer::Offline));
    EXPECT_TRUE(events.empty());
}

TEST_F(SchedulerTest, OutgoingMailWhileSuspendedWaitsForResumeThenFiveSeconds) {
    config::writeSetting(config::kLastCheckTime, static_cast<std::uint32_t>(kNow - 10));
    scheduler->newOutgoingMail();
    EXPECT_TRUE(events.empty());
    EXPECT_TRUE(noneRunning());
    EXPECT_EQ(state.deliverOnResume, 1);
    scheduler->resume();
    EXPECT_EQ(state.deliverOnResume, 0);
    EXPECT_EQ(period(ScheduleTimer::Online), 5000u);
    EXPECT_EQ(period(ScheduleTimer::Offline), 5000u);
    // Switched off, outgoing mail waits for the schedule.
    config::writeSetting(config::kSMTPDeliverImm, 0);
    scheduler->newOutgoingMail();
    EXPECT_TRUE(events.empty());
}

// A first start: no account, so the schedule starts suspended; the wizard's first account
// must set it going, and mail the e-mail program handed over meanwhile goes after 5 s.
TEST_F(SchedulerTest, TheFirstAccountResumesAScheduleSuspendedForLackOfOne) {
    scheduler->accountsChanged(0);
    EXPECT_EQ(state.active, 0);
    EXPECT_TRUE(noneRunning());
    scheduler->newOutgoingMail();
    scheduler->accountsChanged(1);
    EXPECT_EQ(state.active, 1);
    EXPECT_EQ(period(ScheduleTimer::Online), 5000u);
    EXPECT_EQ(period(ScheduleTimer::Offline), 5000u);
    // Once resumed, further accounts change nothing; a suspend by the user is kept.
    scheduler->suspend();
    scheduler->accountsChanged(2);
    EXPECT_EQ(state.active, 0);
}

TEST_F(SchedulerTest, ASuspendOrResumeByTheUserIsNeverOverruled) {
    scheduler->resume();
    scheduler->suspend();
    scheduler->accountsChanged(1);
    EXPECT_EQ(state.active, 0);
    EXPECT_TRUE(noneRunning());
}

TEST_F(SchedulerTest, OutgoingMailDuringACycleAsksAgainAndRestartsBothCountdowns) {
    scheduler->resume();
    cycle.setCycling(1);
    ASSERT_EQ(period(ScheduleTimer::Online), 5000u);  // never checked
    scheduler->newOutgoingMail();
    EXPECT_EQ(count("cycle"), 1);  // the engine turns it into one more pass
    EXPECT_EQ(period(ScheduleTimer::Online), kHI);
    EXPECT_EQ(period(ScheduleTimer::Offline), kLO);
}

TEST_F(SchedulerTest, TheOnlineTimerRunsCyclesOnAnOpenLineOnly) {
    scheduler->resume();
    scheduler->expire(ScheduleTimer::Online);  // no dial-up entry: always online
    EXPECT_EQ(count("cycle"), 1);
    EXPECT_EQ(period(ScheduleTimer::Online), kHI);
    EXPECT_EQ(period(ScheduleTimer::Offline), kLO);
    scheduler->expire(ScheduleTimer::Offline);  // nothing to dial
    EXPECT_EQ(count("cycle"), 1);
    cycle.setCycling(1);
    scheduler->expire(ScheduleTimer::Online);  // a cycle runs: none started
    EXPECT_EQ(count("cycle"), 1);
    cycle.setCycling(0);

    config::writeSetting(config::kRasEntry, "MyISP");
    scheduler->expire(ScheduleTimer::Online);  // the line is down: the offline timer's business
    EXPECT_EQ(count("cycle"), 1);
    scheduler->expire(ScheduleTimer::Offline);
    EXPECT_EQ(count("cycle"), 2);
    lineUp = true;
    scheduler->expire(ScheduleTimer::Offline);
    EXPECT_EQ(count("cycle"), 2);
    scheduler->expire(ScheduleTimer::Online);
    EXPECT_EQ(count("cycle"), 3);
    // The Options sheet's "no dial-up" choice is no entry.
    config::writeSetting(config::kRasEntry, "(no dial-up networking)");
    lineUp = false;
    scheduler->expire(ScheduleTimer::Online);
    EXPECT_EQ(count("cycle"), 4);
}

TEST_F(SchedulerTest, AnEntryThatMayNotDialAndIsDownDoesNothingVisible) {
    config::writeSetting(config::kRasEntry, "MyISP");
    config::writeSetting(config::kRASAllowEstab, 0);
    scheduler->resume();
    scheduler->startCycle();
    scheduler->expire(ScheduleTimer::Offline);
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(state.cycleFailed, 0);
    EXPECT_EQ(status, "OK");
    lineUp = true;
    scheduler->startCycle();
    EXPECT_EQ(count("cycle"), 1);
}

// The line's state may come back later and in any order: each answer goes to its own
// question, and an answer to no open question (repeated, or made up) changes nothing.
TEST_F(SchedulerTest, AnswersAboutTheLineGoToTheirOwnQuestion) {
    config::writeSetting(config::kRasEntry, "MyISP");
    lineAnsweredLater = true;
    scheduler->resume();
    scheduler->expire(ScheduleTimer::Online);  // asks: a cycle if the line is up
    scheduler->expire(ScheduleTimer::Offline);  // asks: a cycle if the line is down
    ASSERT_EQ(openQuestions.size(), 2u);
    EXPECT_TRUE(scheduler->asking());
    EXPECT_EQ(count("cycle"), 0);
    scheduler->lineStateKnown(openQuestions[1], false);  // the offline question: down, so a cycle
    EXPECT_EQ(count("cycle"), 1);
    EXPECT_TRUE(scheduler->asking());
    scheduler->lineStateKnown(openQuestions[1], false);  // answered already
    scheduler->lineStateKnown(openQuestions[1] + 100, true);  // never asked
    EXPECT_EQ(count("cycle"), 1);
    scheduler->lineStateKnown(openQuestions[0], false);  // the online question: down, nothing
    EXPECT_EQ(count("cycle"), 1);
    EXPECT_FALSE(scheduler->asking());
}

TEST_F(SchedulerTest, NoEngineMeansOneBeepAndTheFailureIcon) {
    engineUp = false;
    scheduler->startCycle();
    EXPECT_EQ(count("beep"), 1);
    EXPECT_EQ(state.cycleFailed, 1);
}

TEST_F(SchedulerTest, DialRetriesFiveMinutesApartThenExhausted) {
    scheduler->resume();
    for (int attempt = 1; attempt <= 3; ++attempt) {
        cycle.setCycling(1);
        cycle.setDialFailed(1);
        scheduler->finishCycle();
        EXPECT_EQ(status, "DUN connect failure - pausing for retry") << attempt;
        EXPECT_EQ(state.rasRetryCount, attempt);
        EXPECT_EQ(period(ScheduleTimer::Offline), kRetry);
        EXPECT_EQ(state.dialFailed, 0);
        scheduler->expire(ScheduleTimer::Offline);  // the pause ends: the normal period is back
        EXPECT_EQ(period(ScheduleTimer::Offline), kLO);
    }
    cycle.setDialFailed(1);
    scheduler->finishCycle();
    EXPECT_EQ(status, "DUN connect failure - retry exhausted");
    EXPECT_EQ(state.rasRetryCount, 0);
    EXPECT_EQ(period(ScheduleTimer::Offline), kLO);
}

TEST_F(SchedulerTest, ALimitLoweredBelowTheCountEndsTheRetries) {
    scheduler->resume();
    cycle.setDialRetries(3);
    config::writeSetting(config::kRASRetryLimit, 1);
    cycle.setDialFailed(1);
    scheduler->finishCycle();
    EXPECT_EQ(status, "DUN connect failure - retry exhausted");
    EXPECT_EQ(state.rasRetryCount, 0);
}

TEST_F(SchedulerTest, NoRetryWhenSwitchedOffOrSuspended) {
    config::writeSetting(config::kRASFailRetry, 0);
    scheduler->resume();
    cycle.setDialFailed(1);
    scheduler->finishCycle();
    EXPECT_EQ(status, "OK");
    EXPECT_EQ(state.rasRetryCount, 0);
    EXPECT_EQ(period(ScheduleTimer::Offline), 5000u);  // untouched

    // Cycle Now while suspended: the schedule stays suspended, no timer appears.
    config::writeSetting(config::kRASFailRetry, 1);
    scheduler->suspend();
    cycle.setDialFailed(1);
    scheduler->finishCycle();
    EXPECT_EQ(status, "OK");
    EXPECT_FALSE(running(ScheduleTimer::Offline));
    EXPECT_EQ(state.rasRetryCount, 0);
}

TEST_F(SchedulerTest, SeveralItemsOneBeepEachOneAnnouncementOneProgramRun) {
    config::writeSetting(config::kNotifyRun, 1);
    config::writeSetting(config::kNotifRunFile, "/usr/bin/mailer --new");
    cycle.setCycling(1);
    for (int i = 0; i < 3; ++i) scheduler->newItem();
    scheduler->finishCycle();
    EXPECT_EQ((std::vector<std::string>{"beep", "beep", "beep", "announce newmail.wav", "run /usr/bin/mailer --new"}),
              events);
    EXPECT_EQ(state.newMailThisCycle, 0);
    EXPECT_EQ(state.newMailWaiting, 1);
    EXPECT_EQ(state.blinkPhase, 1);
    EXPECT_EQ(period(ScheduleTimer::NewMail), 15000u);
    EXPECT_EQ(period(ScheduleTimer::Blink), 500u);

    // A cycle without mail announces nothing; switched off, nothing sounds or runs.
    events.clear();
    scheduler->finishCycle();
    config::writeSetting(config::kNotifyArrive, 0);
    config::writeSetting(config::kNotifyVoice, 0);
    config::writeSetting(config::kNotifyRun, 0);
    scheduler->newItem();
    scheduler->finishCycle();
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(state.newMailWaiting, 1);
}

TEST_F(SchedulerTest, AnItemOfACycleThatStartsDuringTheAnnouncementIsKept) {
    scheduler->newItem();
    duringAnnouncement = [this] {
        cycle.setCycling(1);  // CYCLE_STARTED and CYCLE_NEW_ITEM handled during the wait
        scheduler->newItem();
    };
    int updates = trayUpdates;
    scheduler->finishCycle();
    EXPECT_EQ(state.newMailThisCycle, 1);
    EXPECT_EQ(trayUpdates, updates);  // the new cycle's animation keeps the icon
}

TEST_F(SchedulerTest, UnreadMailSoundsTheAlarmAndBlinksUntilRead) {
    unread = true;
    scheduler->startUnreadCheck();
    cycle.setBlinkPhase(0);
    scheduler->checkUnreadMail();
    EXPECT_EQ(count("alarm alarm.wav"), 1);
    EXPECT_EQ(state.newMailWaiting, 1);
    EXPECT_EQ(state.blinkPhase, 1);  // blinking (re)started: nothing was waiting before
    scheduler->blink();
    EXPECT_EQ(state.blinkPhase, 0);
    scheduler->checkUnreadMail();
    EXPECT_EQ(count("alarm alarm.wav"), 2);
    EXPECT_EQ(state.blinkPhase, 0);  // already blinking: the phase runs on

    // Only the value 1 switches the alarm on.
    config::writeSetting(config::kNotifyAlarm, 2);
    scheduler->checkUnreadMail();
    EXPECT_EQ(count("alarm alarm.wav"), 2);

    unread = false;
    scheduler->checkUnreadMail();
    EXPECT_EQ(state.newMailWaiting, 0);
    EXPECT_FALSE(running(ScheduleTimer::NewMail));
    EXPECT_FALSE(running(ScheduleTimer::Blink));
}

TEST_F(SchedulerTest, BlinkingPausesDuringACycle) {
    unread = true;
    scheduler->startUnreadCheck();
    scheduler->checkUnreadMail();
    cycle.setCycling(1);
    int updates = trayUpdates;
    scheduler->blink();
    scheduler->checkUnreadMail();
    EXPECT_EQ(state.blinkPhase, 1);
    EXPECT_EQ(trayUpdates, updates);
    scheduler->finishCycle();
    EXPECT_EQ(trayUpdates, updates + 1);
    scheduler->blink();
    EXPECT_EQ(state.blinkPhase, 0);
}

TEST(UnreadMail, AnyAccountsMailboxWithAnItemNotMarkedRead) {
    plat::RegKey accounts;
    ASSERT_TRUE(config::openAccountsKey(accounts));
    ASSERT_TRUE(config::createAccountKey(accounts, "a-first"));
    ASSERT_TRUE(config::createAccountKey(accounts, "b-second"));
    ASSERT_TRUE(config::writeAccountString(accounts, "a-first", "destmailbox", "first"));
    ASSERT_TRUE(config::writeAccountString(accounts, "b-second", "destmailbox", "second"));
    ::mkdir("accounts", 0755);
    ::mkdir("accounts/first", 0755);
    ::mkdir("accounts/second", 0755);
    EXPECT_FALSE(views::anyUnreadMail());
    testsupport::writeFile("accounts/second/[b]1.rfc822", "Subject: x\r\n\r\nbody\r\n");
    ASSERT_TRUE(store::setItemRead("accounts/second/[b]1.rfc822", store::ReadState::Unread));
    EXPECT_TRUE(views::anyUnreadMail());
    ASSERT_TRUE(store::setItemRead("accounts/second/[b]1.rfc822", store::ReadState::Read));
    EXPECT_FALSE(views::anyUnreadMail());
    config::deleteAccountKey(accounts, "a-first");
    config::deleteAccountKey(accounts, "b-second");
}

// The timers are the scheduler's own QTimers: their expiries arrive through the event loop, a
// timer stopped from its own expiry stays stopped and can be armed again, and the tray's
// animation runs from the cycle's start to its end.
TEST_F(SchedulerTest, TheTimersExpireThroughTheLoopAndStopFromTheirOwnExpiry) {
    int checks = 0;
    auto unreadMailWaiting = [&] {
        ++checks;
        return false;  // nothing unread: the check stops its own timer and the blinking
    };
    CycleStatus own;
    Scheduler s(own, {}, unreadMailWaiting);
    s.setUnreadCheckPeriod(10);
    s.startUnreadCheck();
    QElapsedTimer t;
    t.start();
    while (checks == 0 && t.elapsed() < 2000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_EQ(checks, 1);
    EXPECT_FALSE(s.timer(ScheduleTimer::NewMail).isActive());
    EXPECT_FALSE(s.timer(ScheduleTimer::Blink).isActive());
    t.restart();
    while (t.elapsed() < 60) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(checks, 1);
    s.startUnreadCheck();
    t.restart();
    while (checks == 1 && t.elapsed() < 2000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(checks, 2);

    int frames = 0;
    QObject::connect(&own, &CycleStatus::frameChanged, [&] { ++frames; });
    Scheduler animated(own, {}, unreadMailWaiting);
    animated.cycleStarted();
    EXPECT_EQ(animated.timer(ScheduleTimer::Animate).interval(), 200);
    animated.expire(ScheduleTimer::Animate);
    EXPECT_EQ(frames, 1);
    Scheduler finishing(own, {}, unreadMailWaiting);
    finishing.cycleStarted();
    finishing.finishCycle();
    EXPECT_FALSE(finishing.timer(ScheduleTimer::Animate).isActive());
}

}  // namespace
