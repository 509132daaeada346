#include "frontend/app/shell.h"

#include "frontend/settings/account_sheet.h"
#include "frontend/settings/account_wizard.h"
#include "frontend/dialogs/select_account.h"
#include "frontend/desktop/desktop.h"
#include "frontend/dialogs/modal.h"
#include "frontend/desktop/help_pages.h"
#include "frontend/desktop/help_window.h"
#include "frontend/desktop/sign_in_notice.h"
#include "frontend/desktop/tray_probe.h"
#include "frontend/app/main_window.h"
#include "frontend/settings/options_pages.h"
#include "frontend/settings/prop_sheet.h"
#include "frontend/app/placement.h"
#include "frontend/mail/encoded_words.h"
#include "frontend/mail/item_viewer.h"
#include "frontend/mail/log_viewer.h"
#include "frontend/mail/mailbox_watch.h"
#include "frontend/mail/rfc822_mail_header.h"
#include "frontend/mail/row_cells.h"
#include "frontend/schedule/status_texts.h"
#include "frontend/mail/folders.h"
#include "platform/link.h"
#include "platform/spawn.h"
#include "log/day_logs.h"
#include "log/debug.h"
#include "link/engine_link.h"
#include "config/settings.h"

#include <QDateTime>
#include <QDir>
#include <QLocale>
#include <QSystemTrayIcon>
#include <QTextBrowser>
#include <QTimer>

#include <cstring>
#include <utility>

using namespace plat;

namespace {

constexpr char kCaption[] = "Tarnwick";
// The main window's published name, also its run-once test.
constexpr char kFrontEndClass[] = "TARNWICKCLASS";
constexpr char kFrontEndTitle[] = "Tarnwick";
// The link code a second copy posts to the running one (lParam 0) before it ends: open the
// main window and bring it to the front. No engine code uses it.
constexpr int FRONTEND_OPEN_WINDOW = 30;
constexpr char kAlreadyRunning[] = QT_TRANSLATE_NOOP(
    "Tarnwick", "You are already running Tarnwick and can not have more than one instance running!");

// A second copy brings the running one's window to the front. Where a tray shows the running
// copy it also says why nothing new starts; without one the window coming up says enough.
void tellRunningCopy(bool trayAvailable) {
    if (HWND running = findWindow(kFrontEndClass, kFrontEndTitle))
        postMessage(running, WM_ENGINE_LINK, FRONTEND_OPEN_WINDOW, 0);
    if (trayAvailable) messageBox(nullptr, {kAlreadyRunning, kCaption});
}

}  // namespace

Shell::Shell(ShellOptions options) : options_(std::move(options)) {
    trayAvailable_ = options_.trayAvailable.value_or(QSystemTrayIcon::isSystemTrayAvailable());
    if (options_.enginePath.empty()) options_.enginePath = selfExeDir() + "/trawlex";
    if (options_.helpDir.empty()) options_.helpDir = selfExeDir() + "/../share/tarnwick/help";
    if (!options_.senderAndSubject) options_.senderAndSubject = headerSenderAndSubject;
}

Shell::~Shell() {
    link_.reset();  // no signal of its end reaches a shell half destroyed
    // Open dialogs without an owner would answer a shell that is gone.
    delete closeQuestion_.data();
    delete optionsSheet_.data();
    delete about_.data();
    delete logViewer_.data();
}

std::time_t Shell::now() const {
    return options_.clock ? options_.clock() : std::time(nullptr);
}

int Shell::accountCount() const {
    RegKey accounts;
    return config::openAccountsKey(accounts) ? config::accountCount(accounts) : 0;
}

