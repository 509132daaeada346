// The desktop's application registrations (XDG desktop entries and mimeapps.list), read from
// files; no helper program is run.
#pragma once

#include <string>
#include <vector>

namespace plat {

struct DesktopEntry {
    std::string id;  // "mail-reader.desktop"; subfolders joined with "-"
    std::string name;  // Name=, untranslated
    std::string exec;  // Exec= with its value escapes undone
    std::vector<std::string> mimeTypes;  // MimeType=
    std::vector<std::string> categories;  // Categories=
    bool hidden = false;  // Hidden=true or NoDisplay=true
};

// $XDG_DATA_HOME/applications, then each $XDG_DATA_DIRS/applications, in that order.
std::vector<std::string> applicationDirs();

// Every application entry, the first of an id winning, sorted by id.
std::vector<DesktopEntry> desktopEntries();

// The id of the default application for a MIME type from the mimeapps.list files
// ($XDG_CONFIG_HOME, $XDG_CONFIG_DIRS, then the data directories' applications/), the first
// listed id that is installed; empty when none is.
std::string defaultApplication(const std::string& mimeType);

// An Exec= line with its field codes (%u %U %f %F %i %c %k and the deprecated ones) removed
// and %% made %.
std::string stripFieldCodes(const std::string& exec);

}  // namespace plat
