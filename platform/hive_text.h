// The text of a hive file, as the registry editor exports it: a REGEDIT4 line, then [key]
// sections below one root key, each followed by its values ("name"="string", @ for the default
// value, dword:, hex: and hex(type): with lines continued by a backslash). ';' starts a comment.
// Deleting keys or values ([-key], "name"=-) is refused. For the registry's own files.
#pragma once

#include "platform/hive_tree.h"

#include <string>
#include <string_view>

namespace plat::hive {

// Reads text, whose keys must all lie below the root key rootName, into tree. A leading UTF-8
// byte order mark and CR LF line ends are accepted. On failure error names the line and what is
// wrong with it ("line 4: hex without ':'"), and tree is to be thrown away.
bool parseHive(std::string_view text, const char* rootName, Node& tree, std::string& error);

// The text of the tree below root, whose keys are written below rootName; parseHive reads it
// back to the same tree.
std::string formatHive(const Node& root, const char* rootName);

}  // namespace plat::hive
