#include "frontend/mail/rfc822_mail_header.h"

#include "log/debug.h"
#include "store/item_lock.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <strings.h>

namespace {

constexpr int kCategoryNone = 0;  // "---" in the log

const char* const kKindNames[] = {
    "From",     "To",           "Subject",  "Date",      "CC",         "BCC",
    "Received", "MIME-version", "Reply-to", "Resent-to", "Message-id", "Return-Path",
};

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// Reads a file's physical lines in blocks. A line is cut at a NUL (as any C string reader
// would) and at `limit` characters; the rest of an over-long line is skipped, so that no part
// of one line can ever be taken for a line of its own.
class LineReader {
public:
    explicit LineReader(std::FILE* file) : file_(file) {}

    // False at the end of the file (or on a read error) with nothing read.
    bool read(std::string& line, std::size_t limit) {
        line.clear();
        bool any = false;
        bool cut = false;
        for (int c = next(); c != EOF; c = next()) {
            any = true;
            if (c == '\n') return true;
            if (c == '\0') cut = true;
            if (!cut && line.size() < limit) line.push_back(static_cast<char>(c));
        }
        return any;
    }

private:
    int next() {
        if (pos_ == size_) {
            size_ = std::fread(buffer_, 1, sizeof buffer_, file_);
            pos_ = 0;
            if (size_ == 0) return EOF;
        }
        return static_cast<unsigned char>(buffer_[pos_++]);
    }

    std::FILE* file_;
    char buffer_[4096];
    std::size_t pos_ = 0;
    std::size_t size_ = 0;
};

// Line ends, blanks and other control characters at the end of a line go.
void trimTrailing(std::string& line) {
    while (!line.empty()) {
        const auto c = static_cast<unsigned char>(line.back());
        if (c < 1 || c > 32) break;
        line.pop_back();
    }
}

}  // namespace

RFC822MailHeader::RFC822MailHeader(const std::string& path, Locking locking) {
    readHeaders(path, locking);
}

const char* RFC822MailHeader::kindName(int kind) {
    if (kind < 0 || kind >= static_cast<int>(std::size(kKindNames))) return "";
    return kKindNames[kind];
}

void RFC822MailHeader::add(const std::string& header) {
    if (lines_.size() < kMaxHeaders) lines_.push_back(header);
}

void RFC822MailHeader::readHeaders(const std::string& path, Locking locking) {
    std::optional<store::MailItemLock> lock;
    if (locking == Locking::Take)
        lock.emplace(kCategoryNone, LOG_MED, "FAILED to create MUTEX for RFC822MailHeader::readHeaders");
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        DebugLineStr(kCategoryNone, LOG_MED, "readHeaders() can't find file :", path.c_str());
        return;
    }

    std::string header;
    std::string line;
    LineReader reader(file.get());
    while (reader.read(line, kMaxHeaderLength)) {
        trimTrailing(line);
        if (!line.empty() && (line[0] == ' ' || line[0] == '\t')) {
            if (header.size() + line.size() <= kMaxHeaderLength) header += line;
            continue;
        }
        if (line.size() < 3) break;  // the empty line that ends the block, or a stub
        if (!header.empty()) add(header);
        header.swap(line);
    }
    if (!header.empty()) add(header);
}

const char* RFC822MailHeader::value(int kind) const {
    const char* name = kindName(kind);
    if (*name == '\0') return nullptr;  // an empty name would match any line
    const std::size_t length = std::strlen(name);
    for (const std::string& line : lines_) {
        if (strncasecmp(line.c_str(), name, length) != 0) continue;
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        const char* v = line.c_str() + colon + 1;
        while (*v == ' ' || *v == '\t') ++v;
        return v;
    }
    return nullptr;
}
