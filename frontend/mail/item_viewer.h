// Viewing one mail item as plain text: the desktop's default application for text/plain, or,
// when there is none or it cannot start, a read-only window of our own. Viewing never changes
// the item's read mark.
#pragma once

#include <string>

class QWidget;

namespace views {

// The command line of the desktop's default text/plain application (its Exec= without field
// codes), or empty.
std::string textViewerCommandLine();

// Opens path for reading; parent owns the built-in window when that is used.
void viewItem(const std::string& path, QWidget* parent);
// The same for a text file that is no mail item (the day's log): shown exactly as it is.
void viewTextFile(const std::string& path, QWidget* parent);

}  // namespace views
