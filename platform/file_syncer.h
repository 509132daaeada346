// Files flushed to the disk and closed on threads of their own. A writer that must know each
// file is on the disk before it goes on, but meanwhile has other work (receiving the next
// ones), hands a file over as soon as it is written and asks for the outcome only when it
// needs it: the waits for the disk overlap the rest of its work. Several files are synced at
// once, so that the disk's cache flushes serve more than one file each.
#pragma once

#include "platform/owned_handles.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace plat {

class FileSyncer {
public:
    FileSyncer() = default;
    // Waits until every file handed over is synced and closed.
    ~FileSyncer();
    FileSyncer(const FileSyncer&) = delete;
    FileSyncer& operator=(const FileSyncer&) = delete;

    // Takes file over: a thread flushes its buffer, syncs it to the disk and closes it, begun
    // in the order handed. Answers the ticket by which its outcome is asked.
    std::size_t hand(FilePtr file);
    // Waits for the file of ticket: true when it reached the disk and closed cleanly.
    bool outcome(std::size_t ticket);

private:
    enum Outcome : char { Pending, Synced, Failed };
    void work();

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<FilePtr> queue_;  // handed and not yet begun, in ticket order
    std::vector<Outcome> outcomes_;  // by ticket
    std::size_t begun_ = 0;  // tickets taken by a thread, from the first
    std::size_t done_ = 0;  // how many of those are finished
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace plat
