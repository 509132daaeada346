// The Options sheet: what each page refuses (and whether it says so), what OK writes, the
// dial-up entry list, the outgoing server's port, security and log-in, the Resume command
// after a period changed, Browse and the test buttons.
#include "frontend/settings/options_pages.h"
#include "frontend/settings/prop_sheet.h"
#include "frontend/schedule/schedule_state.h"
#include "platform/event_loop.h"
#include "platform/registry.h"
#include "tests/frontend/settings_fixture.h"
#include "tests/support/temp_env.h"

#include <QApplication>
#include <QCheckBox>
#include <QScrollBar>
#include <QSpinBox>
#include <QTextBrowser>
#include <QUrl>
#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

using namespace plat;

namespace {

constexpr char kNoHost[] =
    "Please enter the address of your SMTP mail server for outgoing mail to be delivered. (smtp.example.net)";
constexpr char kPort[] = "Please enter a port number from 1 to 65535.";
constexpr char kPeriods[] = "Minimum value is 1 minute. Offline period must not be less than online period.";

class OptionsTest : public SettingsTest {
protected:
    void SetUp() override {
        SettingsTest::SetUp();
        resumes = 0;
    }
    int run() {
        // Under the test's dialog hook the sheet's script runs, and the sheet closes, at once.
        int r = -1;
        newOptionsSheet(
            nullptr, [this] { ++resumes; }, &schedule)
            ->start([&r](bool stored) { r = stored; });
        pumpMessages(0);
        return r;
    }
    // A script that fills a valid Connection page and presses OK.
    static int connectionThenOk(QDialog& d) {
        type(d, "smtpServer", "smtp.provider.net");
        press(d, "ok");
        return d.result();
    }

