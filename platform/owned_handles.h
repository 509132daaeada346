// Owning wrappers for the C stream, the descriptor and the directory stream: each is closed
// when its owner goes, so that no early return leaks one.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

namespace plat {

struct FileCloser {
    void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};
// A stream that closes itself. A writer that must know whether its bytes reached the file
// closes it with closeFile instead, which answers fclose's verdict.
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// fopen; null when the file cannot be opened (errno says why).
FilePtr openFile(const std::string& path, const char* mode);

// Closes f now; false when the close (the last flush) failed. A null f closes fine.
[[nodiscard]] bool closeFile(FilePtr& f);

// A file descriptor that is closed when this goes (-1: none).
class Descriptor {
public:
    Descriptor() = default;
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() { reset(); }
    Descriptor(Descriptor&& other) noexcept : fd_(other.release()) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // Gives the descriptor up without closing it.
    int release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }
    // Closes the descriptor held (if any) and takes fd.
    void reset(int fd = -1);

private:
    int fd_ = -1;
};

}  // namespace plat
