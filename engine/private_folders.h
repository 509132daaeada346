// The engine's working directory at start-up: the folders it writes into are made when
// missing, and the working directory and every mail folder (the queue, "accounts/", the
// holding directory and each account's mailbox) lose the group's and others' permissions
// when they have any. Files are left as they are: a private folder already hides them.
#pragma once

#include <string>

// queueDirectory and holdingDirectory as the engine names them ("outgoing/",
// "accounts/holding/"); accountsKey: the registry key whose sub-keys are the accounts.
// Parents come before children, and each folder made is flushed into its parent before the
// next is made in it. False when any folder could not be prepared (each logged APP HIGH).
bool prepareWorkingFolders(const std::string& queueDirectory, const std::string& holdingDirectory,
                           const std::string& accountsKey);
