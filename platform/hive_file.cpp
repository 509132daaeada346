#include "platform/hive_file.h"

#include "platform/files.h"
#include "platform/hive_text.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace plat::hive {
namespace {

// Far beyond any real hive; bounds the memory a stray file can make us use.
constexpr std::size_t kMaxHiveBytes = std::size_t{16} << 20;
constexpr std::size_t kMaxBadNames = 1000;

FileId idOf(const struct stat& st) {
    return {st.st_dev,          st.st_ino,         st.st_size,        st.st_mtim.tv_sec,
            st.st_mtim.tv_nsec, st.st_ctim.tv_sec, st.st_ctim.tv_nsec};
}

// Keeps text in the first of path.bad, path.bad.1, ... that is free or already holds it; never
// replaces another file. Returns 0 or the errno value.
int keepCopy(const std::string& path, const std::string& text, std::string& target) {
    for (std::size_t n = 0; n < kMaxBadNames; ++n) {
        target = path + ".bad" + (n ? "." + std::to_string(n) : std::string());
        struct stat st {};
        if (::stat(target.c_str(), &st) == 0) {
            if (static_cast<std::size_t>(st.st_size) != text.size()) continue;
            FilePtr f = openFile(target, "rb");
            if (!f) continue;
            std::string held(text.size(), '\0');
            if (std::fread(held.data(), 1, held.size(), f.get()) == held.size() && held == text) return 0;
            continue;
        }
        std::string tmp = path + ".tmp.XXXXXX";
        Descriptor fd(::mkostemp(tmp.data(), O_CLOEXEC));  // mode 0600: the hive holds passwords
        if (!fd.valid()) return errno;
        bool ok = ::write(fd.get(), text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
                  ::fsync(fd.get()) == 0;
        int err = ok ? 0 : errno;
        fd.reset();
        if (err == 0) err = moveFileNoReplace(tmp, target);
        if (err != 0) ::unlink(tmp.c_str());
        if (err == EEXIST) continue;
        if (err == 0) syncDirectoryOf(target);
        return err;
    }
    return EEXIST;
}

// Reads the whole file, at most kMaxHiveBytes + 1 bytes. Returns 0 or the errno value.
int readAll(int fd, std::string& text) {
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return 0;
        text.append(buf, static_cast<std::size_t>(n));
        if (text.size() > kMaxHiveBytes) return 0;
    }
}

}  // namespace

// ---------------------------------------------------------------- the writers' lock

HiveLock::HiveLock(const std::string& hivePath) {
    fd_.reset(::open((hivePath + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!fd_.valid()) return;
    while (::flock(fd_.get(), LOCK_EX) != 0) {
        if (errno != EINTR) {
            fd_.reset();
            return;
        }
    }
}

// ---------------------------------------------------------------- the file

HiveFile::HiveFile(const char* rootName, Owner owner, std::string& problems)
    : rootName_(rootName),
      ours_(owner == Owner::Ours),
      problems_(problems) {}

void HiveFile::report(const std::string& text) {
    problems_ = text;
    std::fprintf(stderr, "tarnwick: %s\n", text.c_str());
}

void HiveFile::resetTo(HiveState state) {
    root_ = Node();
    problem_.clear();
    pinFd_.reset();
    state_ = state;
}

void HiveFile::markMissing() {
    resetTo(HiveState::Empty);
    known_ = true;
    missing_ = true;
}

void HiveFile::markUnusable(const FileId& id, const std::string& why) {
    resetTo(HiveState::Unusable);
    known_ = true;
    missing_ = false;
    id_ = id;
    problem_ = "the registry file " + path_ + " cannot be used (" + why + "); it is left as it is";
    if (!reported_ || !(reportedId_ == id)) {
        report(problem_);
        reported_ = true;
        reportedId_ = id;
    }
}

// A file of ours that cannot be parsed stays in place: it may be an editor's unfinished
// write, whose finished text must land in the real file. The tree keeps the last contents that
// could be parsed; the file is identified so that its next change is read.
void HiveFile::markUnparsable(Descriptor fd, const FileId& id, const std::string& text, const std::string& why) {
    pinFd_ = std::move(fd);
    state_ = HiveState::Unparsable;
    known_ = true;
    missing_ = false;
    id_ = id;
    if (reported_ && reportedId_ == id) return;
    reported_ = true;
    reportedId_ = id;
    std::string target;
    int err = keepCopy(path_, text, target);
    std::string copy = err == 0 ? "a copy is kept as " + target
                                : std::string("no copy could be kept: ") + std::strerror(err);
    problem_ = "the registry file " + path_ + " cannot be parsed (" + why + "); it is left as it is, " + copy +
               ", the last contents that could be read are used, and nothing is written to it until it changes";
    report(problem_);
}

void HiveFile::refresh(const std::string& path, Reread reread) {
    bool force = reread == Reread::Always;
    if (path_ != path) {
        // Another file altogether: nothing known about the old one applies to it.
        resetTo(HiveState::Empty);
        known_ = false;
        missing_ = true;
        id_ = FileId();
        reported_ = false;
        reportedId_ = FileId();
        path_ = path;
    }
    for (int attempt = 0; attempt < 5; ++attempt) {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) {
            if (errno == ENOENT) markMissing();
            else markUnusable(FileId(), std::strerror(errno));
            return;
        }
        if (!force && known_ && !missing_ && id_ == idOf(st)) return;
        Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
        if (!fd.valid()) {
            if (errno == ENOENT) continue;
            markUnusable(idOf(st), std::strerror(errno));
            return;
        }
        // Identify what was opened, not what the name meant a moment earlier.
        if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
            markUnusable(idOf(st), "not a regular file");
            return;
        }
        FileId id = idOf(st);
        std::string text;
        if (int err = readAll(fd.get(), text)) {
            markUnusable(id, std::strerror(err));
            return;
        }
        Node tree;
        std::string why;
        if (text.size() > kMaxHiveBytes) why = "larger than 16 MiB";
        else parseHive(text, rootName_, tree, why);
        if (why.empty()) {
            resetTo(HiveState::Loaded);
            root_ = std::move(tree);
            pinFd_ = std::move(fd);
            known_ = true;
            missing_ = false;
            id_ = id;
            return;
        }
        if (!ours_) {
            // Not ours: ignore it until it changes.
            markUnusable(id, why);
            return;
        }
        markUnparsable(std::move(fd), id, text, why);
        return;
    }
    markUnusable(FileId(), "it keeps changing while it is read");
}

bool HiveFile::write() {
    std::string text = formatHive(root_, rootName_);
    std::string tmp = path_ + ".tmp.XXXXXX";
    Descriptor fd(::mkostemp(tmp.data(), O_CLOEXEC));  // mode 0600: the hive holds passwords
    if (!fd.valid()) return false;
    std::size_t done = 0;
    bool ok = true;
    while (ok && done < text.size()) {
        ssize_t n = ::write(fd.get(), text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) ok = false;
        else done += static_cast<std::size_t>(n);
    }
    if (!ok || ::fsync(fd.get()) != 0 || ::rename(tmp.c_str(), path_.c_str()) != 0) {
        fd.reset();
        ::unlink(tmp.c_str());
        return false;
    }
    syncDirectoryOf(path_);
    struct stat st {};
    state_ = HiveState::Loaded;
    known_ = ::fstat(fd.get(), &st) == 0;  // after the rename, which changes the file's ctime
    missing_ = false;
    id_ = idOf(st);
    pinFd_ = std::move(fd);
    return true;
}

}  // namespace plat::hive
