#include "frontend/settings/options_pages.h"

#include "frontend/schedule/schedule_state.h"
#include "frontend/settings/prop_sheet.h"
#include "frontend/settings/settings_model.h"

#include <QCoreApplication>

#include <memory>

PropSheet* newOptionsSheet(QWidget* owner, std::function<void()> periodsChanged, const ScheduleState* schedule,
                           QWidget* beside, const QUrl& helpPage) {
    auto* model = new SettingsModel;
    auto* sheet = new PropSheet(owner, QCoreApplication::translate("Tarnwick", "Tarnwick Options"), *model);
    model->setParent(sheet);  // goes with the sheet, after its pages
    auto periodChanged = std::make_shared<bool>(false);
    QObject::connect(model, &SettingsModel::changed, model, [periodChanged](const QString& name) {
        *periodChanged = *periodChanged || name == QLatin1String(config::kCheckFreqHI.name) ||
                         name == QLatin1String(config::kCheckFreqLO.name);
    });
    // OK stored the pages: the running timers restart with the new periods.
    QObject::connect(sheet, &QDialog::accepted, sheet,
                     [periodChanged, schedule, periodsChanged = std::move(periodsChanged)] {
                         if (*periodChanged && schedule && schedule->active && periodsChanged) periodsChanged();
                     });
    sheet->addPage(newConnectionPage(*model));
    sheet->addPage(newSchedulingPage(*model));
    sheet->addPage(newNotificationsPage(*model));
    sheet->setBeside(beside);
    if (!helpPage.isEmpty()) sheet->showHelpPanel(helpPage);
    return sheet;
}
