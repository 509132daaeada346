// The Browse buttons: the desktop's open-file dialog with the settings' file filters.
#pragma once

#include <functional>
#include <string>

class QWidget;

// What a Browse button looks for; a test's hook sees these numbers.
enum class FileKind { Sound = 1, Program = 2, Any = 3, Certificate = 4 };

// Shows the dialog titled "Browse" owned by owner; answers the chosen path, or empty when the
// user cancelled. A sound or a program is offered "Sound File (*.wav)", "Program File (*)" and
// "All Files (*)", its own filter chosen; Any offers "All Files (*)" alone; Certificate offers
// "Certificate File (*.pem *.crt *.cer)" and "All Files (*)". The working directory is left as
// it is.
std::string browseForFile(QWidget* owner, FileKind kind);

// A test's replacement (the kind's number): answers the path "chosen".
void setBrowseHook(std::function<std::string(int)> hook);