bool Shell::startUp() {
    config::openSettingsKey();
    // The log mutex first, so that every later line is serialised with the engine's.
    DebugLogOpen();
    // One copy per user.
    if (findWindow(kFrontEndClass, kFrontEndTitle)) {
        tellRunningCopy(trayAvailable_);
        return false;
    }
    // The message window, published so that the engine can answer it, then the main window.
    link_ = std::make_unique<LinkWindow>(kFrontEndClass, kFrontEndTitle, WM_ENGINE_LINK);
    if (!hwnd()) return false;
    connect(link_.get(), &LinkWindow::linkMessageArrived, this,
            [this](WPARAM code, LPARAM) { engineNotice(static_cast<int>(code)); });
    connect(link_.get(), &LinkWindow::dataCopied, this, &Shell::copyData);
    connect(link_.get(), &LinkWindow::windowDestroyed, this, &Shell::linkWindowDestroyed);
    createSchedule();
    PublishResult published = link_->publish();
    if (published != PublishResult::Published) {
        // Another copy published between our look and ours.
        if (published == PublishResult::AlreadyRunning) tellRunningCopy(trayAvailable_);
        return false;
    }
    actions_ = std::make_unique<CommandActions>();
    window_ = std::make_unique<MainWindow>();
    announcements_->setWindow(window_.get());
    actions_->buildMainMenu(window_->menuBar());
    connect(sounds_.get(), &SoundPlayer::cannotPlay, window_.get(), &MainWindow::showNotice);
    tray_ = std::make_unique<Tray>(trayAvailable_);
    tray_->initialise(actions_->buildTrayMenu());
    connect(tray_.get(), &Tray::availabilityChanged, this, &Shell::trayAvailabilityChanged);
    if (options_.trayProbe) {
        tray_->watchAvailability([probe = options_.trayProbe](auto answer) { answer(probe()); }, options_.trayProbeMs);
    } else if (!options_.trayAvailable) {
        // Asked over the bus without waiting: a session bus that hangs never holds up the window.
        trayProbe_ = std::make_unique<TrayProbe>();
        tray_->watchAvailability([probe = trayProbe_.get()](auto answer) { probe->ask(std::move(answer)); },
                                 options_.trayProbeMs);
    }
    connectActions();
    connectCycleStatus();
    updateTrayIcon();
    cycle_.setStatus(kStatusOk);
    // Nothing configured yet: the set-up help opens by itself, and the Options sheet once the
    // engine is there.
    bool firstRun = config::readSetting(config::kOutHostName).empty();
    if (firstRun) openHelp("index.html", "setup");
    // The engine, started if it does not run, awaited through the loop for engineWaitMs.
    if (!startEngine()) return false;
    if (findWindow(kEngineClass, kEngineTitle)) {
        engineAppeared();
        return true;
    }
    engineStart_ = std::make_unique<EngineStart>(options_.engineWaitMs);
    connect(engineStart_.get(), &EngineStart::appeared, this, &Shell::engineAppeared);
    connect(engineStart_.get(), &EngineStart::timedOut, this, &Shell::engineMissing);
    engineStart_->wait();
    return true;
}

void Shell::engineAppeared() {
    // The window stays closed; without a tray it opens at once, or the user has no way in.
    // At first start the window waits for the Options sheet, which goes beside the set-up help:
    // opening first, it would come between them.
    bool firstRun = config::readSetting(config::kOutHostName).empty();
    if (!trayAvailable()) {
        if (firstRun) openAfterOptions_ = true;
        else post(&Shell::openMainWindow);
    }
    if (firstRun) post(&Shell::runOptions);
    HWND engine = findWindow(kEngineClass, kEngineTitle);
    postMessage(engine, WM_ENGINE_LINK, LINK_REGISTER, static_cast<LPARAM>(hwnd()));
    // With an account to check, the schedule runs from the start.
    if (accountCount() > 0) resumeSoon();
    // The tray blinks while unread mail waits.
    scheduler_->startUnreadCheck();
    mailboxWatch_ = std::make_unique<views::MailboxWatch>();
    connect(mailboxWatch_.get(), &views::MailboxWatch::changed, this, &Shell::mailboxesChanged);
    watchMailboxes();
    emit started();
}

void Shell::engineMissing() {
    DebugLine(LOG_APP, LOG_HIGH, "Tarnwick: the engine's window did not appear");
    QString text =
        tr("Trawlex did not start within %1 seconds.\nExiting Tarnwick").arg((options_.engineWaitMs + 999) / 1000);
    if (tray_) tray_->remove();
    messageBox(nullptr, {text.toStdString(), kCaption});
    postQuitMessage(0);
    emit startFailed();
}

