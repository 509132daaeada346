#include "frontend/dialogs/modal.h"

#include <QDialog>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace {

ModalHook& hook() {
    static ModalHook h;
    return h;
}

}  // namespace

void openDialog(QDialog* dialog, std::function<void(int)> done) {
    if (hook()) {
        int result = hook()(*dialog);
        if (done) done(result);
        // Out of its owner's children at once, as a dialog that ran its own loop would be gone: a
        // script driving the window that opened it must not find this one's buttons there.
        dialog->setParent(nullptr);
        dialog->deleteLater();
        return;
    }
    QObject::connect(dialog, &QDialog::finished, dialog, [dialog, done = std::move(done)](int result) {
        if (done) done(result);
        dialog->deleteLater();
    });
    dialog->open();
}

void openCentred(QDialog* dialog, std::function<void(int)> done) {
    dialog->adjustSize();
    centerOnScreen(dialog);
    openDialog(dialog, std::move(done));
}

QRect placeCentred(QSize frame, const QRect& available) {
    QSize size = frame.boundedTo(available.size());
    return {available.left() + (available.width() - size.width()) / 2,
            available.top() + (available.height() - size.height()) / 2, size.width(), size.height()};
}

namespace {

constexpr int kGap = 8;  // between two windows side by side

// Gives w the frame rectangle place (its borders as they are now).
void setFrameRect(QWidget* w, const QRect& place) {
    QSize borders = w->frameGeometry().size() - w->geometry().size();
    if (place.size() != w->frameGeometry().size()) w->resize((place.size() - borders).expandedTo(w->minimumSize()));
    if (canPlaceWindows()) w->move(place.topLeft());
}

}  // namespace

QWidget* ownerWhileShown(QWidget* window) {
    return window && window->isVisible() && !window->isMinimized() ? window : nullptr;
}

bool canPlaceWindows() {
    return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

std::pair<QRect, QRect> sideBySide(QSize first, QSize second, const QRect& available, int firstMinWidth) {
    int half = (available.width() - kGap) / 2;
    if (first.width() + kGap + second.width() > available.width()) {
        first.setWidth(std::max(std::min(first.width(), half), std::min(firstMinWidth, first.width())));
        second.setWidth(std::max(0, std::min(second.width(), available.width() - kGap - first.width())));
    }
    first = first.boundedTo(available.size());
    second = second.boundedTo(available.size());
    int left = available.left() + (available.width() - first.width() - kGap - second.width()) / 2;
    QRect a(left, available.top() + (available.height() - first.height()) / 2, first.width(), first.height());
    QRect b(a.right() + 1 + kGap, available.top() + (available.height() - second.height()) / 2, second.width(),
            second.height());
    return {a, b};
}

void placeSideBySide(QWidget* first, QWidget* second) {
    QScreen* screen = first->screen() ? first->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    int borders = first->frameGeometry().width() - first->geometry().width();
    auto [a, b] = sideBySide(first->frameGeometry().size(), second->frameGeometry().size(), screen->availableGeometry(),
                             first->minimumSizeHint().width() + borders);
    setFrameRect(first, a);
    setFrameRect(second, b);
}

void centerOnScreen(QWidget* w) {
    QScreen* screen = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    // The borders the window manager adds are known once the window was first shown.
    setFrameRect(w, placeCentred(w->frameGeometry().size(), screen->availableGeometry()));
}

void keepOnScreen(QWidget* w) {
    QScreen* screen = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    if (screen && !screen->availableGeometry().contains(w->frameGeometry())) centerOnScreen(w);
}

void setModalHook(ModalHook hook_) {
    hook() = std::move(hook_);
}
