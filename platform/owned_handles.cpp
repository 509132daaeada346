#include "platform/owned_handles.h"

#include <unistd.h>

namespace plat {

FilePtr openFile(const std::string& path, const char* mode) {
    return FilePtr(std::fopen(path.c_str(), mode));
}

bool closeFile(FilePtr& f) {
    return !f || std::fclose(f.release()) == 0;
}

void Descriptor::reset(int fd) {
    if (fd_ >= 0 && fd_ != fd) ::close(fd_);
    fd_ = fd;
}

}  // namespace plat
