#include "frontend/desktop/desktop.h"

#include "platform/desktop_entries.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QUrl>

#include <algorithm>

namespace {

// What tests put in the desktop's place.
MessageBoxHook boxHook;
OpenUrlHook urlHook;
std::function<void()> beepHook;

}  // namespace

int messageBox(QWidget* owner, const MessageBoxRequest& r) {
    if (boxHook) return boxHook(r);
    // The texts are looked up as they stand; a formatted one without a translation shows as is.
    QMessageBox box(owner);
    box.setWindowTitle(QCoreApplication::translate("Tarnwick", r.caption.c_str()));
    box.setText(QCoreApplication::translate("Tarnwick", r.text.c_str()));
    if (r.buttons == MsgButtons::Ok) {
        box.setIcon(r.icon == MsgIcon::Warning ? QMessageBox::Warning : QMessageBox::Information);
        box.setStandardButtons(QMessageBox::Ok);
        box.exec();
        return IDOK;
    }
    box.setIcon(r.icon == MsgIcon::Warning ? QMessageBox::Warning : QMessageBox::Question);
    if (r.buttons == MsgButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(r.defaultButton == IDNO ? QMessageBox::No : QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes ? IDYES : IDNO;
    }
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    box.setDefaultButton(r.defaultButton == IDYES  ? QMessageBox::Yes
                         : r.defaultButton == IDNO ? QMessageBox::No
                                                   : QMessageBox::Cancel);
    box.setEscapeButton(QMessageBox::Cancel);
    switch (box.exec()) {
    case QMessageBox::Yes: return IDYES;
    case QMessageBox::No: return IDNO;
    default: return IDCANCEL;
    }
}

bool openUrl(const std::string& url) {
    if (urlHook) return urlHook(url);
    return QDesktopServices::openUrl(QUrl(QString::fromStdString(url)));
}

namespace {

// Whether the desktop has an application for a type: a chosen default, or one that says it
// handles it (what the desktop's opener falls back to).
bool applicationFor(const std::string& mimeType) {
    if (!plat::defaultApplication(mimeType).empty()) return true;
    for (const plat::DesktopEntry& e : plat::desktopEntries()) {
        if (std::find(e.mimeTypes.begin(), e.mimeTypes.end(), mimeType) != e.mimeTypes.end()) return true;
    }
    return false;
}

}  // namespace

bool openHtmlPage(const std::string& url) {
    if (urlHook) return urlHook(url);
    if (!applicationFor("text/html")) return false;
    return openUrl(url);
}

void messageBeep() {
    if (beepHook) {
        beepHook();
        return;
    }
    QApplication::beep();
}

void setMessageBoxHook(MessageBoxHook hook) {
    boxHook = std::move(hook);
}
void setOpenUrlHook(OpenUrlHook hook) {
    urlHook = std::move(hook);
}
void setBeepHook(std::function<void()> hook) {
    beepHook = std::move(hook);
}
