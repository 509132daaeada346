// TLS on one of the platform's selected sockets, client side. The records travel through
// recvSocket and sendSocket, so the socket's notifications (FD_READ, FD_WRITE) keep coming as
// for a plain connection: an operation that answered "would block" is tried again when the
// notification it waits for arrives (wantsWrite() tells which one).
//
// The server's certificate is always verified: its chain against the system's trust store plus
// the certificates of an extra CA file, and its name (or address, for a dotted host) against
// the host the connection was opened for. There is no way to turn that off.
#pragma once

#include "platform/socket.h"

#include <cstddef>
#include <memory>
#include <string>

namespace plat {

// Why a certificate was refused, for words that tell the cases apart.
enum class CertificateTrouble {
    None,  // not refused (or no certificate seen)
    SelfSigned,
    UnknownIssuer,
    Expired,
    NotYetValid,
    OtherName,  // issued for another host name or address
    Revoked,
    Other,
};

// What a session shows of itself and of the server's certificate, for a report to the user.
struct TlsDetails {
    std::string version;  // "TLSv1.3"; empty before the handshake completed
    std::string cipher;
    bool haveCertificate = false;
    std::string subject;  // RFC 2253 form
    std::string issuer;
    std::string notAfter;  // "2027-01-31 12:00:00 UTC"
    std::string fingerprint;  // SHA-256, colon-separated hex
    CertificateTrouble trouble = CertificateTrouble::None;
};

class TlsChannel {
public:
    enum class Step { Done, WouldBlock, Failed };

    // A client session on the connected socket s, for host (a name or a dotted IPv4 address).
    // caFile: a PEM file of further trusted certificates, empty for none. Null when the
    // session cannot be set up; why then says so in words a user understands.
    static std::unique_ptr<TlsChannel> open(SOCKET s, const std::string& host, const std::string& caFile,
                                            std::string& why);
    ~TlsChannel();
    TlsChannel(const TlsChannel&) = delete;
    TlsChannel& operator=(const TlsChannel&) = delete;

    // Advances the handshake. Failed: failure() names the cause ("certificate for
    // mail.example.net not trusted: self-signed").
    Step handshake();
    const std::string& failure() const { return failure_; }

    // Plain text. The count, 0 when the peer ended the session, or -1: with socketError() ==
    // errorWouldBlock() when the operation must wait for the notification wantsWrite() names,
    // otherwise the session failed.
    long read(void* buffer, std::size_t length);
    long write(const void* data, std::size_t length);
    bool wantsWrite() const { return wantsWrite_; }

    // The session and the server's certificate; the certificate is there also after a
    // handshake that failed because it was refused.
    TlsDetails details() const;

    // Sends the closing notice once, without waiting for anything.
    void close();

private:
    struct Session;
    TlsChannel(std::unique_ptr<Session> session, std::string host);
    long finishIo(int result);

    std::unique_ptr<Session> session_;
    std::string host_;
    std::string failure_;
    bool wantsWrite_ = false;
    bool closed_ = false;
};

}  // namespace plat
