#include "frontend/settings/options_sheet.h"

#include "frontend/settings/connection_page.h"
#include "frontend/settings/notifications_page.h"
#include "frontend/settings/prop_sheet.h"
#include "frontend/settings/scheduling_page.h"

#include <QCoreApplication>

int runOptionsSheet(QWidget* owner, std::function<void()> periodsChanged, const ScheduleState* schedule) {
    ConnectionPage connection;
    SchedulingPage scheduling(std::move(periodsChanged), schedule);
    NotificationsPage notifications;
    PropSheet sheet(owner, QCoreApplication::translate("Tarnwick", "Tarnwick Options"));
    sheet.addPage(&connection);
    sheet.addPage(&scheduling);
    sheet.addPage(&notifications);
    return sheet.show(false);
}
