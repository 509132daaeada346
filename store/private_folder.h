// Folders of the mail tree that only their user may enter.
#pragma once

#include <string>

namespace store {

// Makes the folder (one level, mode 0700) when it is missing, or takes the group's and
// others' permissions from it (logged APP MED "Folder made private :"). A symbolic link is
// neither followed nor changed, so nothing outside the tree is touched (logged APP MED; true
// when it leads to something). A folder made here is flushed into its parent before this
// returns; with FolderFlush::Always an existing one is too (at start-up: a folder made by
// someone else, or by a run that ended before its flush, may not be in its parent on disk
// yet). False, logged (APP, HIGH), when there is no folder afterwards, it could not be made
// private, or the parent could not be flushed.
enum class FolderFlush { WhenMade, Always };
bool preparePrivateFolder(const std::string& path, FolderFlush flush = FolderFlush::WhenMade);

// "accounts/" + destMailbox, the mailbox directory of an account, when destMailbox is a
// plain name; empty when it holds "/", is "." or ".." or is empty: such a name leads
// elsewhere, and no folder is made or changed for it.
std::string mailboxFolder(const std::string& destMailbox);

}  // namespace store
