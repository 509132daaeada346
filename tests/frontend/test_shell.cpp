// The shell with a stand-in engine in the same process: start-up, the engine notice table,
// commands and menu state, opening and closing with the saved placement, the shutdown question.
#include "frontend/desktop/desktop.h"
#include "frontend/app/main_window.h"
#include "frontend/dialogs/modal.h"
#include "frontend/app/shell.h"
#include "frontend/desktop/help_window.h"
#include "frontend/mail/folder_tree.h"
#include "frontend/mail/item_list.h"
#include "frontend/mail/log_viewer.h"
#include "frontend/app/placement.h"
#include "platform/event_loop.h"
#include "platform/link.h"
#include "log/debug.h"
#include "link/engine_link.h"
#include "config/settings.h"
#include "tests/support/temp_env.h"

#include <QAction>
#include <QClipboard>
#include <QDateTime>
#include <QScreen>
#include <QScrollBar>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTextBrowser>

#include <gtest/gtest.h>

#include <deque>
#include <set>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

using namespace plat;

namespace {

// What the stand-in engine received.
std::vector<std::pair<WPARAM, LPARAM>> g_engineGot;

LRESULT engineProc(HWND, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_ENGINE_LINK) g_engineGot.emplace_back(wParam, lParam);
    return 0;
}

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override {
        resetQuit();
        g_engineGot.clear();
        config::writeSetting(config::kOutHostName, "smtp.example.net");  // not a first run
        config::writeSetting(config::kLastCheckTime, 0);
        setMessageBoxHook([this](const MessageBoxRequest& r) {
            boxes.push_back(r);
            if (answers.empty()) return QMessageBox::Ok;
            QMessageBox::StandardButton a = answers.front();
            answers.pop_front();
            return a;
        });
        setBeepHook([this] { ++beeps; });
        // Every dialog is cancelled at once.
        setModalHook([this](QDialog& d) {
            dialogs.push_back(d.objectName().toStdString());
            return 0;
        });
        setOpenUrlHook([this](const std::string& url) {
            urls.push_back(url);
            return true;
        });
    }
    void TearDown() override {
        shell.reset();
        stopEngine();
        pumpMessages(0);
        resetQuit();
        setMessageBoxHook({});
        setBeepHook({});
        setOpenUrlHook({});
        setModalHook({});
    }

    void startEngine() {
        ASSERT_TRUE(registerClass(kEngineClass, engineProc));
        engine = createWindow(kEngineClass, kEngineTitle, 0);
        ASSERT_EQ(publishWindow(engine, kEngineClass, kEngineTitle), PublishResult::Published);
    }
    void stopEngine() {
        if (engine) destroyWindow(engine);
        engine = 0;
        unregisterClass(kEngineClass);  // other tests register their own stand-in engine
    }

    // A shell started against the stand-in engine.
    Shell& start(bool tray = true) {
        startEngine();
        ShellOptions o;
        o.trayAvailable = tray;
        o.clock = [] { return std::time_t{1765000000}; };
        o.helpDir = "/opt/help";
        shell = std::make_unique<Shell>(o);
        EXPECT_TRUE(shell->startUp());
        pumpMessages(0);
        return *shell;
    }
    // Starts s and lets the loop run while it waits for the engine's window: whether it runs.
    static bool startAndAwait(Shell& s) {
        bool failed = false;
        QObject::connect(&s, &Shell::startFailed, [&failed] { failed = true; });
        if (!s.startUp()) return false;
        QElapsedTimer t;
        t.start();
        while (s.waitingForEngine() && t.elapsed() < 15000) QApplication::processEvents(QEventLoop::AllEvents, 20);
        return !failed && !s.waitingForEngine();
    }
    void notice(int code) { sendMessage(shell->hwnd(), WM_ENGINE_LINK, static_cast<WPARAM>(code), 0); }
    void command(QAction* CommandActions::*action) {
        (shell->actions().*action)->trigger();
        pumpMessages(0);
        // A question to nmcli is answered from the loop.
        QElapsedTimer t;
        t.start();
        while (shell->scheduler().asking() && t.elapsed() < 8000)
            QApplication::processEvents(QEventLoop::AllEvents, 20);
        pumpMessages(0);
    }
    std::string status() { return config::readSetting(config::kStatus); }
    // What the desktop's tray reports of the user's click.
    void tray(QSystemTrayIcon::ActivationReason reason) { emit shell->tray().icon()->activated(reason); }
    bool enabled(QAction* CommandActions::*action) { return (shell->actions().*action)->isEnabled(); }

    HWND engine = 0;
    std::unique_ptr<Shell> shell;
    std::vector<MessageBoxRequest> boxes;
    std::deque<QMessageBox::StandardButton> answers;
    int beeps = 0;
    std::vector<std::string> urls;
    std::vector<std::string> dialogs;
};

TEST_F(ShellTest, StartUpRegistersWithTheEngineAndShowsTheSuspendedState) {
    Shell& s = start();
    ASSERT_EQ(g_engineGot.size(), 1u);
    EXPECT_EQ(g_engineGot[0].first, static_cast<WPARAM>(LINK_REGISTER));
    EXPECT_EQ(g_engineGot[0].second, static_cast<LPARAM>(s.hwnd()));
    EXPECT_EQ(status(), "OK");
    EXPECT_EQ(s.tray().frame(), kTraySuspended);
    EXPECT_EQ(s.tray().tip(), "Tarnwick: suspended");
    EXPECT_TRUE(s.window().isClosed());
    EXPECT_TRUE(boxes.empty());
    EXPECT_TRUE(urls.empty());

    s.shutDown();
    pumpMessages(0);
    ASSERT_EQ(g_engineGot.size(), 2u);
    EXPECT_EQ(g_engineGot.back().first, static_cast<WPARAM>(LINK_SHUTDOWN));
}

