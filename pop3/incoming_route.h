// Routing of a retrieved item from the holding directory into its account's mailbox.
#pragma once

#include <string>

struct RoutedItem {
    std::string destination;  // where the item is, or was meant to be
    bool stored = false;  // whether it is there
};

// Moves the stored file to "accounts/" + destMailbox + "/" + its file name (the part of the
// path after the last "/", or the whole path), never replacing a file: when that name exists,
// "-000", "-001", ... is appended to the whole name until a move succeeds, unless a file met on
// the way holds the same bytes: then that one is the item and the stored copy is removed. A
// missing mailbox directory (of a plain name) is made first, private. The mailbox
// directory is flushed after the move (unless flush is false: then syncMailbox must follow
// before the server is told to delete it), so the item is on disk before the server is told
// to delete it; a flush that fails answers not stored). A move that fails otherwise leaves the file where it was and logs
// "FILE ERROR DURING ROUTING OF INCOMING MAIL <errno>". Answers the destination path (with
// its suffix, if one was used) in every case.
RoutedItem routeIncomingItem(const std::string& storedPath, const std::string& destMailbox, bool flush = true);

// Flushes the mailbox directory of destMailbox, for the moves made without a flush. False,
// logged "Unable to flush mailbox directory : <dir> : <reason>" (APP, HIGH), when it cannot:
// then what was moved there may not survive a power loss.
bool syncMailbox(const std::string& destMailbox);

// Why no item could be stored in the mailbox of destMailbox (a text for the log, such as
// "Permission denied"), or empty when one can. A missing mailbox directory of a plain name
// is made first, as a move would make it.
std::string mailboxProblem(const std::string& destMailbox);
