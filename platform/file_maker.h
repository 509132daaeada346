// Files made ahead of their use, on threads of their own. Creating a file can cost far more
// than filling it (the file system searches for a free inode, and on some set-ups skips every
// one freed in the last minutes), so a writer that knows the names of the files it will need
// has them made while its own loop goes on receiving. Where the system allows, a file is made
// without a name and named when it is taken: the search then holds no directory (a rename into
// or out of it would wait), and the files of a program killed before it took them leave
// nothing behind.
#pragma once

#include "platform/owned_handles.h"

#include <condition_variable>
#include <cstddef>
#include <list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace plat {

class FileMaker {
public:
    FileMaker() = default;
    // Stops as discard() does.
    ~FileMaker();
    FileMaker(const FileMaker&) = delete;
    FileMaker& operator=(const FileMaker&) = delete;

    // Queues path to be created (or emptied) and opened for writing, as openFile(path, "wb").
    void request(const std::string& path);
    // The file requested for path, named path from now on, waiting while a thread makes it.
    // Null when path is not waiting here, could not be made, or is not begun yet (the caller
    // then makes it at once rather than wait for those before it): the caller then opens it
    // itself, and learns why it fails.
    FilePtr take(const std::string& path);
    // Whether path is requested and not yet taken.
    bool holds(const std::string& path) const;
    // Whether a thread has dealt with path (made it, or failed to) and it waits to be taken.
    bool ready(const std::string& path) const;
    // Files requested and not yet taken.
    std::size_t waiting() const;
    // Ends the threads; the files they made that were never taken are closed and removed, those
    // not yet begun are never made.
    void discard();

private:
    struct Entry {
        enum State { Queued, Making, Made } state;
        std::string path;
        FilePtr file;
        bool named;  // false: made without a name, given path when taken
    };
    void work();

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::list<Entry> entries_;  // in the order requested
    std::list<Entry>::iterator next_ = entries_.end();  // the first still queued
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace plat
