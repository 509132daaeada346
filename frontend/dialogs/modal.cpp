#include "frontend/dialogs/modal.h"

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

int execCentred(QDialog& dialog) {
    dialog.adjustSize();
    centerOnScreen(&dialog);
    return execModal(dialog);
}

void centerOnScreen(QWidget* w) {
    QScreen* screen = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    QRect s = screen->geometry();
    QSize f = w->frameGeometry().size();
    w->move(s.left() + (s.width() - f.width()) / 2, s.top() + (s.height() - f.height()) / 2);
}

void setModalHook(ModalHook hook_) {
    hook() = std::move(hook_);
}
