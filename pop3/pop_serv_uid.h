// The identifier the local POP3 server reports by UIDL for one item of a mailbox.
#pragma once

#include <string>

// The item's id (the provider's own identifier for a retrieved item) when every byte of it is
// a visible ASCII character, as POP3 requires. Otherwise each other byte is written as "_"
// and two upper-case hex digits, so that a hostile or broken identifier can never put a line
// end, a blank or a control character into a reply line. An empty id reports the file name,
// written the same way.
std::string uidlReplyId(const std::string& id, const std::string& fileName);
