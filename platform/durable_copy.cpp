#include "platform/durable_copy.h"

#include "platform/files.h"
#include "platform/owned_handles.h"

#include <cerrno>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace plat {

namespace {

// Copies every byte of in to out and flushes out. Returns 0 or the errno value.
int copyAndFlush(int in, int out) {
    std::vector<char> block(256 * 1024);
    for (;;) {
        ssize_t n = ::read(in, block.data(), block.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) break;
        for (ssize_t done = 0; done < n;) {
            ssize_t w = ::write(out, block.data() + done, static_cast<std::size_t>(n - done));
            if (w < 0 && errno == EINTR) continue;
            if (w < 0) return errno;
            done += w;
        }
    }
    return ::fsync(out) == 0 ? 0 : errno;
}

int copyByPartFile(int in, const std::string& to) {
    std::string part = to + ".part";
    Descriptor out(::open(part.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    if (!out.valid()) return errno;
    int error = copyAndFlush(in, out.get());
    if (error == 0 && ::link(part.c_str(), to.c_str()) != 0) error = errno;
    ::unlink(part.c_str());
    return error;
}

}  // namespace

int copyFileNoReplace(const std::string& from, const std::string& to) {
    Descriptor in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    if (!in.valid()) return errno;
    if (::access(to.c_str(), F_OK) == 0) return EEXIST;
    Descriptor out(::open(folderOf(to).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
    if (!out.valid()) {
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return errno;
        return copyByPartFile(in.get(), to);
    }
    if (int error = copyAndFlush(in.get(), out.get())) return error;
    // linkat fails on an existing name: the copy never replaces a file.
    std::string self = "/proc/self/fd/" + std::to_string(out.get());
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, to.c_str(), AT_SYMLINK_FOLLOW) != 0) return errno;
    return 0;
}

int checkCanMakeFilesIn(const std::string& dir) {
    Descriptor probe(::open(dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
    if (probe.valid()) return 0;
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return errno;
    std::string path = dir + "/.trawlex-probe-" + std::to_string(::getpid());
    Descriptor named(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!named.valid()) return errno;
    ::unlink(path.c_str());
    return 0;
}

}  // namespace plat