    int resumes = 0;  // how often the sheet asked for the schedule to restart
    ScheduleState schedule;
};

TEST_F(OptionsTest, AnEmptyServerIsRefusedWithItsMessageWhereverTheUserGoes) {
    then([&](QDialog& d) {
        EXPECT_EQ(d.windowTitle(), "Tarnwick Options");
        QTabWidget* tabs = tabsOf(d);
        EXPECT_EQ(tabs->count(), 3);
        EXPECT_EQ(tabs->tabText(0), "Connection");
        EXPECT_EQ(tabs->tabText(1), "Scheduling");
        EXPECT_EQ(tabs->tabText(2), "Notifications");
        press(d, "ok");  // OK
        EXPECT_EQ(takeBoxes(), std::vector<std::string>{kNoHost});
        EXPECT_EQ(d.result(), 0);
        tabs->setCurrentIndex(1);  // leaving the page is refused the same way
        EXPECT_EQ(takeBoxes(), std::vector<std::string>{kNoHost});
        EXPECT_EQ(tabs->currentIndex(), 0);
        type(d, "smtpServer", "   ");  // blanks are no host either
        press(d, "ok");
        EXPECT_EQ(takeBoxes(), std::vector<std::string>{kNoHost});
        press(d, "cancel");  // Cancel
        return d.result();
    });
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(boxes[0].caption, "Tarnwick");
    for (const char* v : {"outhostname", "outhostport", "rasentry", "RASRetryLimit", "CheckFreqHI", "NotifyRun"})
        EXPECT_FALSE(stored(v)) << v;
}

TEST_F(OptionsTest, RetriesOrPauseThatAreNoNumberAboveZeroAreRefusedWithTheirMessage) {
    constexpr char kRetries[] = "Please enter the number of retries, at least 1.";
    constexpr char kPause[] = "Please enter a pause from 1 to 35791 minutes.";
    then([&](QDialog& d) {
        type(d, "smtpServer", "  smtp.provider.net ");
        struct Case {
            const char* retries;
            const char* pause;
            const char* message;
            const char* focus;
        } cases[] = {{"0", "5", kRetries, "retryCount"},
                     {"", "5", kRetries, "retryCount"},
                     {"3", "0", kPause, "retryPause"},
                     {"3", "", kPause, "retryPause"},
                     {"3", "35792", kPause, "retryPause"}};
        for (const Case& c : cases) {
            type(d, "retryCount", c.retries);
            type(d, "retryPause", c.pause);
            press(d, "ok");
            EXPECT_EQ(d.result(), 0) << c.retries << "/" << c.pause;
            EXPECT_EQ(takeBoxes(), std::vector<std::string>{c.message});
            // The field by its name: a spin box has the focus itself, its edit within it.
            QWidget* focus = d.focusWidget();
            EXPECT_EQ(focus ? focus->objectName().toStdString() : std::string(), c.focus);
            tabsOf(d)->setCurrentIndex(2);
            EXPECT_EQ(tabsOf(d)->currentIndex(), 0);
            EXPECT_EQ(takeBoxes(), std::vector<std::string>{c.message});
        }
        EXPECT_FALSE(stored("outhostname"));
        type(d, "retryCount", "7");
        type(d, "retryPause", "12");
        in<QCheckBox>(d, "establishConnection")->setChecked(false);
        press(d, "ok");
        return d.result();
    });
    EXPECT_EQ(run(), 1);
    EXPECT_EQ(config::readSetting(config::kOutHostName), "smtp.provider.net");
    EXPECT_EQ(config::readOutHostPort(), 25u);
    EXPECT_EQ(config::readSetting(config::kRASRetryLimit), 7u);
    EXPECT_EQ(config::readSetting(config::kCheckFreqRASRetry), 12u * 60000u);
    EXPECT_EQ(config::readSetting(config::kRASAllowEstab), 0u);
    EXPECT_EQ(config::readSetting(config::kRASFailRetry), 1u);
    // Pages never shown write nothing.
    EXPECT_FALSE(stored("CheckFreqHI"));
    EXPECT_FALSE(stored("NotifyDisDialog"));
}

TEST_F(OptionsTest, NoDialUpIsStoredEmptyAndDisablesTheOfflineGroupNextTime) {
    config::writeSetting(config::kRasEntry, "Work VPN");
    config::writeSetting(config::kOutHostName, "smtp.provider.net");
    then([&](QDialog& d) {
        auto* entry = in<QComboBox>(d, "dialUpEntry");
        EXPECT_EQ(entry->count(), 3);
        EXPECT_EQ(entry->itemText(0), "(no dial-up networking)");
        EXPECT_EQ(entry->currentText(), "Work VPN");
        tabsOf(d)->setCurrentIndex(1);
        EXPECT_TRUE(in<QLineEdit>(d, "offlinePeriod")->isEnabled());
        tabsOf(d)->setCurrentIndex(0);
        entry->setCurrentIndex(0);
        // The Scheduling page follows the choice at once, before anything is stored.
        tabsOf(d)->setCurrentIndex(1);
        EXPECT_FALSE(in<QLineEdit>(d, "offlinePeriod")->isEnabled());
        press(d, "ok");
        return d.result();
    });
    EXPECT_EQ(run(), 1);
    EXPECT_TRUE(stored("rasentry"));
    EXPECT_EQ(config::readSetting(config::kRasEntry), "");

    then([&](QDialog& d) {
        EXPECT_EQ(in<QComboBox>(d, "dialUpEntry")->currentIndex(), 0);
        tabsOf(d)->setCurrentIndex(1);
        QWidget* scheduling = page(d, "schedulingPage");
        for (const char* name : {"offlineGroup", "offlinePeriod"})
            EXPECT_FALSE(in<QWidget>(*scheduling, name)->isEnabled()) << name;
        EXPECT_TRUE(in<QLineEdit>(d, "onlinePeriod")->isEnabled());
        // A longer online period raises the offline one the user cannot reach.
        type(d, "onlinePeriod", "90");
        press(d, "ok");
        return d.result();
    });
    EXPECT_EQ(run(), 1);
    EXPECT_TRUE(takeBoxes().empty());
    EXPECT_EQ(config::readSetting(config::kCheckFreqHI), 90u * 60000u);
    EXPECT_EQ(config::readSetting(config::kCheckFreqLO), 90u * 60000u);
}

TEST_F(OptionsTest, AnOfflinePeriodBelowTheOnlineOneIsRefusedOneByOneIsNot) {
    config::writeSetting(config::kRasEntry, "MyISP");
    config::writeSetting(config::kOutHostName, "smtp.provider.net");
    then([&](QDialog& d) {
        tabsOf(d)->setCurrentIndex(1);
        EXPECT_EQ(in<QLineEdit>(d, "onlinePeriod")->text(), "1");  // 60000 ms
        EXPECT_EQ(in<QLineEdit>(d, "offlinePeriod")->text(), "60");  // 3600000 ms
        // Whole minutes with arrows, within what a timer can count.
        auto* online = in<QSpinBox>(d, "onlinePeriod");
        EXPECT_EQ(online->minimum(), 1);
        EXPECT_EQ(online->maximum(), 35791);
        online->stepUp();
        EXPECT_EQ(in<QLineEdit>(d, "onlinePeriod")->text(), "2");
        online->stepDown();
        online->stepDown();
        EXPECT_EQ(in<QLineEdit>(d, "onlinePeriod")->text(), "1");
        type(d, "onlinePeriod", "10");
        type(d, "offlinePeriod", "5");
        press(d, "ok");
        EXPECT_EQ(takeBoxes(), std::vector<std::string>{kPeriods});
        EXPECT_EQ(tabsOf(d)->currentIndex(), 1);
        type(d, "onlinePeriod", "0");
        type(d, "offlinePeriod", "0");
        press(d, "ok");
        EXPECT_EQ(takeBoxes(), std::vector<std::string>{kPeriods});
        type(d, "onlinePeriod", "1");
        type(d, "offlinePeriod", "40000");
        press(d, "ok");
        EXPECT_EQ(takeBoxes(), std::vector<std::string>{"Maximum value is 35791 minutes."});
        EXPECT_EQ(d.result(), 0);
        type(d, "offlinePeriod", "1");
        in<QCheckBox>(d, "deliverImmediately")->setChecked(false);
        press(d, "ok");
        return d.result();
    });
    EXPECT_EQ(run(), 1);
    EXPECT_TRUE(takeBoxes().empty());
    EXPECT_EQ(config::readSetting(config::kCheckFreqHI), 60000u);
    EXPECT_EQ(config::readSetting(config::kCheckFreqLO), 60000u);
    EXPECT_EQ(config::readSetting(config::kSMTPDeliverImm), 0u);
}

TEST_F(OptionsTest, ResumeIsPostedOnceAndOnlyWhenAPeriodChangedWhileResumed) {
    config::writeSetting(config::kRasEntry, "MyISP");
    config::writeSetting(config::kOutHostName, "smtp.provider.net");
    config::writeSetting(config::kCheckFreqHI, 90000);  // shown as 1 minute, not rewritten
    auto periods = [&](const char* online, const char* offline) {
        then([=](QDialog& d) {
            tabsOf(d)->setCurrentIndex(1);
            type(d, "onlinePeriod", online);
            type(d, "offlinePeriod", offline);
            press(d, "ok");
            return d.result();
        });
        EXPECT_EQ(run(), 1);
    };
    schedule.active = 1;
    periods("1", "60");  // unchanged
    EXPECT_EQ(resumes, 0);
    EXPECT_EQ(config::readSetting(config::kCheckFreqHI), 90000u);
    periods("2", "30");  // both changed: one Resume
    EXPECT_EQ(resumes, 1);
    EXPECT_EQ(config::readSetting(config::kCheckFreqHI), 120000u);
    EXPECT_EQ(config::readSetting(config::kCheckFreqLO), 1800000u);
    resumes = 0;
    schedule.active = 0;
    periods("3", "30");  // suspended: the next resume uses the new period anyway
    EXPECT_EQ(resumes, 0);
    // The Scheduling page never shown: no Resume either.
    schedule.active = 1;
    then(connectionThenOk);
    EXPECT_EQ(run(), 1);
    EXPECT_EQ(resumes, 0);
}

TEST_F(OptionsTest, NotificationsBrowseTestAndStoreTheirFiles) {
    config::writeSetting(config::kOutHostName, "smtp.provider.net");
    std::string marker = testsupport::worldDir() + "/ran";
    std::string script = testsupport::worldDir() + "/notify me.sh";
    testsupport::writeFile(script, "#!/bin/sh\necho \"$1\" > '" + marker + "'\n");
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    browsed = {"/sounds/bell.wav", script};
    then([&](QDialog& d) {
        tabsOf(d)->setCurrentIndex(2);
        EXPECT_EQ(in<QLineEdit>(d, "alarmSound")->text(), "alarm.wav");
        EXPECT_EQ(in<QLineEdit>(d, "announcementSound")->text(), "newmail.wav");
        EXPECT_FALSE(in<QCheckBox>(d, "runProgram")->isChecked());
        EXPECT_FALSE(in<QPushButton>(d, "testAlarm")->icon().isNull());
        press(d, "browseAlarm");
        press(d, "browseProgram");
        press(d, "browseAnnouncement");  // cancelled: the edit keeps its text
        EXPECT_EQ(browseFilters, (std::vector<int>{1, 2, 1}));
        EXPECT_EQ(in<QLineEdit>(d, "alarmSound")->text(), "/sounds/bell.wav");
        EXPECT_EQ(in<QLineEdit>(d, "announcementSound")->text(), "newmail.wav");
        // A path with a blank becomes one word of the command line.
        EXPECT_EQ(in<QLineEdit>(d, "programCommand")->text().toStdString(), "'" + script + "'");
        type(d, "programCommand", in<QLineEdit>(d, "programCommand")->text() + " hello");
        press(d, "testAlarm");
        press(d, "testAnnouncement");
        press(d, "testProgram");
        in<QCheckBox>(d, "runProgram")->setChecked(true);
        in<QCheckBox>(d, "pingEachItem")->setChecked(false);
        press(d, "ok");
        return d.result();
    });
    EXPECT_EQ(run(), 1);
    EXPECT_EQ(sounds, (std::vector<std::pair<std::string, bool>>{{"/sounds/bell.wav", true}, {"newmail.wav", true}}));
    QElapsedTimer t;
    t.start();
    while (!std::filesystem::exists(marker) && t.elapsed() < 5000) QThread::msleep(20);
    EXPECT_EQ(testsupport::readFile(marker), "hello\n");
    EXPECT_EQ(config::readSetting(config::kNotifyRun), 1u);
    EXPECT_EQ(config::readSetting(config::kNotifyArrive), 0u);
    EXPECT_EQ(config::readSetting(config::kNotifAlarmWave), "/sounds/bell.wav");
    EXPECT_EQ(config::readSetting(config::kNotifRunFile), "'" + script + "' hello");
}

// Nothing about security touched: OK stores what it stored before the fields existed, and a
// stored value the list does not know survives being shown.
TEST_F(OptionsTest, UntouchedSecurityFieldsStoreNothingNew) {
    then([&](QDialog& d) {
        EXPECT_EQ(in<QLineEdit>(d, "smtpPort")->text(), "25");
        EXPECT_EQ(in<QComboBox>(d, "smtpSecurity")->currentText(), "None");
        EXPECT_EQ(in<QComboBox>(d, "smtpSecurity")->count(), 3);
        for (const char* id : {"smtpUser", "smtpPassword", "caFile"}) EXPECT_EQ(in<QLineEdit>(d, id)->text(), "") << id;
        EXPECT_EQ(in<QLineEdit>(d, "smtpPassword")->echoMode(), QLineEdit::Password);
        return connectionThenOk(d);
    });
    EXPECT_EQ(run(), 1);
    EXPECT_EQ(config::readOutHostPort(), 25u);
    for (const char* v : {"outhostsecurity", "outhostuser", "outhostpass", "cafile"}) EXPECT_FALSE(stored(v)) << v;

    std::string ca = testsupport::worldDir() + "/ca.pem";
    testsupport::writeFile(ca, "-----BEGIN CERTIFICATE-----\n");
    config::writeOutHostPort(2525);
    config::writeSetting(config::kOutHostSecurity, 7);  // read as TLS by the engine
    config::writeSetting(config::kOutHostUser, "jo");
    config::writeSetting(config::kOutHostPass, "pw");
    config::writeSetting(config::kCaFile, ca);
    then([&](QDialog& d) {
        EXPECT_EQ(in<QLineEdit>(d, "smtpPort")->text(), "2525");  // not the proposal of the security shown
        EXPECT_EQ(in<QComboBox>(d, "smtpSecurity")->currentText(), "TLS");
        EXPECT_EQ(in<QLineEdit>(d, "smtpUser")->text(), "jo");
        EXPECT_EQ(in<QLineEdit>(d, "smtpPassword")->text(), "pw");
        EXPECT_EQ(in<QLineEdit>(d, "caFile")->text().toStdString(), ca);
        return connectionThenOk(d);
    });
    EXPECT_EQ(run(), 1);
    EXPECT_EQ(config::readOutHostPort(), 2525u);
    EXPECT_EQ(config::readSetting(config::kOutHostSecurity), 7u);
}

TEST_F(OptionsTest, ASecurityProposesItsSmtpPortUnlessTheUserTypedOne) {
    then([&](QDialog& d) {
        auto* security = in<QComboBox>(d, "smtpSecurity");
        auto* port = in<QLineEdit>(d, "smtpPort");
        auto* spin = d.findChild<QSpinBox*>(QStringLiteral("smtpPort"));
        EXPECT_TRUE(spin && spin->minimum() == 1 && spin->maximum() == 65535);
        for (auto [index, expected] : {std::pair{1, "587"}, {2, "465"}, {0, "25"}, {2, "465"}}) {
            security->setCurrentIndex(index);
            EXPECT_EQ(port->text(), expected) << index;
        }
        type(d, "smtpPort", "2465");
        security->setCurrentIndex(1);
        EXPECT_EQ(port->text(), "2465");
        type(d, "smtpPort", "");  // nothing typed: the proposal fills it
        security->setCurrentIndex(0);
        EXPECT_EQ(port->text(), "25");
        type(d, "smtpPort", "25");  // typed, but what None proposes anyway: replaced
        security->setCurrentIndex(1);
        EXPECT_EQ(port->text(), "587");
        return connectionThenOk(d);
    });
    EXPECT_EQ(run(), 1);
    EXPECT_EQ(config::readOutHostPort(), 587u);
    EXPECT_EQ(config::readSetting(config::kOutHostSecurity), 1u);
}

TEST_F(OptionsTest, ABadPortOrCaFileIsRefusedWithItsMessageAndThePageStays) {
    std::string ca = testsupport::worldDir() + "/private-ca.pem";
    testsupport::writeFile(ca, "x");
    then([&](QDialog& d) {
        type(d, "smtpServer", "smtp.provider.net");
        for (const char* port : {"0", "65536", "", "99999"}) {
            type(d, "smtpPort", port);
            press(d, "ok");
            EXPECT_EQ(takeBoxes(), std::vector<std::string>{kPort}) << port;
            tabsOf(d)->setCurrentIndex(1);
            EXPECT_EQ(takeBoxes(), std::vector<std::string>{kPort}) << port;
            EXPECT_EQ(tabsOf(d)->currentIndex(), 0);
        }
        type(d, "smtpPort", "65535");
        type(d, "caFile", QString::fromStdString(ca) + ".missing");
        press(d, "ok");
        EXPECT_EQ(takeBoxes(), std::vector<std::string>{"The CA file cannot be read: " + ca + ".missing"});
        type(d, "caFile", QString::fromStdString(ca));
        // A user name the settings could not read back.
        type(d, "smtpUser", QString(130, QChar(0x00e9)));
        press(d, "ok");
        EXPECT_EQ(takeBoxes(), std::vector<std::string>{"The user name is too long: at most 259 bytes can be stored."});
        EXPECT_EQ(d.result(), 0);
        EXPECT_FALSE(stored("outhostname"));
        type(d, "smtpUser", QString(129, QChar(0x00e9)));
        press(d, "ok");
        return d.result();
    });
    EXPECT_EQ(run(), 1);
    EXPECT_TRUE(takeBoxes().empty());
    EXPECT_EQ(config::readOutHostPort(), 65535u);
    EXPECT_EQ(config::readSetting(config::kOutHostUser), QString(129, QChar(0x00e9)).toStdString());
    EXPECT_EQ(config::readSetting(config::kCaFile), ca);
}

TEST_F(OptionsTest, LogInAndCaFileAreStoredAndShownAgain) {
    std::string ca = testsupport::worldDir() + "/my ca.pem";
    testsupport::writeFile(ca, "x");
    browsed = {ca};
    then([&](QDialog& d) {
        type(d, "smtpServer", "smtp.provider.net");
        in<QComboBox>(d, "smtpSecurity")->setCurrentIndex(1);
        type(d, "smtpUser", "jo@provider.net");
        type(d, "smtpPassword", "pass word \xc3\xa4");
        press(d, "browseCaFile");
        EXPECT_EQ(browseFilters, std::vector<int>{4});
        EXPECT_EQ(in<QLineEdit>(d, "caFile")->text().toStdString(), ca);  // a path, not a command line
        // Away and back: the page shows what was typed, not what is stored.
        tabsOf(d)->setCurrentIndex(2);
        tabsOf(d)->setCurrentIndex(0);
        EXPECT_EQ(in<QLineEdit>(d, "smtpPort")->text(), "587");
        press(d, "ok");
        return d.result();
    });
    EXPECT_EQ(run(), 1);
    EXPECT_EQ(config::readSetting(config::kOutHostSecurity), 1u);
    EXPECT_EQ(config::readSetting(config::kOutHostUser), "jo@provider.net");
    EXPECT_EQ(config::readSetting(config::kOutHostPass), "pass word \xc3\xa4");
    EXPECT_EQ(config::readSetting(config::kCaFile), ca);

    // Shown again; emptied fields are stored empty, not left as they were.
    then([&](QDialog& d) {
        EXPECT_EQ(in<QComboBox>(d, "smtpSecurity")->currentText(), "STARTTLS");
        EXPECT_EQ(in<QLineEdit>(d, "smtpPort")->text(), "587");
        EXPECT_EQ(in<QLineEdit>(d, "smtpPassword")->text(), QString::fromUtf8("pass word \xc3\xa4"));
        in<QComboBox>(d, "smtpSecurity")->setCurrentIndex(0);
        for (const char* id : {"smtpUser", "smtpPassword", "caFile"}) type(d, id, "");
        press(d, "ok");
        return d.result();
    });
    EXPECT_EQ(run(), 1);
    EXPECT_EQ(config::readOutHostPort(), 25u);
    EXPECT_EQ(config::readSetting(config::kOutHostSecurity), 0u);
    for (const char* v : {"outhostuser", "outhostpass", "cafile"}) EXPECT_TRUE(stored(v)) << v;
    EXPECT_EQ(config::readSetting(config::kOutHostUser), "");
    EXPECT_EQ(config::readSetting(config::kCaFile), "");
}

TEST_F(OptionsTest, CancelDiscardsEveryPage) {
    config::writeSetting(config::kOutHostName, "smtp.provider.net");
    then([&](QDialog& d) {
        type(d, "smtpServer", "other.host");
        tabsOf(d)->setCurrentIndex(2);
        in<QCheckBox>(d, "showNewMailDialog")->setChecked(false);
        press(d, "cancel");
        return d.result();
    });
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(config::readSetting(config::kOutHostName), "smtp.provider.net");
    EXPECT_FALSE(stored("outhostport"));
    EXPECT_FALSE(stored("NotifyDisDialog"));
}

// Every page's fields are reached by Tab from top to bottom (left to right within a row).
void expectTopToBottom(QWidget* page) {
    QRect last;
    QString lastName;
    int fields = 0;
    for (QWidget* w = page->nextInFocusChain(); w != page; w = w->nextInFocusChain()) {
        if (!page->isAncestorOf(w) || !(w->focusPolicy() & Qt::TabFocus) || !w->isVisibleTo(page)) continue;
        QRect r(w->mapTo(page, QPoint(0, 0)), w->size());
        if (fields++ > 0) {
            bool sameRow = std::abs(r.center().y() - last.center().y()) < std::max(r.height(), last.height()) / 2;
            EXPECT_TRUE(sameRow ? r.left() > last.left() : r.center().y() > last.center().y())
                << page->objectName().toStdString() << ": " << w->objectName().toStdString() << " after "
                << lastName.toStdString();
        }
        last = r;
        lastName = w->objectName();
    }
    EXPECT_GT(fields, 2) << page->objectName().toStdString();
}

TEST_F(OptionsTest, TheSheetOpensOnItsFirstFieldAndTabRunsTopToBottom) {
    then([&](QDialog& d) {
        EXPECT_EQ(d.focusWidget(), in<QComboBox>(d, "dialUpEntry"));
        type(d, "smtpServer", "smtp.provider.net");
        d.show();
        d.activateWindow();
        QApplication::processEvents();
        EXPECT_EQ(d.focusWidget(), in<QComboBox>(d, "dialUpEntry"));  // still, once shown
        for (int i = 0; i < tabsOf(d)->count(); ++i) {
            tabsOf(d)->setCurrentIndex(i);
            QApplication::processEvents();
            expectTopToBottom(tabsOf(d)->widget(i));
        }
        d.hide();
        return 0;
    });
    run();
}

// NetworkManager lists no connection: the group is disabled, no dial-up is stored (the engine
// needs the value) and the retry values the user cannot reach are neither checked nor written.
TEST_F(OptionsTest, WithoutNetworkManagerConnectionsTheDialUpGroupIsDisabled) {
    testsupport::writeFile(scenario + "/entries", "");
    config::writeSetting(config::kRasEntry, "Gone VPN");
    config::writeSetting(config::kRASRetryLimit, 0);
    then([&](QDialog& d) {
        EXPECT_FALSE(in<QWidget>(d, "dialUpGroup")->isEnabled());
        EXPECT_EQ(d.focusWidget(), in<QLineEdit>(d, "smtpServer"));
        type(d, "smtpServer", "smtp.provider.net");
        press(d, "ok");
        return d.result();
    });
    EXPECT_EQ(run(), 1);
    EXPECT_TRUE(takeBoxes().empty());
    EXPECT_TRUE(stored("rasentry"));
    EXPECT_EQ(config::readSetting(config::kRasEntry), "");
    EXPECT_EQ(config::readSetting(config::kRASRetryLimit), 0u);
    EXPECT_FALSE(stored("RASAllowEstab"));
    EXPECT_EQ(config::readSetting(config::kOutHostName), "smtp.provider.net");
}

TEST_F(OptionsTest, DesktopNotificationsAreOnUntilUnticked) {
    config::writeSetting(config::kOutHostName, "smtp.provider.net");
    auto untick = [&](bool expectedBefore) {
        then([=](QDialog& d) {
            tabsOf(d)->setCurrentIndex(2);
            auto* box = in<QCheckBox>(d, "desktopNotifications");
            EXPECT_EQ(box->isChecked(), expectedBefore);
            EXPECT_EQ(box->text(), "&Show desktop notifications");
            box->setChecked(false);
            press(d, "ok");
            return d.result();
        });
        EXPECT_EQ(run(), 1);
    };
    EXPECT_FALSE(stored("NotifyDesktop"));
    untick(true);
    EXPECT_TRUE(stored("NotifyDesktop"));
    EXPECT_EQ(config::readSetting(config::kNotifyDesktop), 0u);
    untick(false);
}

// A hive that cannot be written: OK says so and the sheet stays, instead of closing as if stored.
TEST_F(OptionsTest, SettingsThatCannotBeStoredAreReported) {
    then([&](QDialog& d) {
        type(d, "smtpServer", "smtp.provider.net");
        testsupport::writeFile(plat::userHivePath(), "not a hive\n");
        press(d, "ok");
        EXPECT_EQ(d.result(), 0);
        EXPECT_EQ(takeBoxes(),
                  std::vector<std::string>{"The settings could not be stored (refer to log file for further info)."});
        press(d, "cancel");
        return d.result();
    });
    EXPECT_EQ(run(), 0);
}

// With TARNWICK_SCREENS_DIR set, the Connection page with a secured, logged-in server.
TEST_F(OptionsTest, TheConnectionPageIsRenderedForReviewWhenAsked) {
    if (!screensDir()) GTEST_SKIP() << "TARNWICK_SCREENS_DIR not set";
    then([&](QDialog& d) {
        type(d, "smtpServer", "smtp.provider.net");
        in<QComboBox>(d, "smtpSecurity")->setCurrentIndex(1);
        type(d, "smtpUser", "jo@provider.net");
        type(d, "smtpPassword", "secret");
        type(d, "caFile", "/home/jo/.config/tarnwick/private-ca.pem");
        saveScreen(d, "options-connection-starttls.png");
        d.hide();
        return 0;
    });
    run();
}

}  // namespace

