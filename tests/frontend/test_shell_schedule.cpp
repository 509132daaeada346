// The shell wired to the schedule: start-up's unread check, Resume and Suspend, copied paths
// opening the notices, the sound requests of a cycle with mail, the blinking tray, About.
#include "frontend/desktop/desktop.h"
#include "frontend/dialogs/mail_dialogs.h"
#include "frontend/app/main_window.h"
#include "frontend/app/shell.h"
#include "platform/event_loop.h"
#include "platform/link.h"
#include "link/engine_link.h"
#include "config/settings.h"
#include "tests/support/temp_env.h"

#include <QAction>
#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QElapsedTimer>

#include <filesystem>

#include <gtest/gtest.h>

using namespace plat;

namespace {

LRESULT quietEngine(HWND, UINT, WPARAM, LPARAM) {
    return 0;
}

class ShellScheduleTest : public ::testing::Test {
protected:
    void SetUp() override {
        resetQuit();
        config::writeSetting(config::kOutHostName, "smtp.example.net");
        config::writeSetting(config::kLastCheckTime, 0);
        soundLog = testsupport::makeTempDir("sounds-") + "/requests";
        ::setenv("TARNWICK_SOUND_LOG", soundLog.c_str(), 1);
        setBeepHook([] {});
        setMessageBoxHook([](const MessageBoxRequest&) { return QMessageBox::Ok; });
        ASSERT_TRUE(registerClass(kEngineClass, quietEngine));
        engine = createWindow(kEngineClass, kEngineTitle, 0);
        ASSERT_EQ(publishWindow(engine, kEngineClass, kEngineTitle), PublishResult::Published);
        ShellOptions o;
        o.trayAvailable = true;
        o.clock = [] { return std::time_t{1765000000}; };
        o.helpDir = "/opt/help";
        o.unreadMailWaiting = [this] { return unread; };
        o.notificationSender = [this](const DesktopNotifications::Request& r, std::function<void(quint32)> done) {
            notes.push_back(r);
            done(static_cast<quint32>(notes.size()));
        };
        shell = std::make_unique<Shell>(o);
        ASSERT_TRUE(shell->startUp());
        pumpMessages(0);
    }
    void TearDown() override {
        shell.reset();
        destroyWindow(engine);
        unregisterClass(kEngineClass);  // other tests register their own stand-in engine
        pumpMessages(0);
        resetQuit();
        ::unsetenv("TARNWICK_SOUND_LOG");
        setBeepHook({});
        setMessageBoxHook({});
    }
    void send(UINT msg, WPARAM w, LPARAM l = 0) { sendMessage(shell->hwnd(), msg, w, l); }
    void copyPath(std::uintptr_t kind, const std::string& path) {
        COPYDATASTRUCT cds{kind, static_cast<std::uint32_t>(path.size() + 1), path.c_str()};
        EXPECT_EQ(sendMessage(shell->hwnd(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds)), 1);
    }
    std::string item(const std::string& name, const std::string& header) {
        std::string path = testsupport::worldDir() + "/" + name;
        testsupport::writeFile(path, header + "\r\nbody\r\n");
        return path;
    }

