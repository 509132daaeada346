#include "platform/file_syncer.h"

#include "platform/files.h"

namespace plat {

namespace {
// Threads waiting for the disk cost no processor; beyond four, more gained little.
constexpr int kSyncThreads = 4;
}  // namespace

FileSyncer::~FileSyncer() {
    {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return done_ == outcomes_.size(); });
        stopping_ = true;
        changed_.notify_all();
    }
    for (std::thread& t : threads_) t.join();
}

std::size_t FileSyncer::hand(FilePtr file) {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(std::move(file));
    outcomes_.push_back(Pending);
    if (threads_.empty()) {
        for (int i = 0; i < kSyncThreads; ++i) threads_.emplace_back([this] { work(); });
    }
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
        std::size_t ticket = begun_++;
        lock.unlock();
        bool synced = file && syncFile(file.get()) == 0;
        if (!closeFile(file)) synced = false;
        lock.lock();
        outcomes_[ticket] = synced ? Synced : Failed;
        ++done_;
        changed_.notify_all();
    }
}

bool FileSyncer::outcome(std::size_t ticket) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (ticket >= outcomes_.size()) return false;
    changed_.wait(lock, [&] { return outcomes_[ticket] != Pending; });
    return outcomes_[ticket] == Synced;
}

}  // namespace plat
