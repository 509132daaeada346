// "Notifications": how new mail is announced (alert dialog, a ping per item, desktop
// notifications, the alarm and announcement sounds, a program to run), with Browse and test
// buttons.
#pragma once

#include "frontend/settings/prop_sheet.h"
#include "shared/registry.h"

#include <utility>
#include <vector>

class QCheckBox;
class QLineEdit;

class NotificationsPage : public PropPage {
    Q_OBJECT

public:
    explicit NotificationsPage(SettingsModel& model);

    void load() override;
    bool save() override;

private:
    // The check boxes and file edits with the values they show.
    std::vector<std::pair<QCheckBox*, const config::DwordSetting*>> switches() const;
    std::vector<std::pair<QLineEdit*, const config::StringSetting*>> files() const;
    // Fills edit with a file chosen by the user; a program's file becomes a command line.
    void browseInto(QLineEdit* edit, int filterIndex);
    void testAlarm();
    void testAnnouncement();
    void testProgram();

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
