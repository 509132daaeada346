// One hive file on disk as this process last read it. Readers re-read the file whenever it has
// changed; writers hold the writers' lock (<hive>.lock beside it), re-read it, change the tree
// and rename a flushed temporary file over it. A file of ours that cannot be parsed stays where
// it is (an editor may still be writing it) and is never overwritten: a copy is kept as
// <hive>.bad (<hive>.bad.1, ... for other contents), the last contents that could be parsed are
// served, writes are refused, and the file is read again when it changes. Every problem is
// reported on standard error. For the registry's own files.
#pragma once

#include "platform/hive_tree.h"
#include "platform/owned_handles.h"

#include <string>
#include <sys/types.h>

namespace plat::hive {

// The writers' lock, user.reg.lock beside the hive, held for one scope.
class HiveLock {
public:
    explicit HiveLock(const std::string& hivePath);
    bool held() const { return fd_.valid(); }

private:
    Descriptor fd_;  // closing it drops the lock
};

// What identifies one version of a file: a rewrite or a replacement changes some of it.
struct FileId {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    long mtimeSec = 0, mtimeNsec = 0, ctimeSec = 0, ctimeNsec = 0;
    bool operator==(const FileId&) const = default;
};

// Empty: no file. Unusable: a file we cannot read: reads see an empty hive, writes fail.
// Unparsable: a file of ours that cannot be parsed: reads see the last contents that could be
// (or an empty hive), writes fail.
enum class HiveState { Empty, Loaded, Unusable, Unparsable };

// Not thread-safe: the caller serialises every use of one HiveFile.
class HiveFile {
public:
    // rootName is the root key the file's sections name. A file that is ours gets a copy kept
    // aside when it cannot be parsed and may be written; another one is only ignored. problems
    // receives the text of each problem reported, and must outlive this object.
    enum class Owner { Ours, Others };
    enum class Reread { IfChanged, Always };
    HiveFile(const char* rootName, Owner owner, std::string& problems);
    HiveFile(const HiveFile&) = delete;
    HiveFile& operator=(const HiveFile&) = delete;

    // Brings the tree up to date with the file at path. Readers re-read only a changed file;
    // writers (under the writers' lock) always re-read.
    void refresh(const std::string& path, Reread reread);
    // Writes the tree to a flushed temporary file and renames it over the hive.
    bool write();
    // The tree no longer describes the file (it holds an unwritten change): the next refresh
    // reads the file again.
    void forget() { known_ = false; }

    HiveState state() const { return state_; }
    // What is wrong with the file as last read (path, line and fault), empty while it is fine.
    const std::string& problem() const { return problem_; }
    Node& tree() { return root_; }

private:
    void report(const std::string& text);
    void resetTo(HiveState state);
    void markMissing();
    void markUnusable(const FileId& id, const std::string& why);
    void markUnparsable(Descriptor fd, const FileId& id, const std::string& text, const std::string& why);

    const char* rootName_;
    bool ours_;
    std::string& problems_;
    std::string path_;
    bool known_ = false;  // state and tree describe the file as identified by id (or its absence)
    bool missing_ = true;
    FileId id_;
    HiveState state_ = HiveState::Empty;
    Node root_;
    // The file last read stays open, so that its inode number cannot be reused by a later
    // file while we compare against it.
    Descriptor pinFd_;
    bool reported_ = false;
    FileId reportedId_;
    std::string problem_;
};

}  // namespace plat::hive
