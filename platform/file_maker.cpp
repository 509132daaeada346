#include "platform/file_maker.h"

#include <cstdio>

namespace plat {

FileMaker::~FileMaker() {
    discard();
}

void FileMaker::request(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto added = entries_.insert(entries_.end(), Entry{Entry::Queued, path, nullptr});
    if (next_ == entries_.end()) next_ = added;
    if (!thread_.joinable()) {
        stopping_ = false;
        thread_ = std::thread([this] { work(); });
    }
    changed_.notify_all();
}

void FileMaker::work() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || next_ != entries_.end(); });
        if (stopping_) return;
        // The entry stays in the list while it is made: take() waits for it, and discard()
        // waits for this thread.
        auto entry = next_++;
        entry->state = Entry::Making;
        std::string path = entry->path;
        lock.unlock();
        FilePtr file = openFile(path, "wb");
        lock.lock();
        entry->file = std::move(file);
        entry->state = Entry::Made;
        changed_.notify_all();
    }
}

FilePtr FileMaker::take(const std::string& path) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (it->path != path) continue;
        // One not begun yet the caller makes at once itself, rather than wait for those before.
        if (next_ == it) ++next_;
        changed_.wait(lock, [&] { return it->state != Entry::Making; });
        FilePtr file = std::move(it->file);
        entries_.erase(it);
        return file;
    }
    return nullptr;
}

bool FileMaker::holds(const std::string& path) const {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const Entry& e : entries_)
        if (e.path == path) return true;
    return false;
}

bool FileMaker::ready(const std::string& path) const {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const Entry& e : entries_)
        if (e.path == path) return e.state == Entry::Made;
    return false;
}

std::size_t FileMaker::waiting() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_.size();
}

void FileMaker::discard() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        changed_.notify_all();
    }
    if (thread_.joinable()) thread_.join();
    for (Entry& e : entries_) {
        if (!e.file) continue;
        e.file.reset();
        std::remove(e.path.c_str());
    }
    entries_.clear();
    next_ = entries_.end();
}

}  // namespace plat
