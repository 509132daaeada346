// A blocking text connection for a program that waits for each answer anyway (trawlexctl's
// server check): connect, TLS from the first byte or later (STARTTLS), write, read a line,
// each within a time limit. TLS goes through TlsChannel, so the certificate is checked exactly
// as the engine's connections check it.
#pragma once

#include "platform/tls_channel.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace plat {

// Why a connection could not be made, apart from the words (which the system may translate).
enum class ConnectFailure { None, NoSuchHost, NameLookup, Refused, TimedOut, Unreachable, Other };

// Why a write, a read or the TLS handshake failed on a connection that was made: the other
// side fell silent (TimedOut), went away (Closed: an orderly end, or a write it no longer
// takes), the connection broke (Broken: a reset or another socket error), a line ran past the
// limit, or something else.
enum class StreamFailure { None, TimedOut, Closed, Broken, LineTooLong, Other };

class LineStream {
public:
    LineStream() = default;
    ~LineStream();
    LineStream(const LineStream&) = delete;
    LineStream& operator=(const LineStream&) = delete;

    // Resolves host and connects to the first address that answers; address receives the one
    // connected to.
    bool connect(const std::string& host, std::uint16_t port, int timeoutMs, std::string& address, std::string& why);
    // After a connect that failed: why, of the last address tried.
    ConnectFailure connectFailure() const { return connectFailure_; }
    // The TLS handshake, the certificate checked for host. On a refused certificate, details()
    // still describes it.
    bool startTls(const std::string& host, const std::string& caFile, int timeoutMs, std::string& why);
    bool secured() const { return tls_ != nullptr && handshakeDone_; }
    TlsDetails details() const { return tls_ ? tls_->details() : TlsDetails{}; }

    bool writeAll(std::string_view data, int timeoutMs, std::string& why);
    // One line without its CRLF (or LF); lines past 64 KiB fail.
    bool readLine(std::string& line, int timeoutMs, std::string& why);
    // Why the last write, read or handshake failed; None after one that worked (and after
    // connect, whose failure connectFailure() tells).
    StreamFailure failure() const { return failure_; }
    void close();

private:
    bool wait(bool forWrite, int timeoutMs, std::string& why);
    long readSome(char* buffer, std::size_t length);

    int fd_ = -1;
    std::unique_ptr<TlsChannel> tls_;
    bool handshakeDone_ = false;
    std::string pending_;
    ConnectFailure connectFailure_ = ConnectFailure::None;
    StreamFailure failure_ = StreamFailure::None;
};

}  // namespace plat
