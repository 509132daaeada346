// The front end's shell: the start-up sequence, the published window "TARNWICKCLASS"/"Tarnwick"
// whose link signals carry the engine's notices and copied records, what the commands of the
// menus, the tray and the views do, and what happens at exit.
#pragma once

#include "frontend/app/menus.h"
#include "frontend/app/mail_announcements.h"
#include "frontend/desktop/notifications.h"
#include "frontend/schedule/scheduler.h"
#include "frontend/sound/sound_player.h"
#include "frontend/schedule/schedule_state.h"
#include "frontend/app/tray.h"
#include "platform/qt_link_window.h"
#include "shared/day_logs.h"
#include "platform/window.h"

#include <QObject>

#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class HelpWindow;
class MainWindow;
class QWidget;

namespace views {
class MailboxWatch;
}

struct ShellOptions {
    std::string enginePath;               // empty: "trawlex" beside this program
    int engineWaitMs = 10000;             // how long start-up waits for the engine's window
    std::optional<bool> trayAvailable;    // unset: ask the desktop
    std::function<std::time_t()> clock;   // unset: the real clock
    std::string helpDir;                  // empty: <program dir>/../share/tarnwick/help
    // Unset: the header of the item ("<unknown>" for a missing sender or subject).
    std::function<std::pair<std::string, std::string>(const std::string&)> senderAndSubject;
    std::function<bool()> unreadMailWaiting;   // unset: the accounts' mailboxes are scanned
    DesktopNotifications::Sender notificationSender;   // unset: the session's notification service
};

class Shell : public QObject {
    Q_OBJECT

public:
    explicit Shell(ShellOptions options = {});
    ~Shell() override;

    // Starts the front end: log, single copy, windows, engine, schedule. False: the program ends now with exit code 0 (a copy already
    // runs, the window could not be made, the engine could not be started or never appeared).
    [[nodiscard]] bool startUp();
    // After the loop: LINK_SHUTDOWN to an engine that still runs, and the log closes.
    void shutDown();

    plat::HWND hwnd() const { return link_ ? link_->hwnd() : 0; }
    MainWindow& window() { return *window_; }
    Tray& tray() { return *tray_; }
    CommandActions& actions() { return *actions_; }
    ScheduleState& schedule() { return state_; }
    MailAnnouncements& announcements() { return *announcements_; }
    DesktopNotifications& notifications() { return *notifications_; }
    // The program's own help window, once it has been needed; else null.
    HelpWindow* helpWindowShown() const { return helpWindow_.get(); }

    // Grays and enables the menu commands as the state is now, before a menu opens.
    void updateMenus();
    Scheduler& scheduler() { return *scheduler_; }

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

private:
    void setStatus(const char* text);
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
    bool waitForEngine();
    void openHelp(const char* page, const char* anchor);
    HelpWindow& helpWindow();
    std::time_t now() const;
    std::string logPath() const;
    int accountCount() const;

    ShellOptions options_;
    bool trayAvailable_ = false;
    std::unique_ptr<plat::LinkWindow> link_;
    ScheduleState state_;
    int animationFrame_ = 0;
    int unreadCount_ = 0;       // counted with each status refresh outside a cycle
    std::string failedStep_;    // the step the last failed cycle was in
    LogMark cycleLog_;          // where the day logs ended when the cycle started
    bool optionsOpen_ = false;
    bool aboutOpen_ = false;
    bool closePromptOpen_ = false;
    std::unique_ptr<CommandActions> actions_;
    std::unique_ptr<MainWindow> window_;
    std::unique_ptr<Tray> tray_;
    std::unique_ptr<SoundPlayer> sounds_;
    std::unique_ptr<Scheduler> scheduler_;
    std::unique_ptr<MailAnnouncements> announcements_;
    std::unique_ptr<DesktopNotifications> notifications_;
    std::unique_ptr<views::MailboxWatch> mailboxWatch_;
    std::unique_ptr<HelpWindow> helpWindow_;
};
