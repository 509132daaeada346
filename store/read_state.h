// Read state of a mail item, kept in the file's permission bits: an item whose file has no
// write bit is read. Shared by the listing, the local POP3 server and the front end.
#pragma once

#include <string>

namespace store {

// Queries the file now. True when the item is read, or when the query fails.
bool isItemRead(const std::string& path);

enum class ReadState { Unread, Read };

// Read clears every write bit, Unread sets the owner's. On a refused change writes two
// (APP, HIGH) lines, "unable to set file as READ <errno>" (or UNREAD) and the path, and answers
// false. True on success.
bool setItemRead(const std::string& path, ReadState state);

}  // namespace store