    bool running(ScheduleTimer t) { return shell->scheduler().timer(t).isActive(); }
    int period(ScheduleTimer t) { return running(t) ? shell->scheduler().timer(t).interval() : -1; }
    void expire(ScheduleTimer t) { shell->scheduler().expire(t); }
    HWND engine = 0;
    std::unique_ptr<Shell> shell;
    std::string soundLog;
    bool unread = false;
    std::vector<DesktopNotifications::Request> notes;
};

TEST_F(ShellScheduleTest, StartUpChecksForUnreadMailAndResumeSuspendDriveTheTimers) {
    EXPECT_EQ(period(ScheduleTimer::NewMail), 15000);
    EXPECT_EQ(period(ScheduleTimer::Blink), 500);
    shell->actions().resume->trigger();
    EXPECT_EQ(shell->schedule().active, 1);
    EXPECT_EQ(period(ScheduleTimer::Online), 5000);  // never checked
    EXPECT_EQ(period(ScheduleTimer::Offline), 5000);
    EXPECT_EQ(shell->tray().frame(), kTrayActive);
    shell->updateMenus();
    EXPECT_TRUE(shell->actions().suspend->isEnabled());
    shell->actions().suspend->trigger();
    EXPECT_EQ(running(ScheduleTimer::Online), false);
    EXPECT_EQ(shell->tray().frame(), kTraySuspended);
    // The first unread check finds nothing: blinking and checking stop.
    expire(ScheduleTimer::NewMail);
    EXPECT_EQ(running(ScheduleTimer::NewMail), false);
    EXPECT_EQ(running(ScheduleTimer::Blink), false);
}

TEST_F(ShellScheduleTest, ACycleWithTwoItemsBeepsListsAnnouncesAndBlinks) {
    shell->actions().resume->trigger();
    send(WM_ENGINE_LINK, CYCLE_STARTED);
    copyPath(COPYDATA_NEW_ITEM, item("[a]1.rfc822", "From: Ann\r\nSubject: one\r\n"));
    send(WM_ENGINE_LINK, CYCLE_NEW_ITEM);
    copyPath(COPYDATA_NEW_ITEM, item("[a]2.rfc822", "From: Bo\r\nSubject: two\r\n"));
    send(WM_ENGINE_LINK, CYCLE_NEW_ITEM);
    NewMailDialog* d = shell->announcements().newMailDialog();
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(d->rowCount(), 2);
    EXPECT_EQ(d->row(0, 1).toStdString(), "two");
    unread = true;
    send(WM_ENGINE_LINK, CYCLE_FINISHED);
    EXPECT_EQ(testsupport::readFile(soundLog), "beep\nbeep\nannounce newmail.wav\n");

    // Blinking alternates the new-mail icon with the state icon; the check sounds the alarm.
    EXPECT_EQ(shell->schedule().newMailWaiting, 1);
    expire(ScheduleTimer::Blink);
    EXPECT_EQ(shell->tray().frame(), kTrayActive);
    expire(ScheduleTimer::Blink);
    EXPECT_EQ(shell->tray().frame(), kTrayNewMail);
    expire(ScheduleTimer::NewMail);
    EXPECT_EQ(testsupport::readFile(soundLog), "beep\nbeep\nannounce newmail.wav\nalarm alarm.wav\n");
    // A cycle during blinking shows its animation.
    send(WM_ENGINE_LINK, CYCLE_STARTED);
    expire(ScheduleTimer::Blink);
    EXPECT_EQ(shell->tray().frame(), kTrayConnecting);
    unread = false;
    send(WM_ENGINE_LINK, CYCLE_FINISHED);
    expire(ScheduleTimer::NewMail);
    EXPECT_EQ(shell->schedule().newMailWaiting, 0);
    EXPECT_EQ(shell->tray().frame(), kTrayActive);
}

TEST_F(ShellScheduleTest, ARefusedItemOpensItsNoticeAndAPathWithoutItsNulIsWhole) {
    std::string path = item("20261207120000000.rfc822", "To: you@example.net\r\n");
    copyPath(COPYDATA_DELIVERY_FAILURE, path);
    EXPECT_EQ(shell->announcements().failureDialogsOpen(), 1);
    // A record that leaves out the terminating NUL still names the whole file.
    COPYDATASTRUCT cds{COPYDATA_NEW_ITEM, static_cast<std::uint32_t>(path.size()), path.c_str()};
    sendMessage(shell->hwnd(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds));
    ASSERT_NE(shell->announcements().newMailDialog(), nullptr);
    EXPECT_EQ(shell->announcements().newMailDialog()->row(0, 0).toStdString(), "<unknown>");
    copyPath(12345, path);  // other kinds: nothing
    EXPECT_EQ(shell->announcements().failureDialogsOpen(), 1);
    // The provider's reply after the path's NUL reaches the notice, line by line.
    std::string record = path + '\0' + "552-5.3.4 too big\r\n552 5.3.4 limit 1 MB\r\n" + '\0';
    COPYDATASTRUCT refused{COPYDATA_DELIVERY_FAILURE, static_cast<std::uint32_t>(record.size()), record.data()};
    sendMessage(shell->hwnd(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&refused));
    EXPECT_EQ(shell->announcements().failureDialogsOpen(), 2);
    QListWidget* shown = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* list = w->objectName() == "deliveryFailureDialog"
                         ? w->findChild<QListWidget*>(QStringLiteral("itemLines"))
                         : nullptr;
        if (list && list->count() == 7) shown = list;
    }
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->item(4)->text().toStdString(), path);
    EXPECT_EQ(shown->item(5)->text().toStdString(), "Reply: 552-5.3.4 too big");
    EXPECT_EQ(shown->item(6)->text().toStdString(), "Reply: 552 5.3.4 limit 1 MB");
}

