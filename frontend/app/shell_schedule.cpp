// The shell's side of the schedule and the announcements: what the scheduler and the mail
// announcements are given to act on the desktop and the engine, and the About box.
#include "frontend/dialogs/about_dialog.h"
#include "frontend/dialogs/modal.h"
#include "frontend/desktop/mail_client.h"
#include "frontend/desktop/nmcli_query.h"
#include "frontend/app/main_window.h"
#include "frontend/mail/folders.h"
#include "frontend/app/shell.h"
#include "platform/link.h"
#include "link/engine_link.h"

#include <cstdlib>

using namespace plat;

namespace {

// TARNWICK_UNREAD_CHECK_MS shortens the unread-mail check's 15 s for tests.
std::uint32_t unreadCheckPeriod() {
    const char* v = std::getenv("TARNWICK_UNREAD_CHECK_MS");
    if (!v || !*v) return Scheduler::kUnreadCheckMs;
    char* end = nullptr;
    unsigned long ms = std::strtoul(v, &end, 10);
    return (*end == '\0' && ms >= 100 && ms <= Scheduler::kUnreadCheckMs) ? static_cast<std::uint32_t>(ms)
                                                                          : Scheduler::kUnreadCheckMs;
}

}  // namespace

void Shell::createSchedule() {
    sounds_ = std::make_unique<SoundPlayer>();
    scheduler_ = std::make_unique<Scheduler>(
        cycle_, [this] { return now(); },
        options_.unreadMailWaiting ? options_.unreadMailWaiting : views::anyUnreadMail);
    Scheduler* s = scheduler_.get();
    connect(s, &Scheduler::cycleRequested, this, [this, s] {
        HWND engine = findWindow(kEngineClass, kEngineTitle);
        s->cycleRequestAnswered(engine &&
                                postMessage(engine, WM_ENGINE_LINK, LINK_START_CYCLE, static_cast<LPARAM>(hwnd())));
    });
    // Answered from the loop; a question still open dies with the scheduler.
    connect(s, &Scheduler::lineStateWanted, this, [s](int question, const QString& entry) {
        dialup::askConnected(s, entry.toStdString(), [s, question](bool up) { s->lineStateKnown(question, up); });
    });
    connect(s, &Scheduler::beepWanted, this, [this] { sounds_->beep(); });
    connect(s, &Scheduler::announcementWanted, this,
            [this, s](const QString& file) { sounds_->playThen(file.toStdString(), [s] { s->announcementEnded(); }); });
    connect(s, &Scheduler::alarmWanted, this, [this](const QString& file) { sounds_->playAsync(file.toStdString()); });
    connect(s, &Scheduler::programWanted, this, [](const QString& line) { launchCommandLine(line.toStdString()); });
    scheduler_->setUnreadCheckPeriod(unreadCheckPeriod());

    // The main window is made after the schedule: the dialogs learn of it in startUp.
    announcements_ = std::make_unique<MailAnnouncements>(nullptr, options_.senderAndSubject);
    connect(announcements_.get(), &MailAnnouncements::openWindowRequested, this, &Shell::openMainWindow,
            Qt::QueuedConnection);
    connect(announcements_.get(), &MailAnnouncements::readMailRequested, this, &Shell::readMailNow,
            Qt::QueuedConnection);
    connect(announcements_.get(), &MailAnnouncements::openLogRequested, this, &Shell::showLog, Qt::QueuedConnection);
    notifications_ = std::make_unique<DesktopNotifications>(options_.notificationSender);
    connect(notifications_.get(), &DesktopNotifications::openWindowRequested, this, &Shell::openMainWindow,
            Qt::QueuedConnection);
    connect(notifications_.get(), &DesktopNotifications::readMailRequested, this, &Shell::readMailNow,
            Qt::QueuedConnection);
}

// The About box opens without a loop of its own; a second About while it shows raises it.
void Shell::showAbout() {
    if (about_) {
        about_->raise();
        about_->activateWindow();
        return;
    }
    auto* about = new AboutDialog(dialogOwner());
    connect(about, &QDialog::finished, this, [this, about] {
        about_ = nullptr;
        about->deleteLater();
    });
    about_ = about;
    about->open();
}
