// "Scheduling": how often a cycle runs while a connection exists and while one
// would have to be dialled, and whether new outgoing mail starts a cycle at once.
#pragma once

#include "frontend/settings/prop_sheet.h"

#include <functional>

class QCheckBox;
class QGroupBox;
class QLineEdit;
struct ScheduleState;

class SchedulingPage : public PropPage {
    Q_OBJECT

public:
    // periodsChanged is called when OK stored a changed period while schedule is active.
    SchedulingPage(std::function<void()> periodsChanged, const ScheduleState* schedule);

    void activate() override;
    int validate() override;
    int apply() override;

private:
    QLineEdit* onlinePeriod_;
    QGroupBox* offlineGroup_;
    QLineEdit* offlinePeriod_;
    QCheckBox* deliverImmediately_;

    std::function<void()> periodsChanged_;
    const ScheduleState* schedule_;
    unsigned offlineMinutes_ = 60;
    unsigned onlineMinutes_ = 1;
    bool deliverAtOnce_ = true;
};