// A second copy says so and ends, and the first one's window comes to the front.
TEST_F(ShellTest, ASecondCopyRefusesToRunAndOpensTheFirstOnesWindow) {
    Shell& first = start();
    ASSERT_TRUE(first.window().isClosed());
    Shell second(ShellOptions{"", 200, true, {}, "/opt/help", {}, {}, {}, {}, 2000});
    EXPECT_FALSE(second.startUp());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "You are already running Tarnwick and can not have more than one instance running!");
    EXPECT_EQ(boxes[0].caption, "Tarnwick");
    pumpMessages(0);
    EXPECT_EQ(g_engineGot.size(), 1u);  // only the first copy registered
    EXPECT_FALSE(first.window().isClosed());
    EXPECT_TRUE(first.window().viewsOpen());
}

TEST_F(ShellTest, FirstRunOpensOptionsThenTheWizardAndTheSetUpHelp) {
    config::writeSetting(config::kOutHostName, "");
    start();
    pumpMessages(0);
    ASSERT_EQ(urls.size(), 1u);
    EXPECT_EQ(urls[0], "file:///opt/help/index.html#setup");
    // Options by itself; closed without an account, the wizard follows.
    EXPECT_EQ(dialogs, (std::vector<std::string>{"sheet", "wizard"}));
}

// With the program's own help window, the first start's Options sheet goes beside it, not over
// it, and leaves it usable.
TEST_F(ShellTest, AtFirstStartTheSheetOpensBesideTheHelp) {
    config::writeSetting(config::kOutHostName, "");
    setOpenUrlHook([](const std::string&) { return false; });
    QRect sheet, help;
    Qt::WindowModality modality = Qt::NonModal;
    setModalHook([&](QDialog& d) {
        dialogs.push_back(d.objectName().toStdString());
        if (d.objectName() == "sheet") {
            sheet = d.frameGeometry();
            modality = d.windowModality();
            help = shell->helpWindowShown() ? shell->helpWindowShown()->frameGeometry() : QRect();
        }
        return 0;
    });
    start();
    pumpMessages(0);
    ASSERT_NE(shell->helpWindowShown(), nullptr);
    EXPECT_TRUE(shell->helpWindowShown()->isVisible());
    ASSERT_FALSE(sheet.isEmpty());
    ASSERT_FALSE(help.isEmpty());
    EXPECT_FALSE(sheet.intersects(help)) << sheet.x() << "," << sheet.width() << " " << help.x() << "," << help.width();
    EXPECT_LT(sheet.x(), help.x());
    EXPECT_EQ(modality, Qt::WindowModal);
    EXPECT_EQ(dialogs, (std::vector<std::string>{"sheet", "wizard"}));
}

TEST_F(ShellTest, AnEngineThatCannotBeStartedIsReported) {
    ShellOptions o{testsupport::worldDir() + "/no-such-engine", 200, true, {}, "/opt/help", {}, {}, {}, {}, 2000};
    Shell s(o);
    EXPECT_FALSE(startAndAwait(s));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Failed to launch Trawlex [reason = 2]\nExiting Tarnwick");
}

TEST_F(ShellTest, AnEngineThatNeverAppearsEndsTheWaitWithAMessage) {
    ShellOptions o{"/bin/true", 300, true, {}, "/opt/help", {}, {}, {}, {}, 2000};
    Shell s(o);
    QElapsedTimer t;
    t.start();
    EXPECT_FALSE(startAndAwait(s));
    EXPECT_LT(t.elapsed(), 3000);
    EXPECT_GE(t.elapsed(), 300);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Trawlex did not start within 1 seconds.\nExiting Tarnwick");
}

TEST_F(ShellTest, ACycleAnimatesTheTrayAndReportsItsPhases) {
    Shell& s = start();
    s.cycleStatus().setActive(1);
    notice(CYCLE_FAILURE);  // left over from an earlier cycle: cleared by the next start
    notice(CYCLE_STARTED);
    EXPECT_EQ(s.schedule().cycleFailed, 0);
    EXPECT_EQ(s.schedule().cycling, 1);
    EXPECT_EQ(status(), "Establishing connection...");
    EXPECT_EQ(s.tray().frame(), kTrayConnecting);
    for (int i = 0; i < 6; ++i) s.scheduler().expire(ScheduleTimer::Animate);
    EXPECT_EQ(s.tray().frame(), kTrayConnecting);  // six ticks: round to the first frame

    notice(CYCLE_SENDING);
    EXPECT_EQ(status(), "Sending outgoing mail...");
    EXPECT_EQ(s.tray().frame(), kTraySending);
    s.scheduler().expire(ScheduleTimer::Animate);
    EXPECT_EQ(s.tray().frame(), kTraySending + 1);

    notice(CYCLE_CHECKING);
    EXPECT_EQ(status(), "Checking for new e-mail...");
    EXPECT_EQ(config::readSetting(config::kLastCheckTime), 1765000000u);
    EXPECT_EQ(s.tray().frame(), kTrayChecking);
    EXPECT_EQ(s.tray().tip(), "Tarnwick: checking mail\u2026");

    notice(CYCLE_NEW_ITEM);
    EXPECT_EQ(beeps, 1);
    notice(CYCLE_FINISHED);
    EXPECT_EQ(s.schedule().cycling, 0);
    EXPECT_EQ(status(), "OK");
    // The tip carries the check time, without seconds, in the locale's short form.
    EXPECT_EQ(s.tray().tip().rfind("Tarnwick: ", 0), 0u) << s.tray().tip();
    EXPECT_NE(s.tray().tip().find("last check "), std::string::npos) << s.tray().tip();
    EXPECT_EQ(s.tray().tip().find(":40"), std::string::npos) << s.tray().tip();
    EXPECT_EQ(s.tray().frame(), kTrayNewMail);  // the item waits unread: blinking starts
    EXPECT_FALSE(s.scheduler().timer(ScheduleTimer::Animate).isActive());
}

