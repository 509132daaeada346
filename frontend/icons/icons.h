// The program's own icons, drawn at start-up at every size a tray or a window asks for
// (16, 22, 24, 32, 48, 64 and 128 pixels), so they stay sharp in a hi-dpi tray.
#pragma once

#include <QIcon>

// Icon numbers: 400 the program, 402 to 405 the tray states, 410 to 415, 420 to 425 and
// 430 to 435 the three animations, 406/407 unread and read items, 480 to 482 the mailbox tree
// ("Incoming", an account, "Outgoing").
QIcon programIcon(int id);

// The icon of tray table entry index (0 to 21).
QIcon trayFrameIcon(int index);
