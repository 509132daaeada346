#include "platform/file_syncer.h"

#include "platform/files.h"

namespace plat {

FileSyncer::~FileSyncer() {
    {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return done_ == outcomes_.size(); });
        stopping_ = true;
        changed_.notify_all();
    }
    if (thread_.joinable()) thread_.join();
}

std::size_t FileSyncer::hand(FilePtr file) {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(std::move(file));
    outcomes_.push_back(Pending);
    if (!thread_.joinable()) thread_ = std::thread([this] { work(); });
    changed_.notify_all();
    return outcomes_.size() - 1;
}

void FileSyncer::work() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) return;
        FilePtr file = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        bool synced = file && syncFile(file.get()) == 0;
        if (!closeFile(file)) synced = false;
        lock.lock();
        outcomes_[done_++] = synced ? Synced : Failed;
        changed_.notify_all();
    }
}

bool FileSyncer::outcome(std::size_t ticket) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (ticket >= outcomes_.size()) return false;
    changed_.wait(lock, [&] { return ticket < done_; });
    return outcomes_[ticket] == Synced;
}

}  // namespace plat