TEST_F(ShellTest, AFailedCycleEndsWithTheFailureStatusAndIcon) {
    Shell& s = start();
    s.cycleStatus().setActive(1);
    notice(CYCLE_STARTED);
    notice(CYCLE_SENDING);
    notice(CYCLE_FAILURE);
    notice(CYCLE_CHECKING);
    notice(CYCLE_FAILURE);
    notice(CYCLE_FINISHED);
    EXPECT_EQ(status(), "Failure during cycle (refer to log file for further info)");
    EXPECT_EQ(s.tray().frame(), kTrayFailed);
    EXPECT_EQ(s.tray().tip(), "Tarnwick: last cycle failed: sending mail");  // the first failure
    // The open window's status bar names the step and the log to read.
    command(&CommandActions::open);
    EXPECT_EQ(s.window().statusPart(1).toStdString(),
              "Failure during cycle (refer to log file for further info); failed step: sending mail; log: " +
                  testsupport::worldDir() + "/" + dayLogFileName(std::time_t{1765000000}));
    notice(99);  // unknown codes are ignored
    EXPECT_EQ(s.tray().frame(), kTrayFailed);
}

TEST_F(ShellTest, CycleNowAsksTheEngineOrShowsTheFailureWithoutIt) {
    Shell& s = start();
    s.cycleStatus().setDialRetries(2);
    command(&CommandActions::cycleNow);
    EXPECT_EQ(s.schedule().rasRetryCount, 0);
    ASSERT_EQ(g_engineGot.size(), 2u);
    EXPECT_EQ(g_engineGot[1].first, static_cast<WPARAM>(LINK_START_CYCLE));
    EXPECT_EQ(g_engineGot[1].second, static_cast<LPARAM>(s.hwnd()));
    EXPECT_EQ(beeps, 0);

    stopEngine();
    command(&CommandActions::cycleNow);
    EXPECT_EQ(beeps, 1);
    EXPECT_EQ(s.schedule().cycleFailed, 1);
}

TEST_F(ShellTest, ACycleThatMayNotDialWaitsForTheLineToBeUp) {
    // The scripted nmcli first on PATH answers from a scenario directory.
    std::string scenario = testsupport::makeTempDir("nmcli-");
    std::string path = ::getenv("PATH") ? ::getenv("PATH") : "";
    ::setenv("NMCLI_SCENARIO", scenario.c_str(), 1);
    ::setenv("PATH", (std::string(NMCLI_FIXTURE_DIR) + ":" + path).c_str(), 1);
    Shell& s = start();
    config::writeSetting(config::kRasEntry, "MyISP");
    config::writeSetting(config::kRASAllowEstab, 0);
    command(&CommandActions::cycleNow);  // the line is down: nothing at all
    EXPECT_EQ(g_engineGot.size(), 1u);
    EXPECT_EQ(beeps, 0);
    EXPECT_EQ(s.schedule().cycleFailed, 0);
    testsupport::writeFile(scenario + "/active", "myisp:activated\n");
    command(&CommandActions::cycleNow);  // up by other means, in another letter case
    ASSERT_EQ(g_engineGot.size(), 2u);
    EXPECT_EQ(g_engineGot[1].first, static_cast<WPARAM>(LINK_START_CYCLE));
    testsupport::writeFile(scenario + "/active", "");
    config::writeSetting(config::kRASAllowEstab, 1);
    command(&CommandActions::cycleNow);  // may dial: the engine decides
    EXPECT_EQ(g_engineGot.size(), 3u);
    config::writeSetting(config::kRasEntry, "");
    config::writeSetting(config::kRASAllowEstab, 1);
    ::setenv("PATH", path.c_str(), 1);
    ::unsetenv("NMCLI_SCENARIO");
}

// An nmcli that takes 5 s to answer runs beside the loop: Cycle Now returns at once, and the
// tray and the window answer the user while the question is open.
TEST_F(ShellTest, ASlowNmcliHoldsNeitherTheWindowNorTheTray) {
    std::string dir = testsupport::makeTempDir("slow-nmcli-");
    testsupport::writeFile(dir + "/nmcli", "#!/bin/sh\ntouch \"" + dir + "/asked\"\nsleep 5\necho 'MyISP:activated'\n");
    ASSERT_EQ(::chmod((dir + "/nmcli").c_str(), 0755), 0);
    std::string path = ::getenv("PATH") ? ::getenv("PATH") : "";
    ::setenv("PATH", (dir + ":" + path).c_str(), 1);
    Shell& s = start();
    config::writeSetting(config::kRasEntry, "MyISP");
    config::writeSetting(config::kRASAllowEstab, 0);
    QElapsedTimer t;
    t.start();
    s.actions().cycleNow->trigger();
    pumpMessages(0);
    EXPECT_LT(t.elapsed(), 2500);  // waiting for the answer would take 5 s
    while (!std::filesystem::exists(dir + "/asked") && t.elapsed() < 4000) pumpMessages(20);
    ASSERT_TRUE(std::filesystem::exists(dir + "/asked"));
    EXPECT_TRUE(s.scheduler().asking());

    tray(QSystemTrayIcon::Trigger);
    pumpMessages(0);
    EXPECT_FALSE(s.window().isClosed());
    EXPECT_TRUE(s.window().viewsOpen());
    emit s.tray().menu()->aboutToShow();
    EXPECT_FALSE(enabled(&CommandActions::open));
    tray(QSystemTrayIcon::Trigger);
    pumpMessages(0);
    EXPECT_TRUE(s.window().isClosed());
    EXPECT_TRUE(s.scheduler().asking());  // all that while nmcli had not answered
    EXPECT_EQ(g_engineGot.size(), 1u);

    // Its answer comes at the 5 s the question may take, just in time or cut off: either way
    // the question ends, and a cycle, if any, is the one asked for.
    while (s.scheduler().asking() && t.elapsed() < 15000) pumpMessages(20);
    EXPECT_FALSE(s.scheduler().asking());
    EXPECT_GE(t.elapsed(), 4500);
    ASSERT_LE(g_engineGot.size(), 2u);
    if (g_engineGot.size() == 2u) {
        EXPECT_EQ(g_engineGot[1].first, static_cast<WPARAM>(LINK_START_CYCLE));
    }
    config::writeSetting(config::kRasEntry, "");
    config::writeSetting(config::kRASAllowEstab, 1);
    ::setenv("PATH", path.c_str(), 1);
}

