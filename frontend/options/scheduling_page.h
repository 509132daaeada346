// "Scheduling": how often a cycle runs while a connection exists and while one
// would have to be dialled, and whether new outgoing mail starts a cycle at once.
#pragma once

#include "frontend/options/prop_sheet.h"
#include "platform/window.h"

class QCheckBox;
class QGroupBox;
class QLineEdit;
struct ScheduleState;

class SchedulingPage : public PropPage {
public:
    // mainWindow receives the Resume command when a period changed while schedule is active.
    SchedulingPage(plat::HWND mainWindow, const ScheduleState* schedule);

    void activate() override;
    int validate() override;
    int apply() override;

private:
    QLineEdit* onlinePeriod_;
    QGroupBox* offlineGroup_;
    QLineEdit* offlinePeriod_;
    QCheckBox* deliverImmediately_;

    plat::HWND mainWindow_;
    const ScheduleState* schedule_;
    unsigned offlineMinutes_ = 60;
    unsigned onlineMinutes_ = 1;
    bool deliverAtOnce_ = true;
};
