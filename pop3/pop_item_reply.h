// The body of a RETR or TOP reply of the local POP3 server, read from a mail item file piece
// by piece, so that a large item never sits in memory whole and a slow client holds at most
// one piece.
//
// Items are stored in transfer form (a leading dot already doubled), so RETR sends the stored
// bytes unchanged. Both forms end with CRLF "." CRLF; an item whose last line lacks its CRLF
// gets one first, so that the final "." always stands on a line of its own.
#pragma once

#include "platform/owned_handles.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class ItemReply {
public:
    // Bytes read from the file per piece.
    static constexpr std::size_t kPieceSize = 64 * 1024;

    enum class Piece { More, Last, Error };

    // Opens the item for reading as raw bytes; none when it cannot be opened. topLines none:
    // the whole item (RETR). Otherwise TOP: the header, the blank line after it and then at
    // most *topLines body lines (all of them when negative). TOP ends every line it sends
    // with CRLF, however the stored line ended; long lines are sent whole.
    static std::unique_ptr<ItemReply> open(const std::string& path, std::optional<long> topLines);
    ItemReply(const ItemReply&) = delete;
    ItemReply& operator=(const ItemReply&) = delete;

    // Appends the next piece to out. Last: the reply is complete with its final ".".
    // Error: the file could not be read; what was appended must not be taken as the item.
    Piece next(std::string& out);

private:
    ItemReply(plat::FilePtr file, std::optional<long> topLines);
    Piece nextWhole(std::string& out);
    Piece nextTop(std::string& out);
    // Sends one line (or the start of one) of TOP; complete: the line's end was reached.
    void topLine(std::string& out, std::string_view bytes, bool complete);
    Piece finish(std::string& out);

    plat::FilePtr file_;
    std::optional<long> topLines_;
    std::string carry_;  // TOP: bytes read; those before pos_ have been sent
    std::size_t pos_ = 0;
    bool headerDone_ = false;  // TOP: the blank line after the header has been sent
    bool midLine_ = false;  // TOP: part of the current line has been sent
    bool topDone_ = false;  // TOP: the requested lines are out
    bool sentAny_ = false;  // any byte of the item has been sent
    char last_[2] = {0, 0};  // the last two bytes of the item sent
};