TEST_F(ShellTest, NewOutgoingMailStartsACycleOnlyWhileScheduled) {
    Shell& s = start();
    notice(NEW_OUTGOING_MAIL);
    pumpMessages(0);
    EXPECT_EQ(g_engineGot.size(), 1u);
    EXPECT_EQ(s.schedule().deliverOnResume, 1);
    s.cycleStatus().setActive(1);
    notice(NEW_OUTGOING_MAIL);
    pumpMessages(0);
    ASSERT_EQ(g_engineGot.size(), 2u);
    EXPECT_EQ(g_engineGot[1].first, static_cast<WPARAM>(LINK_START_CYCLE));
}

TEST_F(ShellTest, MenuStateFollowsTheWindowAndTheSchedule) {
    Shell& s = start();
    s.updateMenus();
    EXPECT_TRUE(enabled(&CommandActions::open));
    EXPECT_TRUE(enabled(&CommandActions::resume));
    EXPECT_FALSE(enabled(&CommandActions::suspend));
    EXPECT_FALSE(enabled(&CommandActions::removeAccount));
    EXPECT_FALSE(enabled(&CommandActions::accountProperties));
    EXPECT_TRUE(enabled(&CommandActions::log));
    EXPECT_TRUE(enabled(&CommandActions::options));

    s.cycleStatus().setActive(1);
    command(&CommandActions::open);
    // Opening the tray menu is what runs the menu state.
    emit s.tray().menu()->aboutToShow();
    EXPECT_FALSE(enabled(&CommandActions::open));
    EXPECT_FALSE(enabled(&CommandActions::resume));
    EXPECT_TRUE(enabled(&CommandActions::suspend));
    EXPECT_TRUE(enabled(&CommandActions::log));
}

// A first start: the wizard's first account sets the schedule going, with no Resume needed.
TEST_F(ShellTest, TheWizardsFirstAccountResumesTheSchedule) {
    Shell& s = start();
    ASSERT_EQ(s.schedule().active, 0);
    setModalHook([this](QDialog& d) {
        dialogs.push_back(d.objectName().toStdString());
        plat::RegKey accounts;
        EXPECT_TRUE(config::openAccountsKey(accounts));
        EXPECT_TRUE(config::createAccountKey(accounts, "home"));  // what a finished wizard stores
        return 0;
    });
    command(&CommandActions::addAccount);
    EXPECT_EQ(dialogs, std::vector<std::string>{"wizard"});
    EXPECT_EQ(s.schedule().active, 1);
    EXPECT_EQ(s.tray().frame(), kTrayActive);
}

// View > Log: the day's log in its own window, titled by its day, at its newest line, long
// lines wrapped, following what is written while it is open; one window however often asked.
TEST_F(ShellTest, TheLogWindowShowsTheDayAndFollowsTheLog) {
    Shell& s = start();
    command(&CommandActions::open);
    const std::string name = dayLogFileName(std::time_t{1765000000});
    ASSERT_FALSE(name.empty());
    std::string lines;
    for (int i = 0; i < 200; ++i) lines += "101500   APP HIGH line " + std::to_string(i) + "\n";
    testsupport::writeFile(
        name, lines + "101501   APP HIGH Subject =?UTF-8?Q?stays?= as logged " + std::string(300, 'x') + "\n");
    command(&CommandActions::log);
    views::LogViewer* viewer = s.logViewerShown();
    ASSERT_NE(viewer, nullptr);
    EXPECT_TRUE(viewer->isVisible());
    const QDate day = QDateTime::fromSecsSinceEpoch(1765000000).date();
    EXPECT_EQ(viewer->windowTitle(),
              QStringLiteral("Tarnwick log \u2013 ") + views::longDateText(day, QLocale::system()));
    QPlainTextEdit* text = viewer->text();
    EXPECT_TRUE(text->toPlainText().endsWith(QStringLiteral("as logged ") + QString(300, QLatin1Char('x'))));
    EXPECT_TRUE(text->toPlainText().contains(QStringLiteral("=?UTF-8?Q?stays?=")));
    EXPECT_EQ(text->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    QApplication::processEvents();
    QScrollBar* bar = text->verticalScrollBar();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());  // at the newest line

    // Lines written meanwhile appear; half a line waits for its end.
    {
        std::ofstream log(name, std::ios::app);
        log << "101502   APP HIGH later\n101503   APP HIGH half";
    }
    viewer->follow();
    EXPECT_TRUE(text->toPlainText().endsWith(QStringLiteral("101502   APP HIGH later")));
    EXPECT_EQ(bar->value(), bar->maximum());
    {
        std::ofstream log(name, std::ios::app);
        log << " done\n";
    }
    viewer->follow();
    EXPECT_TRUE(text->toPlainText().endsWith(QStringLiteral("later\n101503   APP HIGH half done")));

    // Copy: the selection, or all of it.
    viewer->copy();
    EXPECT_TRUE(QApplication::clipboard()->text().startsWith(QStringLiteral("101500   APP HIGH line 0\n")));
    QTextCursor c = text->textCursor();
    c.movePosition(QTextCursor::End);
    c.movePosition(QTextCursor::StartOfBlock, QTextCursor::KeepAnchor);
    text->setTextCursor(c);
    viewer->copy();
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("101503   APP HIGH half done"));

    command(&CommandActions::log);
    EXPECT_EQ(s.logViewerShown(), viewer);
}

// The date in the log window's title: the locale's own long date, without the weekday.
TEST(LogViewer, TheTitleDateIsTheLocalesLongDateWithoutTheWeekday) {
    QDate day(2026, 12, 8);
    EXPECT_EQ(views::longDateText(day, QLocale(QLocale::English, QLocale::UnitedKingdom)), "8 December 2026");
    EXPECT_EQ(views::longDateText(day, QLocale(QLocale::German, QLocale::Germany)), "8. Dezember 2026");
    EXPECT_EQ(views::longDateText(day, QLocale(QLocale::English, QLocale::UnitedStates)), "December 8, 2026");
    EXPECT_EQ(views::longDateText(day, QLocale::c()), "8 December 2026");
}

