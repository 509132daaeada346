// File-system helpers: directory search, moves that never replace, read-only state, flushing.
#pragma once

#include "platform/owned_handles.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace plat {

struct DirEntry {
    std::string name;  // without directory
    std::uint64_t size;
};

// Regular files of dir whose names end exactly in suffix (case-sensitive), in readdir order.
// A directory that cannot be opened lists nothing.
std::vector<DirEntry> listFiles(const std::string& dir, const std::string& suffix);

// Renames from to to, failing with EEXIST when to exists. Returns 0 or the errno value.
int moveFileNoReplace(const std::string& from, const std::string& to);

// unlink; returns 0 or the errno value.
int deleteFile(const std::string& path);

// Read state of an item: true when no write permission bit is set. A failing query answers true.
bool isReadOnly(const std::string& path);

// Clears every write bit (readOnly) or sets the owner's write bit. Returns 0 or the errno value.
int setReadOnly(const std::string& path, bool readOnly);

// Creates path for binary writing, failing if it exists (O_EXCL). Null with err set on failure.
FilePtr createExclusive(const std::string& path, int* err);

// Flushes stdio buffers and the file's data to disk. Returns 0 or the errno value.
int syncFile(std::FILE* f);

// The directory that holds path: "." for a bare name, "/" for a name at the root.
std::string folderOf(const std::string& path);

// fsync of the directory that holds path (after a rename into it). Returns 0 or the errno value.
int syncDirectoryOf(const std::string& path);

// Creates one directory level (mode 0700) and, when it made it, flushes the directory that
// holds it: a new directory's entry is only durable once its parent is, and so is everything
// later put in it. Returns 0 when the directory exists afterwards (and, if made here, its
// parent was flushed), else the errno value (ENOTDIR: something else has the name). made:
// whether it was made here.
int makeDirectoryDurably(const std::string& path, bool* made = nullptr);

// makeDirectoryDurably, answering whether it succeeded.
bool makeDirectory(const std::string& path);

// Creates one directory level (mode 0700), or takes the group's and others' permissions
// from an existing one (madePrivate then tells whether it had any). A symbolic link is
// neither followed nor changed: what it points to may lie outside the caller's tree.
// Returns 0 or the errno value (ELOOP for a link, ENOTDIR for anything else but a directory).
// made: whether the directory was made here; its parent is not flushed (syncDirectoryOf).
int makePrivateDirectory(const std::string& path, bool& madePrivate, bool* made = nullptr);

// Only the owner may read or write what the process creates from here on (umask 077).
void keepNewFilesPrivate();
// The mask the process was started with, for a program it starts for the user (an e-mail
// program, a viewer): their files are none of the gateway's business. Async-signal-safe.
void restoreUserUmask();

bool fileExists(const std::string& path);

// What tells one version of a file from another: identity, size and the modification and
// status-change times in nanoseconds since 1970 (UTC). Any write, rename over, truncation or
// utime() call changes at least one of them.
struct FileStamp {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t modifiedNs = 0;
    std::int64_t changedNs = 0;
    bool readOnly = false;  // no write bit: the read state isReadOnly answers
    bool operator==(const FileStamp&) const = default;
};

// The stamp of path; false when it cannot be had (no such file, not a regular file).
bool fileStamp(const std::string& path, FileStamp& out);

// Whether both paths can be read whole and hold the same bytes.
bool sameFileContents(const std::string& a, const std::string& b);

// One descriptor held in reserve for a process that runs out: releasing it lets the process
// write its log line about the shortage; holding it again takes it back. Both are harmless
// when repeated.
void holdSpareDescriptor();
void releaseSpareDescriptor();

// The errno value of the last failed call on this thread.
int lastError();

}  // namespace plat
