// Moves a top-level widget, keeping its size, to the centre of its screen.
#pragma once

class QWidget;

void centerOnScreen(QWidget* w);