// A log that does not exist yet says so, and shows once it is written.
TEST(LogViewer, AMissingLogIsShownOnceItIsWritten) {
    std::string path = testsupport::worldDir() + "/20261208.log";
    std::filesystem::remove(path);
    views::LogViewer viewer(QString::fromStdString(path), QDate(2026, 12, 8));
    EXPECT_TRUE(viewer.text()->toPlainText().contains(QStringLiteral("cannot be read")));
    testsupport::writeFile(path, "000001   APP HIGH first\n");
    viewer.follow();
    EXPECT_EQ(viewer.text()->toPlainText(), QStringLiteral("000001   APP HIGH first"));
    // A file begun anew is read anew.
    testsupport::writeFile(path, "x\n");
    viewer.follow();
    EXPECT_EQ(viewer.text()->toPlainText(), QStringLiteral("x"));
}

// The failure notice's Open log opens the log window.
TEST_F(ShellTest, TheFailureNoticeOpensTheLog) {
    Shell& s = start();
    testsupport::writeFile("outgoing-item.rfc822", "To: Nobody <nobody@example.net>\r\nSubject: Hello\r\n\r\nHi\r\n");
    const char path[] = "outgoing-item.rfc822";
    COPYDATASTRUCT cds{COPYDATA_DELIVERY_FAILURE, sizeof path, path};
    sendMessage(s.hwnd(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds));
    QWidget* notice = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == "deliveryFailureDialog" && w->isVisible()) notice = w;
    ASSERT_NE(notice, nullptr);
    notice->findChild<QPushButton*>(QStringLiteral("openLog"))->click();
    pumpMessages(0);
    QApplication::processEvents();
    ASSERT_NE(s.logViewerShown(), nullptr);
    EXPECT_TRUE(s.logViewerShown()->isVisible());
    delete notice;
}

// Without a browser on the desktop, help opens in the program's own window (never silently
// nothing), at its anchor; the same window shows the day's log.
TEST_F(ShellTest, HelpOpensInItsOwnWindowWhenTheDesktopHasNoBrowser) {
    std::string help = testsupport::makeTempDir("help-");
    testsupport::writeFile(help + "/index.html",
                           "<html><body><h1>Contents</h1><p>Intro</p><h2 id=\"setup\">Setting up</h2></body></html>");
    startEngine();
    ShellOptions o;
    o.trayAvailable = true;
    o.clock = [] { return std::time_t{1765000000}; };
    o.helpDir = help;
    shell = std::make_unique<Shell>(o);
    ASSERT_TRUE(shell->startUp());
    setOpenUrlHook([this](const std::string& url) {
        urls.push_back(url);
        return false;  // nothing on the desktop takes it
    });
    command(&CommandActions::helpContents);
    HelpWindow* w = shell->helpWindowShown();
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->browser()->source().toLocalFile().toStdString(), help + "/index.html");
    EXPECT_TRUE(w->browser()->toPlainText().contains(QStringLiteral("Setting up")));

    testsupport::writeFile(dayLogFileName(std::time_t{1765000000}), "101500   APP HIGH the reason\n");
    w->findChild<QPushButton*>(QStringLiteral("log"))->click();
    EXPECT_EQ(w->browser()->toPlainText().toStdString(), "101500   APP HIGH the reason\n");

    // A page that is missing says so in the same window.
    command(&CommandActions::homepage);
    EXPECT_EQ(shell->helpWindowShown(), w);
    EXPECT_TRUE(w->browser()->toPlainText().contains(QStringLiteral("cannot be found")));
    EXPECT_EQ(urls.size(), 2u);
}

// Both menus show their items in order, each command one action that every menu shares.
TEST_F(ShellTest, TheMenusShareOneActionPerCommand) {
    Shell& s = start();
    auto texts = [](const QList<QAction*>& actions) {
        QStringList out;
        for (QAction* a : actions) out << (a->isSeparator() ? QStringLiteral("-") : a->text());
        return out.join(QLatin1Char('|')).toStdString();
    };
    EXPECT_EQ(texts(s.tray().menu()->actions()),
              "&Open|-|&Cycle Now|Re&sume|S&uspend|-|O&ptions|&Read mail|-|&About|-|&Exit");
    std::vector<std::string> bar;
    for (QAction* m : s.window().menuBar()->actions()) bar.push_back(texts(m->menu()->actions()));
    EXPECT_EQ(bar,
              (std::vector<std::string>{"&Cycle Now|-|Re&sume|S&uspend|-|C&lose|&Exit", "&Read mail|-|Log|-|O&ptions",
                                        "&Add|&Remove|-|&Properties", "&Contents|-|Online|-|&About"}));
    EXPECT_EQ(s.tray().menu()->actions()[2], s.window().menuBar()->actions()[0]->menu()->actions()[0]);
    EXPECT_EQ(s.actions().cycleNow->objectName(), "cycleNow");
    EXPECT_EQ(s.actions().emailSupport->objectName(), "emailSupport");
    // Commands of dialogs still to come do nothing; without an account Options is followed by
    // the wizard, Read mail does nothing, and with no account selected in the tree Remove and
    // Properties do nothing either; View and Delete without a remembered row neither.
    for (QAction* CommandActions::*a :
         {&CommandActions::options, &CommandActions::readMail, &CommandActions::addAccount,
          &CommandActions::removeAccount, &CommandActions::accountProperties})
        command(a);
    s.window().viewRememberedItem();
    s.window().deleteRememberedItem();
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(s.schedule().active, 0);
    EXPECT_EQ(dialogs, (std::vector<std::string>{"sheet", "wizard", "wizard"}));
}