TEST_F(ShellScheduleTest, ARefusalNamesTheOutgoingHostWhenItsRecordCarriesOne) {
    std::string path = item("20261207120000001.rfc822", "To: you@example.net\r\n");
    // The engine puts the host that refused after the reply's NUL.
    std::string record = path + '\0' + "550 5.1.1 no such user\r\n" + '\0' + "smtp.b.example:587";
    COPYDATASTRUCT refused{COPYDATA_DELIVERY_FAILURE, static_cast<std::uint32_t>(record.size() + 1), record.c_str()};
    sendMessage(shell->hwnd(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&refused));
    ASSERT_EQ(shell->announcements().failureDialogsOpen(), 1);
    QListWidget* shown = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == "deliveryFailureDialog" && w->isVisible())
            shown = w->findChild<QListWidget*>(QStringLiteral("itemLines"));
    ASSERT_NE(shown, nullptr);
    ASSERT_EQ(shown->count(), 7);
    EXPECT_EQ(shown->item(4)->text().toStdString(), path);
    EXPECT_EQ(shown->item(5)->text().toStdString(), "Host: smtp.b.example:587");
    EXPECT_EQ(shown->item(6)->text().toStdString(), "Reply: 550 5.1.1 no such user");
    // A reply that fills the notice's reply lines is still shown whole beside the host.
    std::string reply;
    for (int i = 0; i < 25; ++i) reply += "550-line " + std::to_string(i) + "\r\n";
    EXPECT_EQ(deliveryFailureLines(path, reply, "h:25").size(), 5u + 1u + 20u);
    EXPECT_EQ(deliveryFailureLines(path, reply).size(), 5u + 20u);
}

TEST_F(ShellScheduleTest, AboutIsGrayedWhileItShows) {
    bool grayedMeanwhile = false;
    QObject thisTest;  // the timer dies with the test even when it never fires
    QTimer::singleShot(0, &thisTest, [&] {
        shell->updateMenus();
        grayedMeanwhile = !shell->actions().about->isEnabled();
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == "aboutDialog" && w->isVisible()) w->findChild<QPushButton*>("ok")->click();
    });
    shell->actions().about->trigger();
    pumpMessages(0);
    EXPECT_TRUE(grayedMeanwhile);
    shell->updateMenus();
    EXPECT_TRUE(shell->actions().about->isEnabled());
}

}  // namespace

namespace {

// What the desktop is told: the cycle's arrivals decoded in one notification at its end, a
// failed cycle with its step, a refused item with the provider's reply.
TEST_F(ShellScheduleTest, ACyclesMailAndFailuresReachTheDesktopNotifications) {
    send(WM_ENGINE_LINK, CYCLE_STARTED);
    send(WM_ENGINE_LINK, CYCLE_SENDING);
    copyPath(COPYDATA_DELIVERY_FAILURE, item("q1", "To: =?ISO-8859-1?Q?J=FCrgen?= <j@x>\r\nSubject: report\r\n"));
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].kind, DesktopNotifications::Kind::DeliveryFailure);
    EXPECT_EQ(notes[0].text.body.toStdString(), "To: J\xC3\xBCrgen\nSubject: report\nThe provider gave no reason.");
    send(WM_ENGINE_LINK, CYCLE_FAILURE);
    send(WM_ENGINE_LINK, CYCLE_CHECKING);
    copyPath(COPYDATA_NEW_ITEM, item("[a]1.rfc822", "From: Ann <a@x>\r\nSubject: =?UTF-8?B?R3LDvMOfZQ==?=\r\n"));
    send(WM_ENGINE_LINK, CYCLE_NEW_ITEM);
    copyPath(COPYDATA_NEW_ITEM, item("[a]2.rfc822", "From: Bo <b@x>\r\nSubject: two\r\n"));
    send(WM_ENGINE_LINK, CYCLE_NEW_ITEM);
    EXPECT_EQ(notes.size(), 1u);  // mail is told once the cycle is over
    send(WM_ENGINE_LINK, CYCLE_FINISHED);
    ASSERT_EQ(notes.size(), 3u);
    EXPECT_EQ(notes[1].text.summary.toStdString(), "2 new messages");
    EXPECT_EQ(notes[1].text.body.toStdString(),
              "Bo: two\nAnn: Gr\xC3\xBC\xC3\x9F"
              "e");
    EXPECT_EQ(notes[2].kind, DesktopNotifications::Kind::CycleFailure);
    EXPECT_EQ(notes[2].text.summary.toStdString(), "The last mail cycle failed: sending mail");

    // "Open" on one of them opens the main window.
    shell->notifications().actionInvoked(2, QStringLiteral("open"));
    pumpMessages(0);
    EXPECT_TRUE(shell->window().viewsOpen());
}

}  // namespace