// The cycle's state reaches the tray, the status bar and the notifications.
void Shell::connectCycleStatus() {
    connect(&cycle_, &CycleStatus::statusChanged, this, [this](const QString& status) {
        // Written for other readers; the status bar takes it from here.
        config::writeSetting(config::kStatus, status.toStdString());
        refreshStatusBar();
    });
    connect(&cycle_, &CycleStatus::iconChanged, this, &Shell::updateTrayIcon);
    connect(&cycle_, &CycleStatus::frameChanged, this, [this](int frame) { tray_->setFrame(frame); });
    connect(&cycle_, &CycleStatus::cycleFinished, this, [this](bool failed, const QString& step) {
        notifications_->cycleFinished(failed, step.toStdString(), logPath());
    });
}

void Shell::watchMailboxes() {
    if (mailboxWatch_) mailboxWatch_->watch(views::MailboxWatch::mailDirectories());
}

void Shell::mailboxesChanged() {
    window_->refreshViews();
    scheduler_->mailboxesChanged();
    if (!cycle_.flags().cycling) refreshStatusBar();  // the tip's unread count
}

bool Shell::startEngine() {
    if (findWindow(kEngineClass, kEngineTitle)) return true;
    int err = spawnDetached(options_.enginePath, {options_.enginePath});
    if (err == 0) return true;
    messageBox(nullptr,
               {tr("Failed to launch Trawlex [reason = %1]\nExiting Tarnwick").arg(err).toStdString(), kCaption});
    return false;
}

void Shell::shutDown() {
    if (HWND engine = findWindow(kEngineClass, kEngineTitle)) postMessage(engine, WM_ENGINE_LINK, LINK_SHUTDOWN, 0);
    DebugLogClose();
}

void Shell::post(void (Shell::*slot)()) {
    QMetaObject::invokeMethod(this, slot, Qt::QueuedConnection);
}

void Shell::resumeSoon() {
    QMetaObject::invokeMethod(scheduler_.get(), &Scheduler::resume, Qt::QueuedConnection);
}

void Shell::connectActions() {
    const CommandActions& a = *actions_;
    connect(&a, &CommandActions::aboutToShow, this, &Shell::updateMenus);
    connect(a.cycleNow, &QAction::triggered, scheduler_.get(), &Scheduler::cycleNow);
    connect(a.open, &QAction::triggered, this, &Shell::openMainWindow);
    connect(a.close, &QAction::triggered, this, &Shell::closeMainWindow);
    connect(a.exit, &QAction::triggered, this, &Shell::exitProgram);
    connect(a.helpContents, &QAction::triggered, this, [this] { openHelp("index.html", nullptr); });
    connect(a.homepage, &QAction::triggered, this, [this] { openHelp("home.html", nullptr); });
    connect(a.emailSupport, &QAction::triggered, this, &Shell::openSupport);
    connect(a.options, &QAction::triggered, this, &Shell::runOptions);
    connect(a.readMail, &QAction::triggered, this, &Shell::readMailNow);
    connect(a.addAccount, &QAction::triggered, this, &Shell::addAccount);
    connect(a.removeAccount, &QAction::triggered, this, &Shell::removeSelectedAccount);
    connect(a.accountProperties, &QAction::triggered, this, &Shell::showSelectedAccountProperties);
    connect(a.resume, &QAction::triggered, scheduler_.get(), &Scheduler::resume);
    connect(a.suspend, &QAction::triggered, scheduler_.get(), &Scheduler::suspend);
    connect(a.about, &QAction::triggered, this, &Shell::showAbout);
    // Today's day log, where a failure is explained.
    connect(a.log, &QAction::triggered, this, &Shell::showLog);
    // What the window and its views ask for happens once the window system's event is over.
    MainWindow* w = window_.get();
    connect(w, &MainWindow::closeRequested, this, &Shell::windowCloseRequested);
    // These two come once the window system's reports have settled, outside its events.
    connect(w, &MainWindow::minimized, this, &Shell::closeMainWindow);
    connect(w, &MainWindow::restored, this, &Shell::openMainWindow);
    connect(w, &MainWindow::accountPropertiesRequested, this, &Shell::showSelectedAccountProperties,
            Qt::QueuedConnection);
    connect(w, &MainWindow::mailProgramStarted, this, &Shell::closeMainWindow, Qt::QueuedConnection);
    // The desktop shows the context menu itself. StatusNotifierItem trays send one activation
    // for a click and never a double click; XEmbed trays send an activation for the first
    // press and then the double click, which opens the window again.
    connect(tray_.get(), &Tray::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger) trayClicked();
        else if (reason == QSystemTrayIcon::DoubleClick) openMainWindow();
    });
}