TEST_F(ShellTest, OptionsIsFollowedByTheWizardOnlyWithoutAnAccount) {
    Shell& s = start();
    plat::RegKey accounts;
    ASSERT_TRUE(config::openAccountsKey(accounts));
    ASSERT_TRUE(config::createAccount(accounts, {"home", "pop.example.net", 110, "jo", "pw", "", ""}));
    command(&CommandActions::options);
    EXPECT_EQ(dialogs, std::vector<std::string>{"sheet"});
    // Options is grayed while its sheet shows, and a second command opens no second sheet.
    int sheets = 0;
    setModalHook([&](QDialog&) {
        ++sheets;
        s.updateMenus();
        EXPECT_FALSE(enabled(&CommandActions::options));
        s.runOptions();
        return 0;
    });
    command(&CommandActions::options);
    EXPECT_EQ(sheets, 1);
    s.updateMenus();
    EXPECT_TRUE(enabled(&CommandActions::options));
    ASSERT_TRUE(config::deleteAccountKey(accounts, "home"));
}

TEST_F(ShellTest, ACancelledWizardStillRefreshesTheViews) {
    Shell& s = start();
    command(&CommandActions::open);
    QWidget* before = s.window().centralWidget();
    ASSERT_NE(before, nullptr);
    command(&CommandActions::addAccount);
    EXPECT_EQ(dialogs, std::vector<std::string>{"wizard"});
    EXPECT_TRUE(s.window().viewsOpen());
    EXPECT_NE(s.window().centralWidget(), before);
}

TEST_F(ShellTest, OpeningAndClosingKeepThePlacement) {
    Shell& s = start();
    command(&CommandActions::open);
    ASSERT_FALSE(s.window().isClosed());
    EXPECT_TRUE(s.window().viewsOpen());
    EXPECT_EQ(s.window().statusPart(0).toStdString(), "Last check:  ");
    EXPECT_EQ(s.window().statusPart(1).toStdString(), "OK");
    s.window().resize(640, 400);
    pumpMessages(0);

    command(&CommandActions::close);
    EXPECT_TRUE(s.window().isClosed());
    EXPECT_FALSE(s.window().viewsOpen());
    auto saved = config::readPlacement();
    ASSERT_TRUE(saved);
    auto p = decodePlacement(*saved);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->right - p->left, 640);
    EXPECT_EQ(p->bottom - p->top, 400);
    EXPECT_EQ(p->showCmd, 2);

    s.window().resize(300, 200);  // whatever happened meanwhile, the saved size comes back
    command(&CommandActions::open);
    EXPECT_EQ(s.window().width(), 640);
    EXPECT_EQ(s.window().height(), 400);

    // Minimising the open window closes it to the tray.
    s.window().setWindowState(Qt::WindowMinimized);
    pumpMessages(0);
    EXPECT_TRUE(s.window().isClosed());
    // A double click on the tray icon opens it again.
    tray(QSystemTrayIcon::DoubleClick);
    EXPECT_FALSE(s.window().isClosed());
}

// StatusNotifierItem trays send one activation per click: it toggles the window. An XEmbed
// double click (activation, then double click) always ends with the window open.
TEST_F(ShellTest, ATrayClickOpensTheWindowAndASecondOneHidesIt) {
    Shell& s = start();
    ASSERT_TRUE(s.window().isClosed());
    tray(QSystemTrayIcon::Trigger);
    pumpMessages(0);
    ASSERT_FALSE(s.window().isClosed());
    EXPECT_TRUE(s.window().viewsOpen());
    ASSERT_TRUE(s.window().inFront());

    tray(QSystemTrayIcon::Trigger);
    pumpMessages(0);
    EXPECT_TRUE(s.window().isClosed());
    EXPECT_FALSE(s.window().viewsOpen());
    EXPECT_TRUE(config::readPlacement().has_value());  // closed the usual way

    // Open but behind another window: a click brings it to the front instead of hiding it.
    tray(QSystemTrayIcon::Trigger);
    pumpMessages(0);
    ASSERT_TRUE(s.window().inFront());
    {
        QWidget other;
        other.show();
        QApplication::setActiveWindow(&other);
        QApplication::processEvents();
        ASSERT_FALSE(s.window().inFront());
        tray(QSystemTrayIcon::Trigger);
        pumpMessages(0);
        EXPECT_FALSE(s.window().isClosed());
        EXPECT_TRUE(s.window().inFront());
    }
    tray(QSystemTrayIcon::Trigger);
    pumpMessages(0);
    ASSERT_TRUE(s.window().isClosed());

    // Double click on a closed window, and on an open one in front: open both times.
    for (int round = 0; round < 2; ++round) {
        tray(QSystemTrayIcon::Trigger);
        tray(QSystemTrayIcon::DoubleClick);
        pumpMessages(0);
        EXPECT_FALSE(s.window().isClosed()) << round;
        EXPECT_TRUE(s.window().viewsOpen()) << round;
    }
}

