#include "frontend/dialogs/modal.h"

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

void setModalHook(ModalHook hook_) {
    hook() = std::move(hook_);
}
