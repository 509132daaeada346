#include "frontend/settings/notifications_page.h"

#include "frontend/desktop/mail_client.h"
#include "frontend/dialogs/browse.h"
#include "frontend/dialogs/controls.h"
#include "frontend/icons/play_icon.h"
#include "frontend/sound/sound.h"
#include "shared/registry.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

NotificationsPage::NotificationsPage() : PropPage("notificationsPage", tr("Notifications")) {
    showDialog_ = config::readSetting(config::kNotifyDisDialog) != 0;
    pingEach_ = config::readSetting(config::kNotifyArrive) != 0;
    alarm_ = config::readSetting(config::kNotifyAlarm) != 0;
    announce_ = config::readSetting(config::kNotifyVoice) != 0;
    run_ = config::readSetting(config::kNotifyRun) != 0;
    alarmWave_ = config::readSetting(config::kNotifAlarmWave);
    announceWave_ = config::readSetting(config::kNotifAnnounceWave);
    runFile_ = config::readSetting(config::kNotifRunFile);

    showNewMailDialog_ = checkBox(this, "showNewMailDialog", tr("&Display new mail alert dialog"));
    pingEachItem_ = checkBox(this, "pingEachItem", tr("&Ping as each item arrives"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(showNewMailDialog_);
    layout->addWidget(pingEachItem_);
    auto* grid = new QGridLayout;
    // A check box over its file, with Browse and a test button beside the file (made in this
    // order, which is the order of the Tab key).
    struct Row {
        const char* check;
        QString text;
        const char* edit;
        const char* browse;
        const char* test;
        void (NotificationsPage::*runTest)();
        bool sound;
    };
    auto addRow = [&](int line, const Row& r, QCheckBox*& check, QLineEdit*& edit) {
        check = checkBox(this, r.check, r.text);
        edit = textEdit(this, r.edit);
        check->setAccessibleName(check->text().remove(QLatin1Char('&')));
        edit->setAccessibleName(check->accessibleName());
        auto* browse = pushButton(this, r.browse, tr("Browse..."));
        auto* test = pushButton(this, r.test, r.sound ? QString() : tr("Test"));
        if (r.sound) {
            test->setIcon(playIcon());
            test->setToolTip(tr("Play"));
            test->setAccessibleName(tr("Play"));
        }
        grid->addWidget(check, line, 0, 1, 3);
        grid->addWidget(edit, line + 1, 0);
        grid->addWidget(browse, line + 1, 1);
        grid->addWidget(test, line + 1, 2);
        int filter = r.sound ? kFilterSound : kFilterProgram;
        connect(browse, &QPushButton::clicked, this, [this, edit, filter] { browseInto(edit, filter); });
        connect(test, &QPushButton::clicked, this, r.runTest);
    };
    addRow(0, {"playAlarm", tr("&Alarm while new mail"), "alarmSound", "browseAlarm", "testAlarm",
               &NotificationsPage::testAlarm, true},
           playAlarm_, alarmSound_);
    addRow(2, {"playAnnouncement", tr("A&nnouncement"), "announcementSound", "browseAnnouncement",
               "testAnnouncement", &NotificationsPage::testAnnouncement, true},
           playAnnouncement_, announcementSound_);
    addRow(4, {"runProgram", tr("&Run program"), "programCommand", "browseProgram", "testProgram",
               &NotificationsPage::testProgram, false},
           runProgram_, programCommand_);
    grid->setColumnStretch(0, 1);
    grid->setColumnMinimumWidth(0, 260);
    layout->addLayout(grid);
    layout->addStretch(1);
}

void NotificationsPage::activate() {
    showNewMailDialog_->setChecked(showDialog_);
    pingEachItem_->setChecked(pingEach_);
    playAlarm_->setChecked(alarm_);
    playAnnouncement_->setChecked(announce_);
    runProgram_->setChecked(run_);
    setText(alarmSound_, alarmWave_);
    setText(announcementSound_, announceWave_);
    setText(programCommand_, runFile_);
}

int NotificationsPage::validate() {
    showDialog_ = showNewMailDialog_->isChecked();
    pingEach_ = pingEachItem_->isChecked();
    alarm_ = playAlarm_->isChecked();
    announce_ = playAnnouncement_->isChecked();
    run_ = runProgram_->isChecked();
    alarmWave_ = text(alarmSound_);
    announceWave_ = text(announcementSound_);
    runFile_ = text(programCommand_);
    return 1;
}
int NotificationsPage::apply() {
    auto flag = [](bool b) { return b ? 1u : 0u; };
    config::writeSetting(config::kNotifyDisDialog, flag(showDialog_));
    config::writeSetting(config::kNotifyArrive, flag(pingEach_));
    config::writeSetting(config::kNotifyAlarm, flag(alarm_));
    config::writeSetting(config::kNotifyVoice, flag(announce_));
    config::writeSetting(config::kNotifyRun, flag(run_));
    config::writeSetting(config::kNotifAlarmWave, alarmWave_);
    config::writeSetting(config::kNotifAnnounceWave, announceWave_);
    config::writeSetting(config::kNotifRunFile, runFile_);
    return 1;
}

void NotificationsPage::testAlarm() {
    playSoundFile(text(alarmSound_), true);
}

void NotificationsPage::testAnnouncement() {
    playSoundFile(text(announcementSound_), true);
}

void NotificationsPage::testProgram() {
    launchCommandLine(text(programCommand_));
}

void NotificationsPage::browseInto(QLineEdit* edit, int filterIndex) {
    std::string path = browseForFile(this, filterIndex);
    if (path.empty()) return;
    // The program edit holds a command line; a sound edit holds a file name.
    setText(edit, edit == programCommand_ ? commandLineForPath(path) : path);
}