TEST_F(ShellTest, TheShutdownQuestionsThreeAnswers) {
    Shell& s = start();
    command(&CommandActions::open);
    answers = {QMessageBox::Cancel};
    command(&CommandActions::exit);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Do you really wish to shutdown Tarnwick?");
    EXPECT_EQ(boxes[0].buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    EXPECT_EQ(boxes[0].defaultButton, QMessageBox::No);
    EXPECT_FALSE(s.window().isClosed());
    EXPECT_FALSE(quitPosted());

    answers = {QMessageBox::No};
    command(&CommandActions::exit);
    EXPECT_TRUE(s.window().isClosed());  // closed to the tray, still running
    EXPECT_TRUE(isWindow(s.hwnd()));
    EXPECT_FALSE(quitPosted());

    answers = {QMessageBox::Yes};
    command(&CommandActions::exit);
    EXPECT_FALSE(isWindow(s.hwnd()));
    EXPECT_TRUE(quitPosted());
}

TEST_F(ShellTest, ASecondCloseWhileTheQuestionShowsIsIgnored) {
    Shell& s = start();
    int asked = 0;
    setMessageBoxHook([&](const MessageBoxRequest&) {
        ++asked;
        s.exitProgram();  // the tray's Exit while the box is up
        return QMessageBox::Cancel;
    });
    s.exitProgram();
    pumpMessages(0);
    EXPECT_EQ(asked, 1);
}

TEST_F(ShellTest, WithoutATrayTheWindowOpensAtStartAndClosingMinimises) {
    Shell& s = start(false);
    EXPECT_FALSE(s.window().isClosed());
    EXPECT_TRUE(s.window().isVisible());
    command(&CommandActions::close);
    EXPECT_TRUE(s.window().isMinimized());
    EXPECT_TRUE(s.window().isVisible());  // still on the task bar: the user's way back in
    EXPECT_FALSE(s.window().viewsOpen());
    // Restoring it from the task bar opens it with its views.
    s.window().showNormal();
    pumpMessages(0);
    EXPECT_FALSE(s.window().isClosed());
    EXPECT_TRUE(s.window().viewsOpen());

    // The window's close button minimises it too, and asks nothing.
    s.window().close();
    pumpMessages(0);
    EXPECT_TRUE(boxes.empty());
    EXPECT_TRUE(s.window().isMinimized());
    EXPECT_TRUE(s.window().isVisible());
    EXPECT_TRUE(isWindow(s.hwnd()));
    s.openMainWindow();
    EXPECT_FALSE(s.window().isClosed());

    // A second copy brings it to the front and ends without a message box.
    command(&CommandActions::close);
    ASSERT_TRUE(s.window().isMinimized());
    Shell second(ShellOptions{"", 200, false, {}, "/opt/help", {}, {}, {}, {}, 2000});
    EXPECT_FALSE(second.startUp());
    EXPECT_TRUE(boxes.empty());
    pumpMessages(0);
    EXPECT_FALSE(s.window().isClosed());
    EXPECT_TRUE(s.window().viewsOpen());
}

// A tray that appears takes over a minimised window (it hides behind the icon); one that goes
// leaves the window open, since nothing else leads to it then.
TEST_F(ShellTest, TheWindowFollowsATrayThatComesAndGoes) {
    Shell& s = start(true);
    ASSERT_TRUE(s.window().isClosed());
    ASSERT_FALSE(s.window().isVisible());
    s.tray().setAvailable(false);
    pumpMessages(0);
    EXPECT_EQ(s.tray().icon(), nullptr);
    EXPECT_TRUE(s.window().isVisible());
    EXPECT_FALSE(s.window().isClosed());
    // Closing now goes to the task bar.
    s.window().close();
    pumpMessages(0);
    EXPECT_TRUE(boxes.empty());
    EXPECT_TRUE(s.window().isMinimized());
    EXPECT_TRUE(s.window().isVisible());

    s.tray().setAvailable(true);
    pumpMessages(0);
    ASSERT_NE(s.tray().icon(), nullptr);
    EXPECT_FALSE(s.window().isVisible());
    EXPECT_EQ(s.tray().frame(), kTraySuspended);
    // The new icon answers clicks, and the close button asks the shutdown question again.
    tray(QSystemTrayIcon::Trigger);
    pumpMessages(0);
    EXPECT_FALSE(s.window().isClosed());
    answers = {QMessageBox::Cancel};
    s.window().close();
    pumpMessages(0);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Do you really wish to shutdown Tarnwick?");
}

// A window restored larger than the screen, or partly off it, is made to fit and centred.
TEST_F(ShellTest, ARestoredWindowIsWhollyOnItsScreen) {
    Shell& s = start();
    Placement huge;
    huge.left = 3000;
    huge.top = 10;
    huge.right = 3000 + 5000;
    huge.bottom = 10 + 4000;
    config::writePlacement(encodePlacement(huge));
    command(&CommandActions::open);
    QRect screen = s.window().screen()->availableGeometry();
    EXPECT_TRUE(screen.contains(s.window().frameGeometry()))
        << s.window().frameGeometry().width() << "x" << s.window().frameGeometry().height();
    // A long status never widens the window past the screen.
    command(&CommandActions::close);
    huge.right = huge.left + 600;
    huge.bottom = huge.top + 400;
    config::writePlacement(encodePlacement(huge));
    command(&CommandActions::open);
    s.window().setStatusParts(QStringLiteral("Last check"), QString(400, QLatin1Char('w')));
    QApplication::processEvents();
    EXPECT_TRUE(screen.contains(s.window().frameGeometry()));
    EXPECT_LE(s.window().width(), 600);
}

// A notice (a sound that cannot be played) said while the window is closed shows in the status
// field once it opens, and a new status does not push it out.
TEST_F(ShellTest, ANoticeWaitsForTheWindowAndHoldsTheStatusField) {
    Shell& s = start();
    s.window().showNotice(QStringLiteral("The sound alarm.wav cannot be played: there is no such file."));
    command(&CommandActions::open);
    EXPECT_EQ(s.window().statusPart(1).toStdString(), "The sound alarm.wav cannot be played: there is no such file.");
    s.cycleStatus().setStatus(kStatusOk);
    EXPECT_EQ(s.window().statusPart(1).toStdString(), "The sound alarm.wav cannot be played: there is no such file.");
    EXPECT_EQ(s.window().statusPart(0).toStdString(), "Last check:  ");
}

// Centring and side by side, as arithmetic.
TEST(Placing, CentredAndSideBySideWindowsStayOnTheScreen) {
    QRect screen(0, 30, 1024, 738);
    EXPECT_EQ(placeCentred({720, 460}, screen), QRect(152, 169, 720, 460));
    EXPECT_EQ(placeCentred({1400, 900}, screen), QRect(0, 30, 1024, 738));
    auto [a, b] = sideBySide({400, 300}, {500, 600}, screen);
    EXPECT_EQ(a, QRect(58, 249, 400, 300));
    EXPECT_EQ(b, QRect(466, 99, 500, 600));
    auto [c, d] = sideBySide({600, 300}, {640, 520}, screen);
    EXPECT_FALSE(c.intersects(d));
    EXPECT_TRUE(screen.contains(c));
    EXPECT_TRUE(screen.contains(d));
    EXPECT_EQ(c.width(), 508);
}

TEST_F(ShellTest, CopiedDataIsAcknowledged) {
    Shell& s = start();
    const char path[] = "accounts/home/x.rfc822";
    COPYDATASTRUCT cds{COPYDATA_NEW_ITEM, sizeof path, path};
    EXPECT_EQ(sendMessage(s.hwnd(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds)), 1);
    cds.dwData = 12345;
    EXPECT_EQ(sendMessage(s.hwnd(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds)), 1);
}

// The views follow the engine's notices, and the list's Delete goes through the main window:
// asked, removed, the tree refreshed. Account commands are enabled only with an account chosen.
TEST_F(ShellTest, TheViewsFollowTheEngineAndDeleteFromTheListMenu) {
    std::filesystem::create_directories("accounts/v@x");
    std::filesystem::create_directories("outgoing");
    {
        RegKey accounts;
        ASSERT_TRUE(config::openAccountsKey(accounts));
        ASSERT_TRUE(config::createAccountKey(accounts, "views"));
        ASSERT_TRUE(config::writeAccountString(accounts, "views", "destmailbox", "v@x"));
    }
    testsupport::writeFile("accounts/v@x/1.rfc822", "From: ann\r\nSubject: first\r\n\r\n");
    Shell& s = start();
    command(&CommandActions::open);
    views::FolderTree* tree = s.window().folderTree();
    ASSERT_NE(tree, nullptr);
    EXPECT_EQ(tree->accountNode(0)->text(0), "views (1)");
    s.updateMenus();
    EXPECT_FALSE(enabled(&CommandActions::accountProperties));

    // New mail and a queued item arrive.
    testsupport::writeFile("accounts/v@x/2.rfc822", "From: bob\r\nSubject: second\r\n\r\n");
    // Refreshes are paced: one that follows another closely may come a few milliseconds later.
    auto eventually = [](const std::function<bool()>& done) {
        QElapsedTimer t;
        t.start();
        while (!done() && t.elapsed() < 2000) {
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        return done();
    };
    notice(CYCLE_NEW_ITEM);
    EXPECT_TRUE(eventually([&] { return tree->accountNode(0)->text(0) == "views (2)"; }));
    EXPECT_EQ(s.window().itemList()->rows(), 2);
    testsupport::writeFile("outgoing/3.rfc822", "From: me\r\nSubject: queued\r\n\r\n");
    testsupport::writeFile("outgoing/3.rfc822.route", "x");
    notice(NEW_OUTGOING_MAIL);
    EXPECT_TRUE(eventually([&] { return tree->outgoingRoot()->text(0) == "Outgoing (1)"; }));
    tree->setCurrentItem(tree->accountNode(0));
    s.updateMenus();
    EXPECT_TRUE(enabled(&CommandActions::accountProperties));
    EXPECT_TRUE(enabled(&CommandActions::removeAccount));

    // Delete from the context menu of the queued item.
    tree->setCurrentItem(tree->outgoingRoot());
    views::ItemList* list = s.window().itemList();
    ASSERT_EQ(list->rows(), 1);
    list->resize(500, 200);
    list->openContextMenu(list->visualRect(list->model()->index(0, 0)).center());
    auto* menu = list->findChild<QMenu*>(QStringLiteral("MAILLISTMENU"));
    ASSERT_NE(menu, nullptr);
    answers = {QMessageBox::Yes};
    menu->findChild<QAction*>(QStringLiteral("delete"))->trigger();
    pumpMessages(0);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Confirm deletion of mail item 'me':'queued'.\nClick 'YES' to delete, or 'NO' to cancel.");
    EXPECT_FALSE(std::filesystem::exists("outgoing/3.rfc822"));
    EXPECT_FALSE(std::filesystem::exists("outgoing/3.rfc822.route"));
    EXPECT_EQ(tree->outgoingRoot()->text(0), "Outgoing");
    EXPECT_EQ(tree->currentItem(), tree->outgoingRoot());
    EXPECT_EQ(list->rows(), 0);

    // MAILBOX_CHANGED (the e-mail program took an item) refreshes too; a closed window ignores it.
    std::filesystem::remove("accounts/v@x/1.rfc822");
    notice(MAILBOX_CHANGED);
    EXPECT_TRUE(eventually([&] { return tree->accountNode(0)->text(0) == "views (1)"; }));
    command(&CommandActions::close);
    EXPECT_EQ(s.window().folderTree(), nullptr);
    notice(MAILBOX_CHANGED);
    s.updateMenus();
    EXPECT_FALSE(enabled(&CommandActions::accountProperties));

    RegKey accounts;
    ASSERT_TRUE(config::openAccountsKey(accounts));
    ASSERT_TRUE(config::deleteAccountKey(accounts, "views"));
}

}  // namespace

namespace {

QDialog* shownDialog(const char* name) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String(name) && w->isVisible()) return qobject_cast<QDialog*>(w);
    return nullptr;
}

}  // namespace

