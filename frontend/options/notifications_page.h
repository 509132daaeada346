// "Notifications": how new mail is announced (alert dialog, a ping per item, the
// alarm and announcement sounds, a program to run), with Browse and test buttons.
#pragma once

#include "frontend/options/prop_sheet.h"

#include <string>

class NotificationsPage : public PropPage {
public:
    NotificationsPage();

    void activate() override;
    int validate() override;
    int apply() override;
    void command(int controlId) override;

private:
    void browseInto(int editId, int filterIndex);

    bool showDialog_ = true;
    bool pingEach_ = true;
    bool alarm_ = true;
    bool announce_ = true;
    bool run_ = false;
    std::string alarmWave_;
    std::string announceWave_;
    std::string runFile_;
};
