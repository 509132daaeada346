#include "platform/tls_channel.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <cerrno>
#include <cstdint>
#include <ctime>

namespace plat {
namespace {

// ---- A BIO over the platform's socket calls, so that reads and writes re-arm the socket's
// notifications exactly as the plain connection's own calls do.

SOCKET socketOf(BIO* bio) {
    return static_cast<SOCKET>(reinterpret_cast<std::intptr_t>(BIO_get_data(bio)));
}

bool transient(int error) {
    return error == errorWouldBlock() || error == EINTR;
}

int bioRead(BIO* bio, char* buffer, std::size_t length, std::size_t* got) {
    BIO_clear_retry_flags(bio);
    long n = recvSocket(socketOf(bio), buffer, length);
    if (n > 0) {
        *got = static_cast<std::size_t>(n);
        return 1;
    }
    if (n < 0 && transient(socketError())) BIO_set_retry_read(bio);
    *got = 0;
    return 0;
}

int bioWrite(BIO* bio, const char* data, std::size_t length, std::size_t* put) {
    BIO_clear_retry_flags(bio);
    long n = sendSocket(socketOf(bio), data, length);
    if (n >= 0) {
        *put = static_cast<std::size_t>(n);
        return 1;
    }
    if (transient(socketError())) BIO_set_retry_write(bio);
    *put = 0;
    return 0;
}

long bioCtrl(BIO*, int command, long, void*) {
    // Writes go straight to the socket: there is never anything to flush.
    return command == BIO_CTRL_FLUSH ? 1 : 0;
}

int bioCreate(BIO* bio) {
    BIO_set_init(bio, 1);
    return 1;
}

const BIO_METHOD* socketMethod() {
    static BIO_METHOD* method = [] {
        BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "platform socket");
        BIO_meth_set_read_ex(m, bioRead);
        BIO_meth_set_write_ex(m, bioWrite);
        BIO_meth_set_ctrl(m, bioCtrl);
        BIO_meth_set_create(m, bioCreate);
        return m;
    }();
    return method;
}

// ---- Failures in a user's words

const char* verifyReason(long result) {
    switch (result) {
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN: return "self-signed";
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE: return "issued by an unknown authority";
    case X509_V_ERR_CERT_HAS_EXPIRED: return "expired";
    case X509_V_ERR_CERT_NOT_YET_VALID: return "not valid yet";
    case X509_V_ERR_HOSTNAME_MISMATCH: return "issued for another host name";
    case X509_V_ERR_IP_ADDRESS_MISMATCH: return "issued for another address";
    case X509_V_ERR_CERT_REVOKED: return "revoked";
    case X509_V_ERR_INVALID_PURPOSE: return "not meant for a server";
    default: return X509_verify_cert_error_string(result);
    }
}

CertificateTrouble troubleOf(long result) {
    switch (result) {
    case X509_V_OK: return CertificateTrouble::None;
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN: return CertificateTrouble::SelfSigned;
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE: return CertificateTrouble::UnknownIssuer;
    case X509_V_ERR_CERT_HAS_EXPIRED: return CertificateTrouble::Expired;
    case X509_V_ERR_CERT_NOT_YET_VALID: return CertificateTrouble::NotYetValid;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH: return CertificateTrouble::OtherName;
    case X509_V_ERR_CERT_REVOKED: return CertificateTrouble::Revoked;
    default: return CertificateTrouble::Other;
    }
}

std::string libraryReason() {
    unsigned long error = ERR_get_error();
    ERR_clear_error();
    if (error == 0) return "connection closed";
    const char* reason = ERR_reason_error_string(error);
    return reason ? reason : "error " + std::to_string(error);
}

}  // namespace

struct TlsChannel::Session {
    SSL_CTX* context = nullptr;
    SSL* ssl = nullptr;
    ~Session() {
        SSL_free(ssl);  // frees the BIO too
        SSL_CTX_free(context);
    }
};

TlsChannel::TlsChannel(std::unique_ptr<Session> session, std::string host)
    : session_(std::move(session)),
      host_(std::move(host)) {}

TlsChannel::~TlsChannel() = default;