// The Options sheet opens without a loop of its own: the command returns at once with the sheet
// showing, a second command brings the same sheet forward, and what follows the sheet (the
// wizard, without an account) comes once it has closed.
TEST_F(ShellTest, OptionsOpensWithoutALoopOfItsOwnAndTheWizardFollowsItsClose) {
    Shell& s = start();
    setModalHook({});  // the real sheet
    command(&CommandActions::options);
    QDialog* sheet = shownDialog("sheet");
    ASSERT_NE(sheet, nullptr);
    EXPECT_TRUE(sheet->isModal());
    s.updateMenus();
    EXPECT_FALSE(enabled(&CommandActions::options));
    command(&CommandActions::options);
    int sheets = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        sheets += w->objectName() == QLatin1String("sheet") && w->isVisible();
    EXPECT_EQ(sheets, 1);
    EXPECT_TRUE(dialogs.empty());
    // The wizard that follows goes through the test's hook.
    setModalHook([this](QDialog& d) {
        dialogs.push_back(d.objectName().toStdString());
        return 0;
    });
    sheet->reject();
    pumpMessages(0);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(shownDialog("sheet"), nullptr);
    EXPECT_EQ(dialogs, std::vector<std::string>{"wizard"});
    s.updateMenus();
    EXPECT_TRUE(enabled(&CommandActions::options));
}
