// The tray's tool tip as a function of the schedule's state, times without seconds in every
// locale, and the cycle step a failure is named by.
#include "frontend/mail/row_cells.h"
#include "frontend/schedule/status_texts.h"
#include "frontend/schedule/schedule_state.h"

#include <QDateTime>

#include <gtest/gtest.h>

namespace {

// 10:42:33 local time today: the seconds must never show.
std::time_t at1042() {
    return static_cast<std::time_t>(QDateTime(QDate(2026, 12, 8), QTime(10, 42, 33)).toSecsSinceEpoch());
}

TEST(TrayToolTip, EachStateSaysWhatItIs) {
    const QLocale c = QLocale::c();
    ScheduleState s;
    s.active = 1;
    TipFacts f;
    EXPECT_EQ(trayToolTip(s, f, c), "Tarnwick");  // nothing checked, nothing unread
    f.lastCheck = at1042();
    EXPECT_EQ(trayToolTip(s, f, c), "Tarnwick: last check 10:42");
    f.unread = 3;
    EXPECT_EQ(trayToolTip(s, f, c), "Tarnwick: 3 unread, last check 10:42");
    f.lastCheck = 0;
    EXPECT_EQ(trayToolTip(s, f, c), "Tarnwick: 3 unread");

    s.active = 0;
    EXPECT_EQ(trayToolTip(s, f, c), "Tarnwick: suspended");
    s.cycleFailed = 1;
    EXPECT_EQ(trayToolTip(s, f, c), "Tarnwick: last cycle failed");
    f.failedStep = "sending mail";
    EXPECT_EQ(trayToolTip(s, f, c), "Tarnwick: last cycle failed: sending mail");
    s.cycling = 1;  // a running cycle says so over everything else
    EXPECT_EQ(trayToolTip(s, f, c), "Tarnwick: checking mail\u2026");
}

TEST(TrayToolTip, StaysWithinTheTraysLength) {
    ScheduleState s;
    s.cycleFailed = 1;
    TipFacts f;
    f.failedStep = std::string(80, 'x');
    const std::string tip = trayToolTip(s, f, QLocale::c());
    EXPECT_EQ(tip.size(), kTrayTipMax);
    EXPECT_EQ(tip.rfind("Tarnwick: last cycle failed: xx", 0), 0u);
}

TEST(StatusBarText, AFailedCycleNamesItsStep) {
    EXPECT_EQ(statusBarText(kStatusCycleFailed, "checking mail"),
              "Failure during cycle (refer to log file for further info); failed step: checking mail");
    EXPECT_EQ(statusBarText(kStatusCycleFailed, ""), kStatusCycleFailed);
    EXPECT_EQ(statusBarText(kStatusOk, "checking mail"), "OK");  // a step left from before is not shown
}

TEST(HoursAndMinutes, NoSecondsInAnyLocale) {
    using views::hoursAndMinutes;
    const QTime t(14, 5, 33);
    EXPECT_EQ(hoursAndMinutes(QLocale::c(), t), "14:05");
    EXPECT_EQ(hoursAndMinutes(QLocale(QStringLiteral("de_DE")), t), "14:05");
    EXPECT_EQ(hoursAndMinutes(QLocale(QStringLiteral("fi_FI")), t), "14.05");
    EXPECT_EQ(hoursAndMinutes(QLocale(QStringLiteral("fr_CA")), t), "14 h 05");
    const QString us = hoursAndMinutes(QLocale(QStringLiteral("en_US")), t);
    EXPECT_TRUE(us.startsWith(QStringLiteral("2:05"))) << us.toStdString();
    for (const QLocale& l : QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory)) {
        const QString shown = hoursAndMinutes(l, t);
        EXPECT_FALSE(shown.isEmpty()) << l.name().toStdString();
        EXPECT_FALSE(shown.contains(l.toString(33))) << l.name().toStdString() << " " << shown.toStdString();
    }
}

TEST(CycleStepName, FromTheAnimationsFrames) {
    for (int f = kTrayConnecting; f < kTraySending; ++f) EXPECT_EQ(cycleStepName(f), "connecting");
    for (int f = kTraySending; f < kTrayChecking; ++f) EXPECT_EQ(cycleStepName(f), "sending mail");
    for (int f = kTrayChecking; f < kTrayFrameCount; ++f) EXPECT_EQ(cycleStepName(f), "checking mail");
    for (int f : {kTrayActive, kTrayNewMail, kTrayFailed, kTraySuspended, kTrayFrameCount})
        EXPECT_EQ(cycleStepName(f), "");
}

}  // namespace
