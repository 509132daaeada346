#include "frontend/dialogs/browse.h"

#include <QFileDialog>
#include <QStringList>

namespace {

std::function<std::string(int)>& hook() {
    static std::function<std::string(int)> h;
    return h;
}

std::string openFile(QWidget* owner, const QStringList& filters, int index) {
    QString selected = filters.value(index, filters.back());
    QString path = QFileDialog::getOpenFileName(owner, QFileDialog::tr("Browse"), QString(), filters.join(";;"),
                                                &selected, QFileDialog::ReadOnly);
    return path.toStdString();
}

}  // namespace

std::string browseForFile(QWidget* owner, int filterIndex, bool allFilesOnly) {
    if (hook()) return hook()(filterIndex);
    // Programs on Linux have no extension: the program filter lists every file.
    QStringList filters{QFileDialog::tr("Sound File (*.wav)"), QFileDialog::tr("Program File (*)"),
                        QFileDialog::tr("All Files (*)")};
    if (allFilesOnly) return openFile(owner, QStringList{filters.back()}, 0);
    return openFile(owner, filters, filterIndex - 1);
}

std::string browseForCertificate(QWidget* owner) {
    if (hook()) return hook()(kFilterCertificate);
    return openFile(owner, {QFileDialog::tr("Certificate File (*.pem *.crt *.cer)"), QFileDialog::tr("All Files (*)")},
                    0);
}

void setBrowseHook(std::function<std::string(int)> h) {
    hook() = std::move(h);
}
