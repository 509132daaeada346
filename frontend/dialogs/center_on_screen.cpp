#include "frontend/dialogs/center_on_screen.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

void centerOnScreen(QWidget* w) {
    QScreen* screen = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    QRect s = screen->geometry();
    QSize f = w->frameGeometry().size();
    w->move(s.left() + (s.width() - f.width()) / 2, s.top() + (s.height() - f.height()) / 2);
}
