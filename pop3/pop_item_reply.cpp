#include "pop3/pop_item_reply.h"

#include <string_view>

std::unique_ptr<ItemReply> ItemReply::open(const std::string& path, std::optional<long> topLines) {
    plat::FilePtr file = plat::openFile(path, "rb");
    if (!file) return nullptr;
    return std::unique_ptr<ItemReply>(new ItemReply(std::move(file), topLines));
}

ItemReply::ItemReply(plat::FilePtr file, std::optional<long> topLines) : file_(std::move(file)), topLines_(topLines) {}

ItemReply::Piece ItemReply::next(std::string& out) {
    if (!file_) return Piece::Last;
    return topLines_ ? nextTop(out) : nextWhole(out);
}

ItemReply::Piece ItemReply::nextWhole(std::string& out) {
    std::size_t at = out.size();
    out.resize(at + kPieceSize);
    std::size_t n = std::fread(out.data() + at, 1, kPieceSize, file_.get());
    out.resize(at + n);
    if (n >= 2) {
        last_[0] = out[out.size() - 2];
        last_[1] = out[out.size() - 1];
    } else if (n == 1) {
        last_[0] = last_[1];
        last_[1] = out.back();
    }
    sentAny_ = sentAny_ || n > 0;
    if (n == kPieceSize) return Piece::More;
    if (std::ferror(file_.get())) return Piece::Error;
    return finish(out);
}

ItemReply::Piece ItemReply::nextTop(std::string& out) {
    std::size_t start = out.size();
    while (!topDone_ && out.size() - start < kPieceSize) {
        std::string_view held(carry_.data() + pos_, carry_.size() - pos_);
        std::size_t lf = held.find('\n');
        if (lf != std::string_view::npos) {
            topLine(out, held.substr(0, lf + 1), true);
            pos_ += lf + 1;
            continue;
        }
        if (held.size() > kPieceSize) {
            // A long line goes out in parts; its last byte stays, as it may be the CR before
            // the LF that ends the line.
            topLine(out, held.substr(0, held.size() - 1), false);
            pos_ += held.size() - 1;
            continue;
        }
        carry_.erase(0, pos_);
        pos_ = 0;
        std::size_t at = carry_.size();
        carry_.resize(at + kPieceSize);
        std::size_t n = std::fread(carry_.data() + at, 1, kPieceSize, file_.get());
        carry_.resize(at + n);
        if (n > 0) continue;
        if (std::ferror(file_.get())) return Piece::Error;
        // End of the file: what is held is the last line, without its line end.
        if (!carry_.empty() || midLine_) topLine(out, carry_, true);
        carry_.clear();
        topDone_ = true;
    }
    return topDone_ ? finish(out) : Piece::More;
}

void ItemReply::topLine(std::string& out, std::string_view bytes, bool complete) {
    sentAny_ = true;
    if (!complete) {
        out.append(bytes);
        midLine_ = true;
        return;
    }
    // Whatever the stored line end (CRLF, LF, CR CR LF, none), the line goes out with CRLF.
    std::size_t n = bytes.size();
    if (n > 0 && bytes[n - 1] == '\r') --n;
    if (n > 0 && bytes[n - 1] == '\n') --n;
    if (n > 0 && bytes[n - 1] == '\r') --n;
    bool empty = n == 0 && !midLine_;
    out.append(bytes.substr(0, n));
    out += "\r\n";
    midLine_ = false;
    last_[0] = '\r';
    last_[1] = '\n';
    // The blank line that ends the header is not counted; every later line is.
    if (headerDone_ && *topLines_ > 0) --*topLines_;
    if (empty) headerDone_ = true;
    if (headerDone_ && *topLines_ == 0) topDone_ = true;
}

ItemReply::Piece ItemReply::finish(std::string& out) {
    if (sentAny_ && !(last_[0] == '\r' && last_[1] == '\n')) out += "\r\n";
    out += ".\r\n";
    file_.reset();
    return Piece::Last;
}
