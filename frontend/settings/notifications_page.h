// "Notifications": how new mail is announced (alert dialog, a ping per item, the
// alarm and announcement sounds, a program to run), with Browse and test buttons.
#pragma once

#include "frontend/settings/prop_sheet.h"

#include <string>

class QCheckBox;
class QLineEdit;

class NotificationsPage : public PropPage {
    Q_OBJECT

public:
    NotificationsPage();

    void activate() override;
    int validate() override;
    int apply() override;

private:
    // Fills edit with a file chosen by the user; a program's file becomes a command line.
    void browseInto(QLineEdit* edit, int filterIndex);
    void testAlarm();
    void testAnnouncement();
    void testProgram();

    QCheckBox* showNewMailDialog_;
    QCheckBox* pingEachItem_;
    QCheckBox* playAlarm_;
    QCheckBox* playAnnouncement_;
    QCheckBox* runProgram_;
    QLineEdit* alarmSound_;
    QLineEdit* announcementSound_;
    QLineEdit* programCommand_;

    bool showDialog_ = true;
    bool pingEach_ = true;
    bool alarm_ = true;
    bool announce_ = true;
    bool run_ = false;
    std::string alarmWave_;
    std::string announceWave_;
    std::string runFile_;
};
