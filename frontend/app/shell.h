// The front end's shell: the start-up sequence, the published window "TARNWICKCLASS"/"Tarnwick"
// whose link signals carry the engine's notices and copied records, what the commands of the
// menus, the tray and the views do, and what happens at exit.
#pragma once

#include "frontend/app/engine_start.h"
#include "frontend/app/menus.h"
#include "frontend/app/mail_announcements.h"
#include "frontend/desktop/notifications.h"
#include "frontend/schedule/scheduler.h"
#include "frontend/sound/sound_player.h"
#include "frontend/schedule/cycle_status.h"
#include "frontend/app/tray.h"
#include "frontend/mail/log_viewer.h"
#include "frontend/qt_platform/qt_link_window.h"
#include "log/day_logs.h"
#include "platform/window.h"

#include <QMessageBox>
#include <QObject>
#include <QPointer>

#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class HelpWindow;
class TrayProbe;
class QDialog;
class MainWindow;
class QWidget;

namespace views {
class MailboxWatch;
}

struct ShellOptions {
    std::string enginePath;  // empty: "trawlex" beside this program
    int engineWaitMs = 10000;  // how long start-up waits for the engine's window
    std::optional<bool> trayAvailable;  // unset: ask the desktop
    std::function<std::time_t()> clock;  // unset: the real clock
    std::string helpDir;  // empty: <program dir>/../share/tarnwick/help
    // Unset: the header of the item ("<unknown>" for a missing sender or subject).
    std::function<std::pair<std::string, std::string>(const std::string&)> senderAndSubject;
    std::function<bool()> unreadMailWaiting;  // unset: the accounts' mailboxes are scanned
    DesktopNotifications::Sender notificationSender;  // unset: the session's notification service
    // Whether a system tray is there, asked again every trayProbeMs so that a tray that
    // appears or goes later is followed. Unset: the desktop is asked, unless trayAvailable
    // is set (then the answer stays as given).
    std::function<bool()> trayProbe;
    int trayProbeMs = 2000;
};

class Shell : public QObject {
    Q_OBJECT

public:
    explicit Shell(ShellOptions options = {});
    ~Shell() override;

    // Starts the front end: log, single copy, windows, engine, schedule. False: the program ends
    // now with exit code 0 (a copy already runs, the window could not be made, the engine could
    // not be started). True: running, or waiting through the loop for the engine's window;
    // started or startFailed says how that ended (at once when the engine already runs).
    [[nodiscard]] bool startUp();
    // The engine's window was awaited and has not appeared yet.
    bool waitingForEngine() const { return engineStart_ && engineStart_->waiting(); }
    // After the loop: LINK_SHUTDOWN to an engine that still runs, and the log closes.
    void shutDown();

    plat::HWND hwnd() const { return link_ ? link_->hwnd() : 0; }
    MainWindow& window() { return *window_; }
    Tray& tray() { return *tray_; }
    CommandActions& actions() { return *actions_; }
    const ScheduleState& schedule() const { return cycle_.flags(); }
    CycleStatus& cycleStatus() { return cycle_; }
    MailAnnouncements& announcements() { return *announcements_; }
    DesktopNotifications& notifications() { return *notifications_; }
    // The log window while it is open; else null.
    views::LogViewer* logViewerShown() const { return logViewer_.data(); }
    // The program's own help window, once it has been needed; else null.
    HelpWindow* helpWindowShown() const { return helpWindow_.get(); }

    // Grays and enables the menu commands as the state is now, before a menu opens.
    void updateMenus();
    Scheduler& scheduler() { return *scheduler_; }

signals:
    // Start-up's end: the engine's window is there and the schedule runs; or it did not appear
    // in time, the user was told, and the message loop is asked to end.
    void started();
    void startFailed();

public slots:
    // The commands of the menus, the tray, the views and the mail dialogs.
    void openMainWindow();
    void closeMainWindow();
    void exitProgram();
    void openSupport();
    void runOptions();
    void readMailNow();
    void addAccount();
    void removeSelectedAccount();
    void showSelectedAccountProperties();
    void showAbout();
    // Today's log in its own window; a second call brings the open one to the front.
    void showLog();

private:
    void refreshStatusBar();
    void updateTrayIcon();
    void refreshTrayTip();
    // Runs the slot once the current event is over.
    void post(void (Shell::*slot)());
    void resumeSoon();
    void connectActions();
    // A click on the tray icon opens the main window, or closes it to the tray when it is in
    // front.
    void trayClicked();
    // The window's close button: the shutdown question where a tray keeps the program within
    // reach, else the window goes to the task bar.
    void windowCloseRequested();
    // A tray appeared (a closed window stays hidden behind it) or went (the window opens, as
    // it is then the only way in).
    void trayAvailabilityChanged(bool available);
    void engineNotice(int code);
    void copyData(quintptr kind, const QByteArray& data);
    void linkWindowDestroyed();
    // Others changed the mailboxes or the queue: views, tip and blinking follow.
    void mailboxesChanged();
    void watchMailboxes();
    void createSchedule();
    QWidget* dialogOwner() const;
    void refreshViews();
    bool startEngine();
    // What start-up does once the engine's window is there, and when it never comes.
    void engineAppeared();
    void engineMissing();
    void connectCycleStatus();
    void openHelp(const char* page, const char* anchor);
    HelpWindow& helpWindow();
    std::time_t now() const;
    std::string logPath() const;
    int accountCount() const;

    bool trayAvailable() const { return tray_ ? tray_->available() : trayAvailable_; }

    ShellOptions options_;
    bool trayAvailable_ = false;  // at start; the tray follows the desktop after that
    std::unique_ptr<plat::LinkWindow> link_;
    CycleStatus cycle_;
    std::unique_ptr<EngineStart> engineStart_;
    LogMark cycleLog_;  // where the day logs ended when the cycle started
    QPointer<QDialog> optionsSheet_;  // while the Options sheet shows
    bool openAfterOptions_ = false;  // no tray at first start: the window opens once Options closes
    QPointer<QDialog> about_;  // while the About box shows
    QPointer<views::LogViewer> logViewer_;  // while the log shows
    QPointer<QMessageBox> closeQuestion_;  // while the shutdown question is open
    std::unique_ptr<CommandActions> actions_;
    std::unique_ptr<MainWindow> window_;
    std::unique_ptr<TrayProbe> trayProbe_;  // outlives the tray, whose questions it answers
    std::unique_ptr<Tray> tray_;
    std::unique_ptr<SoundPlayer> sounds_;
    std::unique_ptr<Scheduler> scheduler_;
    std::unique_ptr<MailAnnouncements> announcements_;
    std::unique_ptr<DesktopNotifications> notifications_;
    std::unique_ptr<views::MailboxWatch> mailboxWatch_;
    std::unique_ptr<HelpWindow> helpWindow_;
};
