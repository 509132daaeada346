// The program's own icons, drawn at start-up at every size a tray or a window asks for
// (16, 22, 24, 32, 48, 64 and 128 pixels), so they stay sharp in a hi-dpi tray.
#pragma once

#include <QIcon>

// The pictures besides the tray's frames.
enum class ProgramIcon {
    Program,  // the program itself
    UnreadItem,  // a closed envelope
    ReadItem,  // an open, pale envelope
    IncomingRoot,  // the mailbox tree's "Incoming"
    AccountMailbox,  // an account's mailbox
    OutgoingRoot,  // the mailbox tree's "Outgoing"
};
QIcon programIcon(ProgramIcon icon);

// The tray's frame index (kTrayActive to kTrayFrameCount - 1).
QIcon trayFrameIcon(int index);

// The "play" glyph of the sound test buttons: a loudspeaker with two sound waves.
QIcon playIcon();