namespace {

// Where the window system places the windows, the set-up help goes into the sheet itself.
TEST_F(OptionsTest, AHelpPageGivenShowsInsideTheSheetBesideItsPages) {
    QUrl page = QUrl::fromLocalFile(QString::fromStdString(testsupport::worldDir() + "/help.html"));
    testsupport::writeFile(testsupport::worldDir() + "/help.html", "<h2 id=\"setup\">Setting up</h2>");
    page.setFragment(QStringLiteral("setup"));
    std::unique_ptr<PropSheet> sheet(newOptionsSheet(nullptr, {}, &schedule, nullptr, page));
    auto* help = sheet->findChild<QTextBrowser*>(QStringLiteral("helpPanel"));
    ASSERT_NE(help, nullptr);
    EXPECT_EQ(help->source(), page);
    EXPECT_TRUE(help->toPlainText().contains(QStringLiteral("Setting up")));
    std::unique_ptr<PropSheet> plain(newOptionsSheet(nullptr, {}, &schedule));
    EXPECT_EQ(plain->findChild<QTextBrowser*>(QStringLiteral("helpPanel")), nullptr);
}

}  // namespace

namespace {

// The set-up help inside the sheet wraps its text, its table too, to the panel's width: no
// horizontal scroll bar.
TEST_F(OptionsTest, TheHelpPanelWrapsToItsWidth) {
    QUrl page = QUrl::fromLocalFile(QStringLiteral(HELP_PAGES_DIR "/index.html"));
    page.setFragment(QStringLiteral("setup"));
    std::unique_ptr<PropSheet> sheet(newOptionsSheet(nullptr, {}, &schedule, nullptr, page));
    auto* help = sheet->findChild<QTextBrowser*>(QStringLiteral("helpPanel"));
    ASSERT_NE(help, nullptr);
    ASSERT_TRUE(help->toPlainText().contains(QStringLiteral("127.0.0.1")));
    sheet->adjustSize();  // as it opens
    sheet->show();
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
    EXPECT_EQ(help->horizontalScrollBar()->maximum(), 0);
    EXPECT_FALSE(help->horizontalScrollBar()->isVisible());
    if (screensDir()) {
        EXPECT_TRUE(sheet->grab().save(QString::fromLatin1(screensDir()) + "/options-help-panel.png"));
    }
    sheet->hide();
}

}  // namespace
