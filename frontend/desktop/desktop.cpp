#include "frontend/desktop/desktop.h"

#include "platform/desktop_entries.h"

#include <QApplication>
#include <QDesktopServices>
#include <QUrl>

#include <algorithm>

namespace {

// What tests put in the desktop's place.
MessageBoxHook boxHook;
OpenUrlHook urlHook;
std::function<void()> beepHook;

}  // namespace

QMessageBox::StandardButton messageBox(QWidget* owner, const MessageBoxRequest& r) {
    if (boxHook) return boxHook(r);
    // The texts are looked up as they stand; a formatted one without a translation shows as is.
    QMessageBox box(owner);
    box.setWindowTitle(QCoreApplication::translate("Tarnwick", r.caption.c_str()));
    box.setText(QCoreApplication::translate("Tarnwick", r.text.c_str()));
    bool question = r.buttons != QMessageBox::Ok;
    box.setIcon(r.icon != QMessageBox::NoIcon ? r.icon : question ? QMessageBox::Question : QMessageBox::Information);
    box.setStandardButtons(r.buttons);
    box.setDefaultButton(r.defaultButton);
    QMessageBox::StandardButton escape = r.buttons.testFlag(QMessageBox::Cancel) ? QMessageBox::Cancel
                                         : r.buttons.testFlag(QMessageBox::No)   ? QMessageBox::No
                                                                                 : QMessageBox::Ok;
    box.setEscapeButton(escape);
    int pressed = box.exec();
    return r.buttons.testFlag(QMessageBox::StandardButton(pressed)) ? QMessageBox::StandardButton(pressed) : escape;
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
