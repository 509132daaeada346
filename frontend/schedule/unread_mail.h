// Whether any account's mailbox holds an item not marked read, and how many such items.
#pragma once

// Walks the accounts in index order and stops at the first mailbox ("accounts/" and the
// account's destmailbox) with an unread item.
bool anyUnreadMail();
// The unread items of all the accounts' mailboxes (a mailbox two accounts share counts once).
int unreadMailCount();