std::unique_ptr<TlsChannel> TlsChannel::open(SOCKET s, const std::string& host, const std::string& caFile,
                                             std::string& why) {
    ERR_clear_error();
    auto session = std::make_unique<Session>();
    session->context = SSL_CTX_new(TLS_client_method());
    if (!session->context) {
        why = "TLS for " + host + " could not be set up: " + libraryReason();
        return nullptr;
    }
    SSL_CTX_set_min_proto_version(session->context, TLS1_2_VERSION);
    SSL_CTX_set_verify(session->context, SSL_VERIFY_PEER, nullptr);
    SSL_CTX_set_default_verify_paths(session->context);
    if (!caFile.empty() && SSL_CTX_load_verify_locations(session->context, caFile.c_str(), nullptr) != 1) {
        ERR_clear_error();
        why = "certificate for " + host + " not checked: CA file " + caFile + " cannot be read";
        return nullptr;
    }
    // Partial writes let a blocked socket keep its caller's "sent this much" semantics.
    SSL_CTX_set_mode(session->context, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    session->ssl = SSL_new(session->context);
    BIO* bio = session->ssl ? BIO_new(socketMethod()) : nullptr;
    if (!bio) {
        why = "TLS for " + host + " could not be set up: " + libraryReason();
        return nullptr;
    }
    BIO_set_data(bio, reinterpret_cast<void*>(static_cast<std::intptr_t>(s)));
    SSL_set_bio(session->ssl, bio, bio);
    std::uint32_t address = 0;
    bool named = true;
    if (parseDottedAddress(host.c_str(), address)) {
        // A literal address is checked against the certificate's IP entries, and sent no name.
        named = false;
        if (X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(session->ssl), host.c_str()) != 1) named = true;
    }
    if (named) {
        SSL_set_hostflags(session->ssl, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        if (SSL_set1_host(session->ssl, host.c_str()) != 1 ||
            SSL_set_tlsext_host_name(session->ssl, host.c_str()) != 1) {
            why = "certificate for " + host + " cannot be checked: not a usable host name";
            return nullptr;
        }
    }
    SSL_set_connect_state(session->ssl);
    return std::unique_ptr<TlsChannel>(new TlsChannel(std::move(session), host));
}

TlsChannel::Step TlsChannel::handshake() {
    ERR_clear_error();
    int rc = SSL_do_handshake(session_->ssl);
    if (rc == 1) return Step::Done;
    int error = SSL_get_error(session_->ssl, rc);
    if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
        wantsWrite_ = error == SSL_ERROR_WANT_WRITE;
        return Step::WouldBlock;
    }
    long verified = SSL_get_verify_result(session_->ssl);
    if (verified != X509_V_OK) {
        ERR_clear_error();
        failure_ = "certificate for " + host_ + " not trusted: " + verifyReason(verified);
    } else {
        failure_ = "TLS handshake with " + host_ + " failed: " + libraryReason();
    }
    closed_ = true;  // no closing notice after a failed handshake
    return Step::Failed;
}

long TlsChannel::finishIo(int result) {
    if (result > 0) return result;
    int error = SSL_get_error(session_->ssl, result);
    ERR_clear_error();
    if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
        wantsWrite_ = error == SSL_ERROR_WANT_WRITE;
        errno = errorWouldBlock();
        return -1;
    }
    if (error == SSL_ERROR_ZERO_RETURN) return 0;
    closed_ = true;  // after a fatal error the session may not send its closing notice
    errno = ECONNRESET;
    return -1;
}

long TlsChannel::read(void* buffer, std::size_t length) {
    if (length == 0) return 0;
    ERR_clear_error();
    int chunk = length > 1 << 30 ? 1 << 30 : static_cast<int>(length);
    return finishIo(SSL_read(session_->ssl, buffer, chunk));
}

long TlsChannel::write(const void* data, std::size_t length) {
    if (length == 0) return 0;
    ERR_clear_error();
    int chunk = length > 1 << 30 ? 1 << 30 : static_cast<int>(length);
    return finishIo(SSL_write(session_->ssl, data, chunk));
}

namespace {

std::string nameText(const X509_NAME* name) {
    BIO* bio = BIO_new(BIO_s_mem());
    if (!bio) return {};
    X509_NAME_print_ex(bio, name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB);
    char* data = nullptr;
    long n = BIO_get_mem_data(bio, &data);
    std::string text(data, n > 0 ? static_cast<std::size_t>(n) : 0);
    BIO_free(bio);
    return text;
}

std::string timeText(const ASN1_TIME* time) {
    std::tm tm{};
    if (!time || ASN1_TIME_to_tm(time, &tm) != 1) return {};
    char text[64];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &tm);
    return text;
}

}  // namespace

TlsDetails TlsChannel::details() const {
    TlsDetails d;
    SSL* ssl = session_->ssl;
    if (SSL_is_init_finished(ssl)) {
        d.version = SSL_get_version(ssl);
        const char* cipher = SSL_get_cipher_name(ssl);
        d.cipher = cipher ? cipher : "";
    }
    // The verified leaf, or after a refused certificate the first of the chain the server sent.
    X509* leaf = SSL_get0_peer_certificate(ssl);
    if (!leaf) {
        STACK_OF(X509)* chain = SSL_get_peer_cert_chain(ssl);
        if (chain && sk_X509_num(chain) > 0) leaf = sk_X509_value(chain, 0);
    }
    if (!leaf) return d;
    d.haveCertificate = true;
    d.trouble = troubleOf(SSL_get_verify_result(ssl));
    d.subject = nameText(X509_get_subject_name(leaf));
    d.issuer = nameText(X509_get_issuer_name(leaf));
    d.notAfter = timeText(X509_get0_notAfter(leaf));
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (X509_digest(leaf, EVP_sha256(), digest, &length) == 1) {
        static const char hex[] = "0123456789ABCDEF";
        for (unsigned int i = 0; i < length; ++i) {
            if (i) d.fingerprint += ':';
            d.fingerprint += hex[digest[i] >> 4];
            d.fingerprint += hex[digest[i] & 15];
        }
    }
    return d;
}

void TlsChannel::close() {
    if (closed_) return;
    closed_ = true;
    ERR_clear_error();
    SSL_shutdown(session_->ssl);
    ERR_clear_error();
}

}  // namespace plat