void Shell::windowCloseRequested() {
    if (trayAvailable()) exitProgram();
    else closeMainWindow();
}

void Shell::trayAvailabilityChanged(bool available) {
    if (!window_) return;
    if (!available) {
        // Nothing on the desktop leads to a hidden window any more.
        if (!window_->isVisible() || window_->isMinimized()) openMainWindow();
    } else if (window_->isMinimized()) {
        closeMainWindow();  // closed as it is with a tray: hidden behind the icon
    }
}

// Today's day log, named so that it can be found from anywhere.
std::string Shell::logPath() const {
    return QDir::current().absoluteFilePath(QString::fromStdString(dayLogFileName(now()))).toStdString();
}

void Shell::readMailNow() {
    readMail(dialogOwner());
}

void Shell::addAccount() {
    openAddAccountWizard(window_.get(), [shell = QPointer<Shell>(this)](bool) {
        if (!shell) return;
        shell->scheduler_->accountsChanged(shell->accountCount());
        shell->refreshViews();
        shell->watchMailboxes();
    });
}

void Shell::removeSelectedAccount() {
    if (removeAccount(window_.get(), window_->selectedAccountIndex())) refreshViews();
    watchMailboxes();
}

void Shell::showSelectedAccountProperties() {
    showAccountProperties(window_.get(), window_->selectedAccountIndex());
    watchMailboxes();  // its mailbox may have another name now
}

// The Options sheet; without an account the wizard follows once it has closed.
void Shell::runOptions() {
    if (optionsSheet_) {  // one sheet at a time, whatever asked for it
        optionsSheet_->raise();
        optionsSheet_->activateWindow();
        return;
    }
    // The set-up help of the first start stays in view beside the sheet. Where the window
    // system places the windows (Wayland), the sheet would cover it: the help then shows in the
    // sheet itself, and its window comes back once the sheet has closed.
    QWidget* help = helpWindow_ && helpWindow_->isVisible() ? helpWindow_.get() : nullptr;
    QUrl helpPage;
    if (help && !canPlaceWindows()) {
        helpPage = helpWindow_->browser()->source();
        helpWindow_->hide();
        help = nullptr;
        DebugLine(LOG_APP, LOG_MED,
                  "Tarnwick: the set-up help shows inside the Options sheet, as the compositor places the windows");
    }
    PropSheet* sheet = newOptionsSheet(
        window_.get(), [this] { resumeSoon(); }, &cycle_.flags(), help, helpPage);
    optionsSheet_ = sheet;
    sheet->start([this, helpHidden = !helpPage.isEmpty()](bool) {
        optionsSheet_ = nullptr;  // closed: deleted once this event is over
        if (helpHidden && helpWindow_) helpWindow_->show();
        if (std::exchange(openAfterOptions_, false) && !trayAvailable()) openMainWindow();
        if (accountCount() == 0) post(&Shell::addAccount);
    });
}

// The views show the accounts as they are now.
void Shell::refreshViews() {
    if (window_->viewsOpen()) window_->createViews();
}

void Shell::updateMenus() {
    if (!actions_) return;
    actions_->open->setEnabled(!window_->viewsOpen());
    actions_->suspend->setEnabled(cycle_.flags().active);
    actions_->resume->setEnabled(!cycle_.flags().active);
    actions_->removeAccount->setEnabled(window_->selectedAccountIndex() >= 0);
    actions_->accountProperties->setEnabled(window_->selectedAccountIndex() >= 0);
    actions_->options->setEnabled(!optionsSheet_);
    actions_->about->setEnabled(!about_);
}

