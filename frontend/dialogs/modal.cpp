#include "frontend/dialogs/modal.h"

#include "frontend/dialogs/center_on_screen.h"

#include <QDialog>

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

void setModalHook(ModalHook hook_) {
    hook() = std::move(hook_);
}
