#include "frontend/options/notifications_page.h"

#include "frontend/mail_client.h"
#include "frontend/options/browse.h"
#include "frontend/options/controls.h"
#include "frontend/options/play_icon.h"
#include "frontend/sound.h"
#include "shared/registry.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

struct Row {
    int check;
    const char* text;
    int edit;
    int browse;
    int test;
};
// Alarm, announcement, program: check box, its file edit, Browse, and the test button.
constexpr Row kRows[] = {
    {643, QT_TRANSLATE_NOOP("NotificationsPage", "&Alarm while new mail"), 1020, 1019, 1035},
    {644, QT_TRANSLATE_NOOP("NotificationsPage", "A&nnouncement"), 1022, 1028, 1036},
    {645, QT_TRANSLATE_NOOP("NotificationsPage", "&Run program"), 1032, 1029, 1037},
};

}  // namespace

NotificationsPage::NotificationsPage() : PropPage(640, tr("Notifications")) {
    showDialog_ = config::readSetting(config::kNotifyDisDialog) != 0;
    pingEach_ = config::readSetting(config::kNotifyArrive) != 0;
    alarm_ = config::readSetting(config::kNotifyAlarm) != 0;
    announce_ = config::readSetting(config::kNotifyVoice) != 0;
    run_ = config::readSetting(config::kNotifyRun) != 0;
    alarmWave_ = config::readSetting(config::kNotifAlarmWave);
    announceWave_ = config::readSetting(config::kNotifAnnounceWave);
    runFile_ = config::readSetting(config::kNotifRunFile);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(numberedCheck(this, 641, tr("&Display new mail alert dialog")));
    layout->addWidget(numberedCheck(this, 642, tr("&Ping as each item arrives")));
    auto* grid = new QGridLayout;
    int line = 0;
    for (const Row& r : kRows) {
        auto* check = numberedCheck(this, r.check, tr(r.text));
        auto* edit = numberedEdit(this, r.edit);
        check->setAccessibleName(check->text().remove(QLatin1Char('&')));
        edit->setAccessibleName(check->accessibleName());
        auto* browse = numberedButton(this, r.browse, tr("Browse..."));
        auto* test = numberedButton(this, r.test, r.test == 1037 ? tr("Test") : QString());
        if (r.test != 1037) {
            test->setIcon(playIcon());
            test->setToolTip(tr("Play"));
            test->setAccessibleName(tr("Play"));
        }
        grid->addWidget(check, line, 0, 1, 3);
        grid->addWidget(edit, line + 1, 0);
        grid->addWidget(browse, line + 1, 1);
        grid->addWidget(test, line + 1, 2);
        connect(browse, &QPushButton::clicked, this, [this, id = r.browse] { command(id); });
        connect(test, &QPushButton::clicked, this, [this, id = r.test] { command(id); });
        line += 2;
    }
    grid->setColumnStretch(0, 1);
    grid->setColumnMinimumWidth(0, 260);
    layout->addLayout(grid);
    layout->addStretch(1);
}

void NotificationsPage::activate() {
    control<QCheckBox>(this, 641)->setChecked(showDialog_);
    control<QCheckBox>(this, 642)->setChecked(pingEach_);
    control<QCheckBox>(this, 643)->setChecked(alarm_);
    control<QCheckBox>(this, 644)->setChecked(announce_);
    control<QCheckBox>(this, 645)->setChecked(run_);
    setText(control<QLineEdit>(this, 1020), alarmWave_);
    setText(control<QLineEdit>(this, 1022), announceWave_);
    setText(control<QLineEdit>(this, 1032), runFile_);
}

int NotificationsPage::validate() {
    showDialog_ = control<QCheckBox>(this, 641)->isChecked();
    pingEach_ = control<QCheckBox>(this, 642)->isChecked();
    alarm_ = control<QCheckBox>(this, 643)->isChecked();
    announce_ = control<QCheckBox>(this, 644)->isChecked();
    run_ = control<QCheckBox>(this, 645)->isChecked();
    alarmWave_ = text(control<QLineEdit>(this, 1020));
    announceWave_ = text(control<QLineEdit>(this, 1022));
    runFile_ = text(control<QLineEdit>(this, 1032));
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

void NotificationsPage::command(int controlId) {
    switch (controlId) {
    case 1019: browseInto(1020, kFilterSound); break;
    case 1028: browseInto(1022, kFilterSound); break;
    case 1029: browseInto(1032, kFilterProgram); break;
    case 1035: playSoundFile(text(control<QLineEdit>(this, 1020)), true); break;
    case 1036: playSoundFile(text(control<QLineEdit>(this, 1022)), true); break;
    case 1037: launchCommandLine(text(control<QLineEdit>(this, 1032))); break;
    default: break;
    }
}

void NotificationsPage::browseInto(int editId, int filterIndex) {
    std::string path = browseForFile(this, filterIndex);
    if (path.empty()) return;
    // The program edit holds a command line; a sound edit holds a file name.
    setText(control<QLineEdit>(this, editId), editId == 1032 ? commandLineForPath(path) : path);
}
