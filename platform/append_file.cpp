#include "platform/append_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace plat {

bool AppendFile::pathLeadsToOpenFile(const std::string& path) const {
    if (!fd_.valid() || path != path_) return false;
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && static_cast<std::uint64_t>(st.st_dev) == device_ &&
           static_cast<std::uint64_t>(st.st_ino) == inode_;
}

bool AppendFile::append(const std::string& path, std::string_view text) {
    if (!pathLeadsToOpenFile(path)) {
        close();
        Descriptor fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666));
        struct stat st {};
        if (!fd.valid() || ::fstat(fd.get(), &st) != 0) return false;
        fd_ = std::move(fd);
        path_ = path;
        device_ = static_cast<std::uint64_t>(st.st_dev);
        inode_ = static_cast<std::uint64_t>(st.st_ino);
    }
    ssize_t n;
    do {
        n = ::write(fd_.get(), text.data(), text.size());
    } while (n < 0 && errno == EINTR);
    return n >= 0 && static_cast<std::size_t>(n) == text.size();
}

void AppendFile::close() {
    fd_.reset();
    path_.clear();
    device_ = inode_ = 0;
}

}  // namespace plat
