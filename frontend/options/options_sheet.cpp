#include "frontend/options/options_sheet.h"

#include "frontend/options/connection_page.h"
#include "frontend/options/notifications_page.h"
#include "frontend/options/prop_sheet.h"
#include "frontend/options/scheduling_page.h"

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
