// Mail item file names: the escaping of name parts, the two name forms and their parsing,
// and the exclusive creation of a new time-stamped item file.
//
// A time-stamped name is "YYYYMMDDhhmmssmmm.rfc822" (UTC, items taken in by the local SMTP
// server); an owner-tagged name is "[" tag "]" id ".rfc822" (items retrieved from an account),
// where tag and id are escaped so that neither holds ".", "[" or "]". Names are held in
// std::string and may be of any length.
#pragma once

#include "platform/owned_handles.h"

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

namespace store {

inline constexpr std::string_view kItemExtension = ".rfc822";

// The directory as a prefix for file names: "/" appended ("outgoing/" gives "outgoing//",
// which the file system accepts); an empty directory is the working directory, "./".
std::string directoryPrefix(const std::string& directory);

// Letters and digits are copied; every other byte becomes "_" and its value as "%2X"
// (upper-case hex, blank-padded to width 2): "@" -> "_40", "_" -> "_5F", tab -> "_ 9".
std::string encodeNamePart(std::string_view text);

// Inverse of encodeNamePart. At each "_" the next two characters (fewer at the end of the
// text) are read as a hex number, leading blanks allowed, and its byte is emitted; when they
// hold no hex digit the character "0" is emitted. The characters read are skipped either way.
std::string decodeNamePart(std::string_view text);

struct ItemFileName {
    std::string ownerTag;  // as in the name, still escaped; empty for a time-stamped name
    std::string id;  // decoded
};

// Splits a file name (without directory). A name beginning with "[" and holding a "]" has the
// owner tag between them and the id after the "]"; any other name has no owner tag and the id
// is taken from the whole name. The id is cut at its first "." and decoded.
ItemFileName parseItemFileName(std::string_view name);

// The longest file name the file systems take, in bytes.
inline constexpr std::size_t kMaxItemFileName = 255;
// The longest owner tag a shortened name keeps (what a mailbox listing shows of it).
inline constexpr std::size_t kMaxShortenedOwnerTag = 127;

// "[" + encodeNamePart(owner) + "]" + encodeNamePart(id) + ".rfc822", without directory.
// A name longer than kMaxItemFileName keeps that form, but its escaped id (and, past
// kMaxShortenedOwnerTag, its tag) is cut and ends in "_7e" and 32 lower-case hex digits of a
// hash of the whole unescaped text: the same message always gets the same name, two messages
// practically never share one, and since escaping never writes a lower-case hex digit after
// "_", a shortened name never equals a name that fits. Its id decodes to the kept part, "~"
// and the hash digits.
std::string ownerTaggedName(std::string_view owner, std::string_view id);

// directoryPrefix(directory) + ownerTaggedName(owner, id).
// owner is the account's "user@host"; the same owner and id always give the same path.
std::string makeItemFileName(const std::string& directory, std::string_view owner, std::string_view id);

// "%04d%02d%02d%02d%02d%02d%03d.rfc822" for a UTC time in milliseconds since 1970.
std::string itemNameForMs(long long utcMs);

// The name for the current UTC millisecond; when that would repeat or go back behind the last
// name this process made (two items in one millisecond, a clock set back), the last name's
// millisecond plus one. Names of one process are thus unique and increasing, and nothing
// waits. It does not look at the file system: create the file with createNewItemFile, never
// by opening this name for writing.
std::string newItemFileName();

// Whether name (without directory) has exactly the time-stamped form: 17 digits and ".rfc822".
bool isTimeStampedItemName(std::string_view name);

using ItemNameMaker = std::string (*)();

struct NewItemFile {
    plat::FilePtr file;  // open for binary writing; a writer closes it with closeFile
    std::string name;  // file name without directory
    std::string path;  // directoryPrefix(directory) + name, or name when directory is empty
    int error = 0;  // errno value when file is null
};

inline constexpr int kNewItemAttempts = 100;

// Creates a new time-stamped item file in directory (empty: the working directory) with
// O_EXCL, so that a repeated name (a clock set back) never truncates another item. A name that
// already exists there, or as an item or routing file in alsoAbsentFrom (the queue the file
// will be moved into; empty: no such check), is made again after the next millisecond, at most
// kNewItemAttempts times; then file is null and error is EEXIST. Any other creation error ends
// at once with that error.
NewItemFile createNewItemFile(const std::string& directory, const std::string& alsoAbsentFrom = {},
                              ItemNameMaker makeName = newItemFileName);

}  // namespace store
