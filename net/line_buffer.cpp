#include "net/line_buffer.h"

#include <cstring>

LineBuffer::LineBuffer() : data_(kInitialCapacity) {}

void LineBuffer::reset() {
    std::vector<char>(kInitialCapacity).swap(data_);
    start_ = 0;
    length_ = 0;
    scanned_ = 0;
}

void LineBuffer::append(const char* bytes, long n) {
    if (n <= 0 || !bytes) return;
    if (start_ > 0) {
        std::memmove(data_.data(), data_.data() + start_, length_);
        start_ = 0;
    }
    std::size_t need = length_ + static_cast<std::size_t>(n);
    if (need > data_.size()) {
        std::size_t cap = data_.size() ? data_.size() : kInitialCapacity;
        while (cap < need) cap *= 2;
        data_.resize(cap);
    }
    std::memcpy(data_.data() + length_, bytes, static_cast<std::size_t>(n));
    length_ = need;
}

bool LineBuffer::hasLine() {
    // A CR at the end of what was scanned may still meet its LF, so look one byte back.
    std::size_t from = scanned_ > 0 ? scanned_ - 1 : 0;
    if (length_ >= 2 && from < length_ - 1) {
        const char* p = begin();
        const void* hit = nullptr;
        for (std::size_t i = from; i + 1 < length_; i = static_cast<const char*>(hit) - p + 1) {
            hit = std::memchr(p + i, '\r', length_ - 1 - i);
            if (!hit) break;
            std::size_t at = static_cast<const char*>(hit) - p;
            if (p[at + 1] == '\n') {
                lineLength_ = static_cast<long>(at);
                return true;
            }
        }
    }
    scanned_ = length_;
    return false;
}

void LineBuffer::removeFirstLine() {
    std::size_t drop = static_cast<std::size_t>(lineLength_) + 2;
    if (drop > length_) drop = length_;
    start_ += drop;
    length_ -= drop;
    if (length_ == 0) start_ = 0;
    scanned_ = 0;
}

void LineBuffer::takeLine(char* destination, std::size_t capacity) {
    if (lineLength_ < 0 || static_cast<std::size_t>(lineLength_) + 2 > length_) {
        if (destination && capacity > 0) destination[0] = '\0';
        return;
    }
    std::size_t len = static_cast<std::size_t>(lineLength_);
    if (destination && capacity > 0) {
        if (len < capacity) {
            std::memcpy(destination, begin(), len);
            destination[len] = '\0';
        } else {
            destination[0] = '\0';
        }
    }
    removeFirstLine();
}

std::string LineBuffer::takeLine() {
    if (lineLength_ < 0 || static_cast<std::size_t>(lineLength_) + 2 > length_) return {};
    std::string line(begin(), static_cast<std::size_t>(lineLength_));
    removeFirstLine();
    return line;
}

std::string LineBuffer::takePart() {
    std::size_t n = length_;
    if (n > 0 && begin()[n - 1] == '\r') --n;
    std::string part(begin(), n);
    start_ += n;
    length_ -= n;
    if (length_ == 0) start_ = 0;
    scanned_ = length_;
    return part;
}
