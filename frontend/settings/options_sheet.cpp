#include "frontend/settings/options_pages.h"

#include "frontend/schedule/schedule_state.h"
#include "frontend/settings/prop_sheet.h"
#include "frontend/settings/settings_model.h"

#include <QCoreApplication>

bool runOptionsSheet(QWidget* owner, std::function<void()> periodsChanged, const ScheduleState* schedule,
                     QWidget* beside) {
    SettingsModel model;
    bool periodChanged = false;
    QObject::connect(&model, &SettingsModel::changed, &model, [&](const QString& name) {
        periodChanged = periodChanged || name == QLatin1String(config::kCheckFreqHI.name) ||
                        name == QLatin1String(config::kCheckFreqLO.name);
    });
    PropSheet sheet(owner, QCoreApplication::translate("Tarnwick", "Tarnwick Options"), model);
    sheet.addPage(newConnectionPage(model));
    sheet.addPage(newSchedulingPage(model));
    sheet.addPage(newNotificationsPage(model));
    sheet.setBeside(beside);
    if (!sheet.run()) return false;
    // The running timers restart with the new periods.
    if (periodChanged && schedule && schedule->active == 1 && periodsChanged) periodsChanged();
    return true;
}
