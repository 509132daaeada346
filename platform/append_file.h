// A file appended to by several processes, kept open between writes.
#pragma once

#include "platform/owned_handles.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace plat {

// Holds one path open for appending (created like fopen's "a"), and opens it again when the
// caller names another path or when the path no longer leads to the open file: removed,
// renamed away or replaced by another process, or a relative path after a change of directory.
class AppendFile {
public:
    // Appends text with one write, so that appenders holding a common lock never split each
    // other's text. False when the file cannot be opened or the write fails or falls short.
    [[nodiscard]] bool append(const std::string& path, std::string_view text);
    void close();

private:
    bool pathLeadsToOpenFile(const std::string& path) const;

    Descriptor fd_;
    std::string path_;
    std::uint64_t device_ = 0;
    std::uint64_t inode_ = 0;
};

}  // namespace plat
