// "Select account" and the account commands of the main window that need no
// sheet: Read mail and Remove account.
#pragma once

#include <functional>
#include <string>

class QWidget;

// Which account's e-mail program to start, answered through chosen: -1 without accounts, 0
// with one account or when every account names the same client (no dialog; chosen runs before
// this returns); otherwise the index of the account the user selects in the dialog, -1 for
// Cancel or no selection, once the dialog has closed (it opens without a loop of its own).
// While the dialog is open a second call brings it to the front and is otherwise dropped.
void selectAccount(QWidget* owner, const std::string& prompt, std::function<void(int index)> chosen);

// Read mail: starts the chosen account's e-mail program.
void readMail(QWidget* owner);

// Asks, then removes the account at index (its mail files stay); answers whether it was
// removed. Nothing happens for an index below 0.
bool removeAccount(QWidget* owner, int accountIndex);
