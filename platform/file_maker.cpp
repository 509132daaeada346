#include "platform/file_maker.h"

#include "platform/files.h"

#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

namespace plat {

namespace {

// Two: on a machine of two cores the search for free inodes, when it is slow, is work for
// the processor, and the receiving loop needs its share.
constexpr int kMakerThreads = 2;

// A file to be named path, made empty and open for writing. Where the system allows, it is
// made without a name (named: false): the search for a free inode then holds no directory, and
// a file never named vanishes when it closes, also when the program is killed. Elsewhere it is
// made as openFile(path, "wb") makes it.
FilePtr makeFileFor(const std::string& path, bool& named) {
    std::string dir = folderOf(path);
    Descriptor fd(::open(dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
    if (fd.valid()) {
        if (std::FILE* f = ::fdopen(fd.get(), "wb")) {
            fd.release();
            named = false;
            return FilePtr(f);
        }
    }
    named = true;
    return openFile(path, "wb");
}

// Gives a file made without a name its name; false when it cannot have it (the name is taken,
// or the system offers no way to name it).
bool giveName(std::FILE* f, const std::string& path) {
    std::string self = "/proc/self/fd/" + std::to_string(::fileno(f));
    return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0;
}

}  // namespace

FileMaker::~FileMaker() {
    discard();
}

void FileMaker::request(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto added = entries_.insert(entries_.end(), Entry{Entry::Queued, path, nullptr, true});
    if (next_ == entries_.end()) next_ = added;
    if (threads_.empty()) {
        stopping_ = false;
        for (int i = 0; i < kMakerThreads; ++i) threads_.emplace_back([this] { work(); });
    }
    changed_.notify_all();
}

void FileMaker::work() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || next_ != entries_.end(); });
        if (stopping_) return;
        // The entry stays in the list while it is made: take() waits for it, and discard()
        // waits for the threads.
        auto entry = next_++;
        entry->state = Entry::Making;
        std::string path = entry->path;
        lock.unlock();
        bool named = true;
        FilePtr file = makeFileFor(path, named);
        lock.lock();
        entry->file = std::move(file);
        entry->named = named;
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
        bool named = it->named;
        entries_.erase(it);
        lock.unlock();
        // A name already taken (a partial file of an earlier attempt) is that file, emptied.
        if (file && !named && !giveName(file.get(), path)) return openFile(path, "wb");
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
    for (std::thread& t : threads_) t.join();
    threads_.clear();
    for (Entry& e : entries_) {
        if (!e.file) continue;
        e.file.reset();
        if (e.named) std::remove(e.path.c_str());
    }
    entries_.clear();
    next_ = entries_.end();
}

}  // namespace plat
