#include "frontend/options/browse.h"

#include <QFileDialog>
#include <QStringList>

namespace {

std::function<std::string(int)>& hook() {
    static std::function<std::string(int)> h;
    return h;
}

}  // namespace

std::string browseForFile(QWidget* owner, int filterIndex, bool allFilesOnly) {
    if (hook()) return hook()(filterIndex);
    // Programs on Linux have no extension: the program filter lists every file.
    QStringList filters{QFileDialog::tr("Sound File (*.wav)"), QFileDialog::tr("Program File (*)"),
                        QFileDialog::tr("All Files (*)")};
    if (allFilesOnly) filters = QStringList{filters.back()};
    int index = allFilesOnly ? 0 : filterIndex - 1;
    QString selected = filters.value(index, filters.back());
    QString path = QFileDialog::getOpenFileName(owner, QFileDialog::tr("Browse"), QString(), filters.join(";;"),
                                                &selected, QFileDialog::ReadOnly);
    return path.toStdString();
}

void setBrowseHook(std::function<std::string(int)> h) {
    hook() = std::move(h);
}
