#include "frontend/dialogs/browse.h"

#include <QFileDialog>
#include <QStringList>

namespace {

std::function<std::string(int)>& hook() {
    static std::function<std::string(int)> h;
    return h;
}

}  // namespace

std::string browseForFile(QWidget* owner, FileKind kind) {
    if (hook()) return hook()(static_cast<int>(kind));
    const QString all = QFileDialog::tr("All Files (*)");
    // Programs on Linux have no extension: the program filter lists every file.
    QStringList filters{QFileDialog::tr("Sound File (*.wav)"), QFileDialog::tr("Program File (*)"), all};
    if (kind == FileKind::Any) filters = QStringList{all};
    if (kind == FileKind::Certificate)
        filters = QStringList{QFileDialog::tr("Certificate File (*.pem *.crt *.cer)"), all};
    QString selected = filters.value(kind == FileKind::Program ? 1 : 0);
    QString path = QFileDialog::getOpenFileName(owner, QFileDialog::tr("Browse"), QString(), filters.join(";;"),
                                                &selected, QFileDialog::ReadOnly);
    return path.toStdString();
}

void setBrowseHook(std::function<std::string(int)> h) {
    hook() = std::move(h);
}