namespace {

// The e-mail program collected the unread mail through the local POP3 server: the tray stops
// blinking without waiting for the next unread check, and without an alarm.
TEST_F(ShellScheduleTest, CollectedMailStopsTheBlinkingAtOnce) {
    shell->actions().resume->trigger();
    send(WM_ENGINE_LINK, CYCLE_STARTED);
    copyPath(COPYDATA_NEW_ITEM, item("[a]1.rfc822", "From: Ann\r\nSubject: one\r\n"));
    send(WM_ENGINE_LINK, CYCLE_NEW_ITEM);
    unread = true;
    send(WM_ENGINE_LINK, CYCLE_FINISHED);
    ASSERT_EQ(shell->schedule().newMailWaiting, 1);
    std::string sounds = testsupport::readFile(soundLog);

    unread = false;
    std::filesystem::create_directories("outgoing");  // the data directory changes
    QElapsedTimer t;
    t.start();
    while (shell->schedule().newMailWaiting != 0 && t.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(shell->schedule().newMailWaiting, 0);
    EXPECT_FALSE(running(ScheduleTimer::Blink));
    EXPECT_FALSE(running(ScheduleTimer::NewMail));
    EXPECT_EQ(shell->tray().frame(), kTrayActive);
    EXPECT_EQ(testsupport::readFile(soundLog), sounds);  // no alarm
}

}  // namespace

namespace {

void appendLine(const std::string& file, const std::string& line) {
    testsupport::writeFile(file, (std::filesystem::exists(file) ? testsupport::readFile(file) : "") + line + "\r\n");
}

// A sign-in the provider refused during the cycle: the user is told which one to renew, once
// per target; what earlier cycles logged is not told again.
TEST_F(ShellScheduleTest, AnExpiredSignInOfTheCycleAsksForANewOne) {
    const std::string log = "20251206.log";
    appendLine(log, "101010  MAIL HIGH sign-in for old expired: sign in again");
    send(WM_ENGINE_LINK, CYCLE_STARTED);
    appendLine(log, "101011  MAIL HIGH sign-in for outgoing expired: sign in again");
    appendLine(log, "101012  MAIL HIGH sign-in for home expired: sign in again");
    appendLine(log, "101013  MAIL HIGH sign-in for home expired: sign in again");
    appendLine(log, "101014  MAIL  MED sign-in for quiet expired: sign in again");
    send(WM_ENGINE_LINK, CYCLE_SENDING);
    send(WM_ENGINE_LINK, CYCLE_FAILURE);
    send(WM_ENGINE_LINK, CYCLE_FINISHED);
    std::vector<std::string> bodies;
    for (const auto& n : notes)
        if (n.kind == DesktopNotifications::Kind::Notice) bodies.push_back(n.text.body.toStdString());
    ASSERT_EQ(bodies.size(), 2u);
    EXPECT_NE(bodies[0].find("for outgoing mail"), std::string::npos) << bodies[0];
    EXPECT_NE(bodies[1].find("the account home"), std::string::npos) << bodies[1];
}

}  // namespace
