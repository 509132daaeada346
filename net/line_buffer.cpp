#include "net/line_buffer.h"

#include <cstring>

LineBuffer::LineBuffer() : data_(kInitialCapacity) {}

void LineBuffer::reset() {
    std::vector<char>(kInitialCapacity).swap(data_);
    length_ = 0;
    scanned_ = 0;
}

void LineBuffer::append(const char* bytes, long n) {
    if (n <= 0 || !bytes) return;
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
    for (std::size_t i = from; i + 1 < length_; ++i) {
        if (data_[i] == '\r' && data_[i + 1] == '\n') {
            lineLength_ = static_cast<long>(i);
            return true;
        }
    }
    scanned_ = length_;
    return false;
}

void LineBuffer::removeFirstLine() {
    std::size_t drop = static_cast<std::size_t>(lineLength_) + 2;
    if (drop > length_) drop = length_;
    std::memmove(data_.data(), data_.data() + drop, length_ - drop);
    length_ -= drop;
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
            std::memcpy(destination, data_.data(), len);
            destination[len] = '\0';
        } else {
            destination[0] = '\0';
        }
    }
    removeFirstLine();
}

std::string LineBuffer::takeLine() {
    if (lineLength_ < 0 || static_cast<std::size_t>(lineLength_) + 2 > length_) return {};
    std::string line(data_.data(), static_cast<std::size_t>(lineLength_));
    removeFirstLine();
    return line;
}
