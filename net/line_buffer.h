// Bytes received on a connection and not yet taken, cut into CRLF-terminated lines.
// Only CR immediately followed by LF ends a line; a lone CR or LF is part of the line.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

class LineBuffer {
public:
    static constexpr std::size_t kInitialCapacity = 1024;
    // The longest unfinished line a connection may hold: a thousand times what mail standards
    // allow, so real mail passes, while a peer that never sends CRLF cannot grow memory further.
    static constexpr std::size_t kMaxLineLength = 1024 * 1024;

    LineBuffer();

    // Drops everything held and shrinks back to the initial capacity. lineLength keeps its value.
    void reset();
    // Appends n bytes (nothing for n <= 0 or null bytes), doubling the capacity as needed.
    void append(const char* bytes, long n);
    // Whether a complete line is held; records the first line's length (without its CRLF).
    bool hasLine();
    // Whether more than kMaxLineLength bytes are held without a CRLF among them.
    bool overlong() const { return scanned_ > kMaxLineLength; }
    // The length recorded by the last successful hasLine; -1 before the first.
    long lineLength() const { return lineLength_; }
    // Copies the first line into destination when it is shorter than capacity, otherwise
    // stores an empty string (capacity > 0); either way removes the line and its CRLF.
    // Call only after hasLine answered true.
    void takeLine(char* destination, std::size_t capacity);
    // The first line, whole, removed with its CRLF. Call only after hasLine answered true.
    std::string takeLine();
    // The bytes of an unfinished first line, removed, all but a final CR that may yet meet its
    // LF. Lets a receiver of unbounded lines take one in pieces. Call only after hasLine
    // answered false.
    std::string takePart();

    std::size_t length() const { return length_; }
    std::size_t capacity() const { return data_.size(); }

private:
    void removeFirstLine();
    const char* begin() const { return data_.data() + start_; }

    // Held bytes are data_[start_, start_ + length_); taking a line only moves start_, so a
    // batch of many short lines costs no copying until the next append compacts.
    std::size_t start_ = 0;
    std::size_t length_ = 0;
    std::vector<char> data_;
    long lineLength_ = -1;
    std::size_t scanned_ = 0;  // held bytes already known to hold no CRLF
};
