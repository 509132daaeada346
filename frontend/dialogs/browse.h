// The Browse buttons: the desktop's open-file dialog with the settings' file filters.
#pragma once

#include <functional>
#include <string>

class QWidget;

// Filters offered, in this order; filterIndex counts from 1 like the list.
//   1 "Sound File (*.wav)", 2 "Program File (*)", 3 "All Files (*)".
constexpr int kFilterSound = 1;
constexpr int kFilterProgram = 2;
constexpr int kFilterAll = 3;
// What a test's hook sees for browseForCertificate.
constexpr int kFilterCertificate = 4;

// Shows the dialog titled "Browse" owned by owner, the given filter chosen; answers the chosen
// path, or empty when the user cancelled. The working directory is left as it is.
std::string browseForFile(QWidget* owner, int filterIndex, bool allFilesOnly = false);

// The same dialog offering "Certificate File (*.pem *.crt *.cer)" and "All Files (*)".
std::string browseForCertificate(QWidget* owner);

// A test's replacement (filter index): answers the path "chosen".
void setBrowseHook(std::function<std::string(int)> hook);
