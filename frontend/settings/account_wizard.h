// The "Add Account Wizard": the address and the account's title; the provider's servers looked
// up from the address and shown for the user to accept, with only the password to give; or,
// without an address or with nothing found, the servers entered by hand (the incoming server
// and log-in, the outgoing server, what becomes of fetched mail: wizard_server_page.h); then
// the e-mail program that reads it. Each page keeps Next disabled until its required fields
// are filled; the checks that need a message run when Next is pressed. Nothing is stored
// before Finish.
#pragma once

#include <functional>

class QWidget;

// Opens the wizard over owner (modal for its window, without a loop of its own) and returns at
// once. After Finish the account is created with its mailbox directory (its password in the
// desktop's secret store when one is ready); with OAuth 2.0 chosen the sign-in runs at once, in
// the browser; then the e-mail program's settings are shown. closed(created) follows once the
// wizard has closed, created saying whether an account was made; the caller refreshes its
// views in every case.
void openAddAccountWizard(QWidget* owner, std::function<void(bool created)> closed = {});
