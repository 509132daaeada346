#include "platform/file_maker.h"

#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

namespace plat {

namespace {

// Two: on a machine of two cores the search for free inodes, when it is slow, is work for
// the processor, and the receiving loop needs its share.
constexpr int kMakerThreads = 2;

// As openFile(path, "wb"), but the new file is made without a name in path's directory and
// linked in once it exists. A file system or system without nameless files, and a name
// already taken (a partial file of an earlier attempt, emptied here), take the plain way.
FilePtr makeFileToWrite(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    Descriptor fd(::open(dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
    if (fd.valid()) {
        std::string self = "/proc/self/fd/" + std::to_string(fd.get());
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            if (std::FILE* f = ::fdopen(fd.get(), "wb")) {
                fd.release();
                return FilePtr(f);
            }
            ::unlink(path.c_str());
        }
    }
    return openFile(path, "wb");
}

}  // namespace

FileMaker::~FileMaker() {
    discard();
}

void FileMaker::request(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto added = entries_.insert(entries_.end(), Entry{Entry::Queued, path, nullptr});
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
        FilePtr file = makeFileToWrite(path);
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
    for (std::thread& t : threads_) t.join();
    threads_.clear();
    for (Entry& e : entries_) {
        if (!e.file) continue;
        e.file.reset();
        std::remove(e.path.c_str());
    }
    entries_.clear();
    next_ = entries_.end();
}

}  // namespace plat
