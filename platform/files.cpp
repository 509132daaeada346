#include "platform/files.h"

#include "platform/fault_hooks.h"
#include "platform/owned_handles.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace plat {

std::vector<DirEntry> listFiles(const std::string& dir, const std::string& suffix) {
    std::vector<DirEntry> out;
    std::unique_ptr<DIR, int (*)(DIR*)> d(::opendir(dir.empty() ? "." : dir.c_str()), ::closedir);
    if (!d) return out;
    while (dirent* e = ::readdir(d.get())) {
        std::string name = e->d_name;
        if (name.size() < suffix.size() || name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        struct stat st {};
        if (::fstatat(::dirfd(d.get()), e->d_name, &st, 0) != 0 || !S_ISREG(st.st_mode)) continue;
        out.push_back({std::move(name), static_cast<std::uint64_t>(st.st_size)});
    }
    return out;
}

int moveFileNoReplace(const std::string& from, const std::string& to) {
#ifdef SYS_renameat2
    if (::syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
#endif
    // File systems without RENAME_NOREPLACE: a hard link fails on an existing target.
    if (::link(from.c_str(), to.c_str()) != 0) return errno;
    if (::unlink(from.c_str()) != 0) return errno;
    return 0;
}

namespace {
Descriptor spareDescriptor;
}  // namespace

void holdSpareDescriptor() {
    if (!spareDescriptor.valid()) spareDescriptor.reset(::open("/dev/null", O_RDONLY | O_CLOEXEC));
}

void releaseSpareDescriptor() {
    spareDescriptor.reset();
}

bool fileStamp(const std::string& path, FileStamp& out) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    auto ns = [](const timespec& t) { return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec; };
    out.device = static_cast<std::uint64_t>(st.st_dev);
    out.inode = static_cast<std::uint64_t>(st.st_ino);
    out.size = static_cast<std::uint64_t>(st.st_size);
    out.modifiedNs = ns(st.st_mtim);
    out.changedNs = ns(st.st_ctim);
    out.readOnly = (st.st_mode & 0222) == 0;
    return true;
}

int deleteFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0 ? 0 : errno;
}

bool isReadOnly(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return true;
    return (st.st_mode & 0222) == 0;
}

int setReadOnly(const std::string& path, bool readOnly) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return errno;
    mode_t mode = st.st_mode & 07777;
    mode = readOnly ? (mode & ~static_cast<mode_t>(0222)) : (mode | S_IWUSR);
    return ::chmod(path.c_str(), mode) == 0 ? 0 : errno;
}

FilePtr createExclusive(const std::string& path, int* err) {
    Descriptor fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!fd.valid()) {
        if (err) *err = errno;
        return nullptr;
    }
    FilePtr f(::fdopen(fd.get(), "wb"));
    if (!f) {
        if (err) *err = errno;
        fd.reset();
        ::unlink(path.c_str());
        return nullptr;
    }
    fd.release();  // the stream owns it now
    return f;
}

int syncFile(std::FILE* f) {
    if (std::fflush(f) != 0) return errno;
    return ::fsync(::fileno(f)) == 0 ? 0 : errno;
}

std::string folderOf(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
}

int syncDirectoryOf(const std::string& path) {
    std::string dir = folderOf(path);
    Descriptor fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.valid()) return errno;
    if (faults::directorySyncRefused(dir)) return EIO;
    return ::fsync(fd.get()) == 0 ? 0 : errno;
}

int makeDirectoryDurably(const std::string& path, bool* made) {
    if (made) *made = false;
    std::string dir = path;
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    if (::mkdir(dir.c_str(), 0700) == 0) {
        if (made) *made = true;
        return syncDirectoryOf(dir);
    }
    if (errno != EEXIST) return errno;
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0) return errno;
    return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

bool makeDirectory(const std::string& path) {
    return makeDirectoryDurably(path) == 0;
}

int makePrivateDirectory(const std::string& path, bool& madePrivate, bool* made) {
    madePrivate = false;
    if (made) *made = false;
    if (::mkdir(path.c_str(), 0700) == 0) {
        if (made) *made = true;
        return 0;
    }
    if (errno != EEXIST) return errno;
    Descriptor fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd.valid()) {
        int error = errno;
        struct stat st {};
        return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode) ? ELOOP : error;
    }
    struct stat st {};
    int rc = ::fstat(fd.get(), &st) == 0 ? 0 : errno;
    if (rc == 0 && (st.st_mode & 077) != 0) {
        rc = ::fchmod(fd.get(), st.st_mode & 07700) == 0 ? 0 : errno;
        madePrivate = rc == 0;
    }
    return rc;
}

namespace {
mode_t g_userUmask = 022;  // the mask the process was started with
bool g_umaskChanged = false;
}  // namespace

void keepNewFilesPrivate() {
    mode_t old = ::umask(077);
    if (!g_umaskChanged) g_userUmask = old;
    g_umaskChanged = true;
}

void restoreUserUmask() {
    if (g_umaskChanged) ::umask(g_userUmask);
}

bool fileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

int lastError() {
    return errno;
}

bool sameFileContents(const std::string& a, const std::string& b) {
    FilePtr fa = openFile(a, "rb");
    FilePtr fb = fa ? openFile(b, "rb") : nullptr;
    bool same = fa && fb;
    char ba[16384], bb[16384];
    while (same) {
        std::size_t na = std::fread(ba, 1, sizeof ba, fa.get());
        std::size_t nb = std::fread(bb, 1, sizeof bb, fb.get());
        if (na != nb || std::memcmp(ba, bb, na) != 0) same = false;
        if (na < sizeof ba) {
            same = same && !std::ferror(fa.get()) && !std::ferror(fb.get()) && std::feof(fa.get()) &&
                   std::feof(fb.get());
            break;
        }
    }
    return same;
}

}  // namespace plat
