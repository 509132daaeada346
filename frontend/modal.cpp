#include "frontend/modal.h"

#include <QDialog>
#include <QGuiApplication>
#include <QScreen>

namespace {

ModalHook& hook() {
    static ModalHook h;
    return h;
}

}  // namespace

int execModal(QDialog& dialog) {
    if (hook()) return hook()(dialog);
    return dialog.exec();
}

void centreOnScreen(QWidget& window) {
    window.adjustSize();
    QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    QRect s = screen->geometry();
    window.move(s.left() + (s.width() - window.width()) / 2, s.top() + (s.height() - window.height()) / 2);
}

void setModalHook(ModalHook hook_) {
    hook() = std::move(hook_);
}
