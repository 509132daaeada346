// Opening a dialog: the one place every dialog of the settings goes through, so that a
// test can drive a dialog instead of waiting for a human; and placing a window in the middle.
#pragma once

#include <QRect>

#include <functional>
#include <utility>

class QDialog;
class QWidget;

// Opens a dialog made with new without a loop of its own (QDialog::open: modal for its owner
// window), calls done with its result once it has finished, then deletes it. Under a test's
// hook the hook answers instead, and done runs before this returns.
void openDialog(QDialog* dialog, std::function<void(int result)> done = {});
// The same for a dialog first sized to its contents and centred on its screen.
void openCentred(QDialog* dialog, std::function<void(int result)> done = {});
// The owner for a dialog that window opens: window while it shows; else none (a dialog of a
// minimised or hidden window would be minimised or hidden with it).
QWidget* ownerWhileShown(QWidget* window);
// Whether the window system lets a program place its windows (Wayland's compositors do not).
bool canPlaceWindows();
// Where a window whose frame (with the title bar and borders) is frame goes on a screen whose
// free area (without panels) is available: centred, and made smaller where it would not fit,
// so that all of it is on that screen.
QRect placeCentred(QSize frame, const QRect& available);
// Two windows of frames first and second side by side in available: the pair centred when
// both fit; when they do not, first shrunk to half the width (not below firstMinWidth) and
// second to what is left. first goes on the left.
std::pair<QRect, QRect> sideBySide(QSize first, QSize second, const QRect& available, int firstMinWidth = 0);
// Moves first and second side by side on first's screen (where the window system lets us).
void placeSideBySide(QWidget* first, QWidget* second);
// Moves a top-level widget to the centre of its screen, keeping its size where it fits and
// shrinking it where it does not. Where the window system places windows itself (Wayland) it
// is only made to fit.
void centerOnScreen(QWidget* w);
// Centres w as above only when some of it is off its screen now (its frame, once the window
// manager has framed it, may be larger than the window was).
void keepOnScreen(QWidget* w);

// A test's replacement: it gets the dialog, built and not yet shown, and answers the result.
// An empty function restores the real loop.
using ModalHook = std::function<int(QDialog&)>;
void setModalHook(ModalHook hook);