void Shell::engineNotice(int code) {
    // Checking starts: the status bar shows this as the last check.
    if (code == CYCLE_CHECKING) config::writeSetting(config::kLastCheckTime, static_cast<std::uint32_t>(now()));
    if (code == CYCLE_STARTED) {
        cycle_.cycleStarted();
        cycleLog_ = markDayLogs(".");
    }
    if (std::optional<CyclePhase> phase = cyclePhase(code)) {
        if (code == CYCLE_STARTED) scheduler_->cycleStarted();
        cycle_.enterPhase(*phase);
    }
    switch (code) {
    case CYCLE_CONNECTED: scheduler_->connected(); break;
    case CYCLE_DIAL_FAILED: scheduler_->dialFailed(); break;
    case CYCLE_NEW_ITEM:
        window_->refreshViews();
        scheduler_->newItem();
        break;
    case CYCLE_FINISHED:
        // Before the announcement sound, which the scheduler plays.
        cycle_.cycleEnded();
        if (cycle_.flags().cycleFailed) {
            // What the engine logged of the cycle names the sign-ins that need the user.
            for (const std::string& target : notify::expiredSignIns(highLinesSince(".", cycleLog_))) {
                notify::Text text = notify::signInExpiredText(target);
                notifications_->showNotice(text.summary, text.body);
            }
        }
        scheduler_->finishCycle();
        break;
    case NEW_OUTGOING_MAIL:
        window_->refreshViews();
        scheduler_->newOutgoingMail();
        break;
    case MAILBOX_CHANGED: window_->refreshViews(); break;
    case FRONTEND_OPEN_WINDOW: openMainWindow(); break;
    case CYCLE_FAILURE: cycle_.cycleFailed(); break;
    default: break;
    }
}

void Shell::copyData(quintptr kind, const QByteArray& data) {
    // The record's bytes end with the path's NUL; a record without one ends where it ends.
    std::size_t size = static_cast<std::size_t>(data.size());
    std::string path(data.constData(), ::strnlen(data.constData(), size));
    // A refusal's reply may follow the path's NUL, up to a NUL of its own; the outgoing host
    // that refused may follow that one (records without it end at the reply).
    std::string reply;
    std::string host;
    if (path.size() < size) {
        const char* rest = data.constData() + path.size() + 1;
        std::size_t left = size - path.size() - 1;
        reply.assign(rest, ::strnlen(rest, left));
        if (reply.size() < left)
            host.assign(rest + reply.size() + 1, ::strnlen(rest + reply.size() + 1, left - reply.size() - 1));
    }
    if (kind == COPYDATA_NEW_ITEM) {
        announcements_->newItem(path);
        auto [from, subject] = options_.senderAndSubject(path);
        notifications_->itemArrived(from, subject, headerDate(path));
    } else if (kind == COPYDATA_DELIVERY_FAILURE) {
        announcements_->deliveryFailure(path, reply, host);
        // The item is still there now; the engine removes it once this record is handled.
        RFC822MailHeader header(path);
        const char* to = header.value(RFC822MailHeader::kTo);
        const char* subject = header.value(RFC822MailHeader::kSubject);
        notifications_->deliveryFailure(to ? mail::decodeHeaderValue(to) : std::string(),
                                        subject ? mail::decodeHeaderValue(subject) : std::string(), reply);
    }
}

// The window is gone (the user's Yes to the shutdown question): the message loop ends.
void Shell::linkWindowDestroyed() {
    if (tray_) tray_->remove();
    postQuitMessage(0);
}

void Shell::trayClicked() {
    if (window_->inFront()) closeMainWindow();
    else openMainWindow();
}

void Shell::updateTrayIcon() {
    refreshTrayTip();
    tray_->setFrame(trayIconIndex(cycle_.flags()));
}

