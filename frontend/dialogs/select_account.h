// "Select account" and the account commands of the main window that need no
// sheet: Read mail and Remove account.
#pragma once

#include <string>

class QWidget;

// Which account's e-mail program to start: -1 without accounts, 0 with one account or when
// every account names the same client (no dialog); otherwise the index of the account the
// user selects in the dialog, -1 for Cancel or no selection.
int selectAccount(QWidget* owner, const std::string& prompt);

// Read mail: starts the chosen account's e-mail program.
void readMail(QWidget* owner);

// Asks, then removes the account at index (its mail files stay); answers whether it was
// removed. Nothing happens for an index below 0.
bool removeAccount(QWidget* owner, int accountIndex);
