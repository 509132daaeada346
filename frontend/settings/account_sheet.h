// "Account properties": the Account page (login with port and security, e-mail address and
// identity, the e-mail program) and the display-only Advanced page of one account.
#pragma once

class QWidget;

// The sheet for the account at index (0-based, registry order); nothing when index is below
// 0 or past the last account. This is what the mailbox tree calls for its account nodes.
void showAccountProperties(QWidget* owner, int accountIndex);
