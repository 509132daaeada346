// "Tarnwick Options": the Connection, Scheduling and Notifications pages in one sheet.
#pragma once

#include "platform/window.h"

class QWidget;
struct ScheduleState;

// Shows the sheet modally over owner; mainWindow gets the Resume command when a check period
// changed while schedule->active. Answers 1 when OK stored the pages, 0 on Cancel.
int runOptionsSheet(QWidget* owner, plat::HWND mainWindow, const ScheduleState* schedule);
