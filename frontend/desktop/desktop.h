// The front end's few calls to the desktop that a test must be able to answer: message
// boxes, opening an address in the user's browser, the beep. Tests replace them with scripts.
#pragma once

#include <QMessageBox>

#include <functional>
#include <string>

struct MessageBoxRequest {
    std::string text;
    std::string caption;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    QMessageBox::StandardButton defaultButton = QMessageBox::Ok;
    QMessageBox::Icon icon = QMessageBox::NoIcon;  // none: information for OK, else a question
};

// Shows a message box owned by owner (may be null) and answers the button pressed; Escape
// and closing the box answer Cancel when the box has it, else No, else OK.
QMessageBox::StandardButton messageBox(QWidget* owner, const MessageBoxRequest& request);
// The same box opened without a loop of its own: answered runs from the loop with the button
// pressed. The box answered (null once it is gone) stands while the question is open.
QMessageBox* askUser(QWidget* owner, const MessageBoxRequest& request,
                     std::function<void(QMessageBox::StandardButton)> answered);
// Opens a URL (file:, http:, mailto:) with the desktop's handler; false when none takes it.
bool openUrl(const std::string& url);
// Opens a local HTML page in the desktop's browser; false when the desktop has no application
// for HTML (a launcher would start and show nothing) or none takes it.
bool openHtmlPage(const std::string& url);
void messageBeep();

// Replacements for tests; an empty function restores the real one.
using MessageBoxHook = std::function<QMessageBox::StandardButton(const MessageBoxRequest&)>;
using OpenUrlHook = std::function<bool(const std::string&)>;
void setMessageBoxHook(MessageBoxHook hook);
void setOpenUrlHook(OpenUrlHook hook);
void setBeepHook(std::function<void()> hook);
