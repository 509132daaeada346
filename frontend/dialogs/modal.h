// Running a modal dialog: the one place every dialog of the settings goes through, so that a
// test can drive a dialog instead of waiting for a human; and placing a window in the middle.
#pragma once

#include <functional>

class QDialog;
class QWidget;

// Runs dialog modally (its own loop; the main window keeps its messages and timers) and
// answers its result code.
int execModal(QDialog& dialog);
// The same for a dialog first sized to its contents and centred on its screen.
int execCentred(QDialog& dialog);
// Moves a top-level widget, keeping its size, to the centre of its screen.
void centerOnScreen(QWidget* w);

// A test's replacement: it gets the dialog, built and not yet shown, and answers the result.
// An empty function restores the real loop.
using ModalHook = std::function<int(QDialog&)>;
void setModalHook(ModalHook hook);
