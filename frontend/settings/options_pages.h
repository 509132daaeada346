// "Tarnwick Options": the Connection, Scheduling and Notifications pages in one sheet, each
// over the sheet's settings model; the sheet owns them.
#pragma once

#include <QUrl>

#include <functional>

class PropPage;
class PropSheet;
class QWidget;
class SettingsModel;
struct ScheduleState;

// The sheet over owner, made and not yet shown: start() opens it, modal for owner without a loop
// of its own. When OK has stored a changed check period while schedule->active, periodsChanged is
// called; schedule must outlive the sheet. beside: a window showing now that the sheet goes beside
// instead of over (the set-up help), or null; helpPage: a help page the sheet shows at its side
// instead (where the window system places the windows), or empty.
PropSheet* newOptionsSheet(QWidget* owner, std::function<void()> periodsChanged, const ScheduleState* schedule,
                           QWidget* beside = nullptr, const QUrl& helpPage = {});

// "Connection": the NetworkManager connection to bring up and its retries, the provider's SMTP
// server for outgoing mail with its port, security and log-in (a password, or OAuth 2.0 with
// its "Sign in…"), and the file of further trusted certificates.
PropPage* newConnectionPage(SettingsModel& model);

// "Scheduling": how often a cycle runs while a connection exists and while one would have to
// be brought up, and whether new outgoing mail starts a cycle at once.
PropPage* newSchedulingPage(SettingsModel& model);

// "Notifications": how new mail is announced (alert dialog, a ping per item, desktop
// notifications, the alarm and announcement sounds, a program to run), with Browse and test
// buttons.
PropPage* newNotificationsPage(SettingsModel& model);
