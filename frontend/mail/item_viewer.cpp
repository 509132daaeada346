#include "frontend/mail/item_viewer.h"

#include "frontend/mail/encoded_words.h"
#include "frontend/mail/rfc822_mail_header.h"
#include "platform/desktop_entries.h"
#include "platform/spawn.h"

#include <QCoreApplication>
#include <QDialog>
#include <QFile>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include <vector>

namespace views {

namespace {

enum class Shown { AsStored, HeadersDecoded };

// A mail item's window is named by its subject, decoded; an item without one by its file.
std::string itemTitle(const std::string& path) {
    RFC822MailHeader header(path);
    const char* subject = header.value(RFC822MailHeader::kSubject);
    if (subject && *subject) return mail::decodeHeaderValue(subject);
    std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Our own read-only window: the file's text, in a fixed-width font.
void showBuiltInViewer(const std::string& path, QWidget* parent, Shown shown) {
    auto* dialog = new QDialog(parent);
    dialog->setObjectName(QStringLiteral("itemViewer"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(QString::fromStdString(shown == Shown::HeadersDecoded ? itemTitle(path) : path));
    auto* text = new QPlainTextEdit(dialog);
    text->setReadOnly(true);
    text->setLineWrapMode(QPlainTextEdit::NoWrap);
    text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    QFile file(QString::fromStdString(path));
    if (file.open(QIODevice::ReadOnly)) {
        const QByteArray bytes = file.readAll();
        text->setPlainText(shown == Shown::HeadersDecoded
                               ? QString::fromStdString(mail::decodeItemHeaders(bytes.toStdString()))
                               : QString::fromUtf8(bytes));
    } else {
        text->setPlainText(QCoreApplication::translate("MailList", "The mail item cannot be read."));
    }
    auto* layout = new QVBoxLayout(dialog);
    layout->addWidget(text);
    dialog->resize(640, 480);
    dialog->show();
}

// The desktop's text viewer, or our own window when it has none or it cannot start.
void view(const std::string& path, QWidget* parent, Shown shown) {
    std::vector<std::string> words;
    if (plat::splitCommandLine(textViewerCommandLine(), words) && !words.empty()) {
        std::string program = plat::findOnPath(words[0]);
        words.push_back(path);
        if (!program.empty() && plat::spawnDetached(program, words) == 0) return;
    }
    showBuiltInViewer(path, parent, shown);
}

}  // namespace

std::string textViewerCommandLine() {
    std::string id = plat::defaultApplication("text/plain");
    if (id.empty()) return {};
    for (const plat::DesktopEntry& e : plat::desktopEntries()) {
        if (e.id == id) return plat::stripFieldCodes(e.exec);
    }
    return {};
}

void viewItem(const std::string& path, QWidget* parent) {
    view(path, parent, Shown::HeadersDecoded);
}

void viewTextFile(const std::string& path, QWidget* parent) {
    view(path, parent, Shown::AsStored);
}

}  // namespace views