// The tip from the state and the last counts; shown with the next frame.
void Shell::refreshTrayTip() {
    TipFacts facts;
    // Once the unread-mail check finds nothing left, the count taken earlier is out of date.
    facts.unread = cycle_.unreadCount();
    facts.lastCheck = static_cast<std::time_t>(config::readSetting(config::kLastCheckTime));
    facts.failedStep = cycle_.failedStep();
    tray_->setTipText(trayToolTip(cycle_.flags(), facts, QLocale::system()));
}

void Shell::refreshStatusBar() {
    auto last = static_cast<std::time_t>(config::readSetting(config::kLastCheckTime));
    auto [time, date] = views::lastCheckTexts(last, QLocale::system());
    // Listing big mailboxes takes time: not while a cycle runs, when the tip does not show it.
    if (!cycle_.flags().cycling) cycle_.setUnreadCount(views::unreadMailCount());
    refreshTrayTip();
    tray_->modify();
    if (!window_ || !window_->viewsOpen()) return;
    const std::string& stored = cycle_.status();
    QString status = statusBarText(stored, cycle_.failedStep());
    // Where the reason can be read.
    if (stored == kStatusCycleFailed) status = tr("%1; log: %2").arg(status, QString::fromStdString(logPath()));
    window_->setStatusParts(tr("Last check: %1 %2").arg(time, date), status);
}

void Shell::openMainWindow() {
    // Restored from the task bar (no tray), the window is already shown but still has no views.
    if (window_->isClosed() || !window_->viewsOpen()) {
        std::optional<Placement> placement;
        if (auto bytes = config::readPlacement()) placement = decodePlacement(*bytes);
        window_->openWindow(placement);
        window_->showViews();
        centerOnScreen(window_.get());
        window_->show();
        refreshStatusBar();
        // Framed by the window manager, it may have grown past the screen's edge: at once where
        // the frame is known, and again once the window manager has framed it.
        keepOnScreen(window_.get());
        QTimer::singleShot(300, window_.get(), [w = window_.get()] { keepOnScreen(w); });
    }
    window_->raise();
    window_->activateWindow();
    window_->broughtToFront();
}

void Shell::closeMainWindow() {
    Placement p = window_->currentPlacement();
    p.showCmd = 2;  // SW_SHOWMINIMIZED: a closed window is a minimised one
    config::writePlacement(encodePlacement(p));
    window_->closeWindow(trayAvailable());
    window_->hideViews();
}

// Dialogs belong to the main window while it shows; otherwise they stand alone (a dialog of a
// minimised window would be minimised with it).
QWidget* Shell::dialogOwner() const {
    return ownerWhileShown(window_.get());
}

void Shell::exitProgram() {
    if (closeQuestion_) return;  // already asked
    closeQuestion_ = askUser(dialogOwner(),
                             {QT_TRANSLATE_NOOP("Tarnwick", "Do you really wish to shutdown Tarnwick?"), kCaption,
                              QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::No},
                             [this](QMessageBox::StandardButton answer) {
                                 if (answer == QMessageBox::Yes) {
                                     window_->destroyViews();
                                     window_->hide();
                                     link_->destroy();
                                 } else if (answer == QMessageBox::No) {
                                     closeMainWindow();
                                 }
                             });
}

// The desktop's browser, or our own help window when the desktop has none.
void Shell::openHelp(const char* page, const char* anchor) {
    std::string address = helpPageAddress(options_.helpDir, page, anchor);
    if (!openHtmlPage(address)) helpWindow().showPage(address);
}

HelpWindow& Shell::helpWindow() {
    if (!helpWindow_) helpWindow_ = std::make_unique<HelpWindow>([this] { return logPath(); });
    return *helpWindow_;
}

void Shell::showLog() {
    if (!logViewer_) {
        QDate day = QDateTime::fromSecsSinceEpoch(static_cast<qint64>(now())).date();
        logViewer_ = new views::LogViewer(QString::fromStdString(logPath()), day, dialogOwner());
        centerOnScreen(logViewer_);
    }
    logViewer_->show();
    logViewer_->raise();
    logViewer_->activateWindow();
}

void Shell::openSupport() {
    if (std::optional<std::string> address = supportAddress(options_.helpDir)) openUrl(*address);
}
