// Whether any account's mailbox holds an item not marked read.
#pragma once

// Walks the accounts in index order and stops at the first mailbox ("accounts/" and the
// account's destmailbox) with an unread item.
bool anyUnreadMail();
