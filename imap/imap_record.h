// What an IMAP account's identifier file holds, and the small texts of the retrieval.
//
// Each message stored is one entry of the account's identifier file (the POP3 accounts' file
// format): "imap:FOLDER:UIDVALIDITY:UID", a tab, the time it was fetched (seconds since 1970
// UTC), a tab, its size in bytes, a tab, its Message-ID (may be empty). The key before the
// first tab names the message for as long as the folder's UIDVALIDITY stands; size and
// Message-ID let a new UIDVALIDITY be matched to the messages already stored.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace imaprec {

struct Entry {
    std::string folder;
    std::uint32_t uidValidity = 0;
    std::uint32_t uid = 0;
    long long fetched = 0;
    std::uint64_t size = 0;
    std::string messageId;
};

// "imap:FOLDER:UIDVALIDITY:UID": also the id in the item file's name.
std::string key(const std::string& folder, std::uint32_t uidValidity, std::uint32_t uid);
std::string identifier(const Entry& e);
// None for anything that is not an entry of this form (a POP3 identifier, a damaged one).
std::optional<Entry> parse(std::string_view identifier);

// The Message-ID in a header block ("Message-ID: <a@b>", folded or not, any case), without
// blanks around it; empty when there is none. Control characters are dropped.
std::string messageId(std::string_view header);

// A folder's name as the settings or an old record hold it, in UTF-8. A name with "&" that is
// valid modified UTF-7 is the server's own form of a name (copied from another program's
// settings, or recorded before names were kept in UTF-8) and stands for what it decodes to.
std::string utf8FolderName(std::string name);

// The folders of the "imapfolders" setting, "," separated, blanks around each name dropped,
// each once and in UTF-8; all is set when one of them is "ALL" (any case), which is not listed.
std::vector<std::string> folderList(const std::string& setting, bool& all);

// Whether LIST's flags and name make a folder that "ALL" skips: not selectable, or holding
// copies of mail found in other folders (\All, \Trash, \Junk, "[Gmail]/All Mail").
bool skippedByAll(const std::vector<std::string>& flags, const std::string& name);

// An IMAP quoted string; false when text holds a byte a quoted string cannot carry.
bool quote(const std::string& text, std::string& out);

// A UID set for a command, runs written as ranges: 1:3,7,9:10. uids ascending.
std::string uidSet(const std::vector<std::uint32_t>& uids);

}  // namespace imaprec

// An item file's text in the form POP3 items are kept in: CRLF line ends as they came, a
// leading "." of a line doubled, and the text ending with CRLF (added when the message did
// not end so). Bytes go straight to the file as they come.
class TransferFormWriter {
public:
    explicit TransferFormWriter(std::FILE* file = nullptr) : file_(file) {}
    void write(std::string_view bytes);
    // Adds the final CRLF when needed; false when any write failed.
    bool finish();
    bool failed() const { return failed_; }

private:
    void put(const char* data, std::size_t n);
    std::FILE* file_;
    bool lineStart_ = true;
    char last_ = '\n';
    char beforeLast_ = '\r';
    bool any_ = false;
    bool failed_ = false;
};
