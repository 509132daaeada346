// "Tarnwick Options": the Connection, Scheduling and Notifications pages in one sheet.
#pragma once

#include <functional>

class QWidget;
struct ScheduleState;

// Shows the sheet modally over owner; periodsChanged is called when OK stored a changed check
// period while schedule->active. Answers whether OK stored the pages.
bool runOptionsSheet(QWidget* owner, std::function<void()> periodsChanged, const ScheduleState* schedule);
