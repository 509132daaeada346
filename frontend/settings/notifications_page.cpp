#include "frontend/settings/options_pages.h"

#include "frontend/desktop/mail_client.h"
#include "frontend/dialogs/browse.h"
#include "frontend/dialogs/controls.h"
#include "frontend/icons/icons.h"
#include "frontend/settings/prop_sheet.h"
#include "frontend/settings/settings_model.h"
#include "frontend/sound/sound_player.h"
#include "config/settings.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

class NotificationsPage : public PropPage {
    Q_OBJECT

public:
    explicit NotificationsPage(SettingsModel& model);

    void load() override {
        for (auto [box, setting] : switches()) box->setChecked(model_.flag(*setting));
        for (auto [edit, setting] : files()) setText(edit, model_.text(*setting));
    }

    bool save() override {
        for (auto [box, setting] : switches()) model_.setFlag(*setting, box->isChecked());
        for (auto [edit, setting] : files()) model_.setText(*setting, text(edit));
        return true;
    }

private:
    // The check boxes and file edits with the values they show.
    std::vector<std::pair<QCheckBox*, const config::DwordSetting*>> switches() const {
        return {{showNewMailDialog_, &config::kNotifyDisDialog},  {pingEachItem_, &config::kNotifyArrive},
                {desktopNotifications_, &config::kNotifyDesktop}, {playAlarm_, &config::kNotifyAlarm},
                {playAnnouncement_, &config::kNotifyVoice},       {runProgram_, &config::kNotifyRun}};
    }
    std::vector<std::pair<QLineEdit*, const config::StringSetting*>> files() const {
        return {{alarmSound_, &config::kNotifAlarmWave},
                {announcementSound_, &config::kNotifAnnounceWave},
                {programCommand_, &config::kNotifRunFile}};
    }

    QCheckBox* showNewMailDialog_;
    QCheckBox* pingEachItem_;
    QCheckBox* desktopNotifications_;
    QCheckBox* playAlarm_;
    QCheckBox* playAnnouncement_;
    QCheckBox* runProgram_;
    QLineEdit* alarmSound_;
    QLineEdit* announcementSound_;
    QLineEdit* programCommand_;
};

NotificationsPage::NotificationsPage(SettingsModel& model) : PropPage("notificationsPage", tr("Notifications"), model) {
    showNewMailDialog_ = checkBox(this, "showNewMailDialog", tr("&Display new mail alert dialog"));
    pingEachItem_ = checkBox(this, "pingEachItem", tr("&Ping as each item arrives"));
    desktopNotifications_ = checkBox(this, "desktopNotifications", tr("&Show desktop notifications"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(showNewMailDialog_);
    layout->addWidget(pingEachItem_);
    layout->addWidget(desktopNotifications_);
    auto* grid = new QGridLayout;
    // A check box over its file, with Browse and a test button beside the file (made in this
    // order, which is the order of the Tab key).
    struct Row {
        const char* check;
        QString text;
        const char* edit;
        const char* browse;
        const char* test;
        bool sound;  // a sound file, or else a program's command line
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
        connect(browse, &QPushButton::clicked, this, [this, edit, sound = r.sound] {
            std::string path = browseForFile(this, sound ? FileKind::Sound : FileKind::Program);
            if (!path.empty()) setText(edit, sound ? path : commandLineForPath(path));
        });
        connect(test, &QPushButton::clicked, this, [edit, sound = r.sound] {
            if (sound) playSoundFile(text(edit), true);
            else launchCommandLine(text(edit));
        });
    };
    addRow(0, {"playAlarm", tr("&Alarm while new mail"), "alarmSound", "browseAlarm", "testAlarm", true}, playAlarm_,
           alarmSound_);
    addRow(
        2,
        {"playAnnouncement", tr("A&nnouncement"), "announcementSound", "browseAnnouncement", "testAnnouncement", true},
        playAnnouncement_, announcementSound_);
    addRow(4, {"runProgram", tr("&Run program"), "programCommand", "browseProgram", "testProgram", false}, runProgram_,
           programCommand_);
    grid->setColumnStretch(0, 1);
    grid->setColumnMinimumWidth(0, 260);
    layout->addLayout(grid);
    layout->addStretch(1);
}

}  // namespace

PropPage* newNotificationsPage(SettingsModel& model) {
    return new NotificationsPage(model);
}

#include "notifications_page.moc"
