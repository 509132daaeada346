// What an engine killed while it took in or sent mail leaves behind, removed at start-up before
// the local servers open: items and routing files the local SMTP server had not yet moved into
// the queue, and queued items without their routing file (never sent, but listed by the front
// end). Only time-stamped item names and their routing files are touched; each removal is
// logged (MAIL, MED) with its path.
#pragma once

#include <string>

// workDirectory: where the local SMTP server writes ("" for the working directory);
// queueDirectory: the outgoing queue ("outgoing/").
void removeStartupLeftovers(const std::string& workDirectory, const std::string& queueDirectory);

// What a killed retrieval left in the holding directory ("accounts/holding/"). A retrieved
// item is moved into its mailbox before its identifier is recorded, and the provider is told
// to delete it only after that: an item file whose identifier its account has not recorded
// belongs to a message still on the provider, fetched again at the next check, and is removed
// (MAIL, MED). So is an empty item file. Everything else is kept, each with a line (MAIL, MED)
// saying why: a recorded identifier (the file might be the only copy left), a tag of no
// configured account, an identifier file that cannot be read, a name that is no item's.
// accountsKey: the registry key whose sub-keys are the accounts.
void removeHoldingLeftovers(const std::string& holdingDirectory, const std::string& accountsKey);
