// "Scheduling": how often a cycle runs while a connection exists and while one
// would have to be brought up, and whether new outgoing mail starts a cycle at once.
#pragma once

#include "frontend/settings/prop_sheet.h"

class QCheckBox;
class QGroupBox;
class QLineEdit;

class SchedulingPage : public PropPage {
    Q_OBJECT

public:
    explicit SchedulingPage(SettingsModel& model);

    void load() override;
    bool save() override;

private:
    QLineEdit* onlinePeriod_;
    QGroupBox* offlineGroup_;
    QLineEdit* offlinePeriod_;
    QCheckBox* deliverImmediately_;
};
