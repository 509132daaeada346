#include "frontend/desktop/desktop.h"

#include "platform/desktop_entries.h"

#include <QApplication>
#include <QDesktopServices>
#include <QTimer>
#include <QUrl>

#include <algorithm>

namespace {

// What tests put in the desktop's place.
MessageBoxHook boxHook;
OpenUrlHook urlHook;
std::function<void()> beepHook;

// Escape and closing the box answer this.
QMessageBox::StandardButton escapeAnswer(const MessageBoxRequest& r) {
    return r.buttons.testFlag(QMessageBox::Cancel) ? QMessageBox::Cancel
           : r.buttons.testFlag(QMessageBox::No)   ? QMessageBox::No
                                                   : QMessageBox::Ok;
}

// The box with the request's texts, icon and buttons. The texts are looked up as they stand; a
// formatted one without a translation shows as is.
void prepareBox(QMessageBox& box, const MessageBoxRequest& r) {
    box.setWindowTitle(QCoreApplication::translate("Tarnwick", r.caption.c_str()));
    box.setText(QCoreApplication::translate("Tarnwick", r.text.c_str()));
    bool question = r.buttons != QMessageBox::Ok;
    box.setIcon(r.icon != QMessageBox::NoIcon ? r.icon : question ? QMessageBox::Question : QMessageBox::Information);
    box.setStandardButtons(r.buttons);
    box.setDefaultButton(r.defaultButton);
    box.setEscapeButton(escapeAnswer(r));
}

QMessageBox::StandardButton answerOf(const MessageBoxRequest& r, int pressed) {
    return r.buttons.testFlag(QMessageBox::StandardButton(pressed)) ? QMessageBox::StandardButton(pressed)
                                                                    : escapeAnswer(r);
}

}  // namespace

QMessageBox::StandardButton messageBox(QWidget* owner, const MessageBoxRequest& r) {
    if (boxHook) return boxHook(r);
    QMessageBox box(owner);
    prepareBox(box, r);
    return answerOf(r, box.exec());
}

QMessageBox* askUser(QWidget* owner, const MessageBoxRequest& r,
                     std::function<void(QMessageBox::StandardButton)> answered) {
    auto* box = new QMessageBox(owner);
    prepareBox(*box, r);
    if (boxHook) {
        // The script answers from the loop too, the box standing meanwhile but never shown.
        QTimer::singleShot(0, box, [box, r, answered = std::move(answered)] {
            QMessageBox::StandardButton a = boxHook(r);
            box->deleteLater();
            answered(a);
        });
        return box;
    }
    QObject::connect(box, &QMessageBox::finished, box, [box, r, answered = std::move(answered)](int pressed) {
        box->deleteLater();
        answered(answerOf(r, pressed));
    });
    box->open();
    return box;
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
