// The header block of one stored mail item, read once under "MAILITEMREAD": continuation lines
// unfolded, lines kept in file order, and the value of one header looked up by kind. Built on
// the stack for one file, queried, and dropped.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

class RFC822MailHeader {
public:
    enum Kind : int {
        kFrom = 0,
        kTo,
        kSubject,
        kDate,
        kCC,
        kBCC,
        kReceived,
        kMIMEVersion,
        kReplyTo,
        kResentTo,
        kMessageId,
        kReturnPath,
    };

    static constexpr std::size_t kMaxHeaders = 128;
    // One unfolded header; a longer line is cut here and its rest skipped.
    static constexpr std::size_t kMaxHeaderLength = 8191;

    // Take: the reader holds "MAILITEMREAD" while it reads. AlreadyHeld: the caller holds it
    // around a batch of reads (one hold for many files); a second hold from this process
    // would wait for ever.
    enum class Locking { Take, AlreadyHeld };

    explicit RFC822MailHeader(const std::string& path, Locking locking = Locking::Take);

    // The text after the first ':' of the first stored line whose name begins with the kind's
    // name (case ignored), blanks skipped; nullptr when none. Valid while the object lives.
    const char* value(int kind) const;

    std::size_t count() const { return lines_.size(); }
    const std::string& line(std::size_t i) const { return lines_[i]; }

    // The name a kind looks for ("" for an unknown kind).
    static const char* kindName(int kind);

private:
    void readHeaders(const std::string& path, Locking locking);
    void add(const std::string& header);

    std::vector<std::string> lines_;
};
