// A scripted SMTP server on a loopback port, run on a thread of its own, standing for the
// provider in the SMTP client tests. It records every command line and the exact bytes of
// every message, and answers as the test says. Given a certificate and key, it speaks TLS
// from the first byte.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace smtptest {

class SmtpPeer {
public:
    // The reply to a command line (CRLF-terminated, several lines allowed); empty: no reply.
    using Answer = std::function<std::string(const std::string& command)>;

    std::string greeting = "220 provider ready\r\n";
    std::string dataReply = "250 queued\r\n";
    std::function<std::string(const std::string& text)> textAnswer;  // instead of dataReply when set
    Answer answer = defaultAnswer;
    int receiveBuffer = 0;  // SO_RCVBUF of the accepted socket when not 0
    int pauseInDataMs = 0;  // stop reading this long after the first bytes of each text
    bool neverReadData = false;  // take no byte of the text at all
    std::string tlsCert, tlsKey;  // PEM files: TLS from the first byte when set
    std::string ehloReply;  // the reply to EHLO when set, whatever answer says
    bool holdAfterQuit = false;  // keep the connection open after answering QUIT

    SmtpPeer() {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listener_, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
        socklen_t len = sizeof sa;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&sa), &len);
        port = ntohs(sa.sin_port);
    }
    ~SmtpPeer() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        ::close(listener_);
    }

    // Starts listening and serving connections one after another (call after setting options).
    void start() {
        if (receiveBuffer) ::setsockopt(listener_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        ::listen(listener_, 4);
        thread_ = std::thread([this] { serve(); });
    }

    static std::string defaultAnswer(const std::string& command) {
        if (command.rfind("DATA", 0) == 0) return "354 go ahead\r\n";
        if (command.rfind("QUIT", 0) == 0) return "221 bye\r\n";
        return "250 ok\r\n";
    }

    std::vector<std::string> commands() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return commands_;
    }
    std::vector<std::string> messages() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return messages_;
    }
    int connections() const { return connections_; }
    // The bytes of each read, as they came: what a client sent in one write comes in one.
    std::vector<std::string> reads() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return reads_;
    }

    int port = 0;

private:
    void serve() {
        while (!stop_) {
            pollfd p{listener_, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) continue;
            int fd = ::accept(listener_, nullptr, nullptr);
            if (fd < 0) continue;
            ++connections_;
            if (startTls(fd)) converse(fd);
            if (ssl_) SSL_free(ssl_);
            ssl_ = nullptr;
            ::close(fd);
        }
    }

    // Reads into buf_ until it holds pattern; false when the peer closed or the test ended.
    bool readUntil(int fd, const std::string& pattern, std::size_t& at) {
        for (;;) {
            at = buf_.find(pattern);
            if (at != std::string::npos) return true;
            if (!readSome(fd)) return false;
        }
    }
    bool startTls(int fd) {
        if (tlsCert.empty()) return true;
        ::signal(SIGPIPE, SIG_IGN);  // TLS writes to a closed connection must not end the test
        SSL_CTX* context = SSL_CTX_new(TLS_server_method());
        SSL_CTX_use_certificate_chain_file(context, tlsCert.c_str());
        SSL_CTX_use_PrivateKey_file(context, tlsKey.c_str(), SSL_FILETYPE_PEM);
        ssl_ = SSL_new(context);
        SSL_CTX_free(context);  // the session keeps its own reference
        SSL_set_fd(ssl_, fd);
        return SSL_accept(ssl_) == 1;
    }
    bool readSome(int fd) {
        pollfd p{fd, POLLIN, 0};
        while (!stop_) {
            // Bytes TLS has already taken from the socket are not seen by poll.
            if (!(ssl_ && SSL_pending(ssl_) > 0) && ::poll(&p, 1, 20) <= 0) continue;
            char chunk[65536];
            ssize_t n = ssl_ ? SSL_read(ssl_, chunk, sizeof chunk) : ::recv(fd, chunk, sizeof chunk, 0);
            if (n <= 0) return false;
            buf_.append(chunk, static_cast<std::size_t>(n));
            {
                std::lock_guard<std::mutex> lock(mutex_);
                reads_.emplace_back(chunk, static_cast<std::size_t>(n));
            }
            return true;
        }
        return false;
    }
    void say(int fd, const std::string& text) {
        if (text.empty()) return;
        if (ssl_) {
            SSL_write(ssl_, text.data(), static_cast<int>(text.size()));
        } else {
            ::send(fd, text.data(), text.size(), MSG_NOSIGNAL);
        }
    }
    void sleepWhileRunning(int ms) {
        for (int i = 0; i < ms / 10 && !stop_; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }

    void converse(int fd) {
        buf_.clear();
        say(fd, greeting);
        std::size_t at = 0;
        while (readUntil(fd, "\r\n", at)) {
            std::string line = buf_.substr(0, at);
            buf_.erase(0, at + 2);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                commands_.push_back(line);
            }
            std::string reply = !ehloReply.empty() && line.rfind("EHLO", 0) == 0 ? ehloReply : answer(line);
            say(fd, reply);
            if (line == "QUIT") {
                if (holdAfterQuit) sleepWhileRunning(1000000);
                return;
            }
            if (line == "DATA" && reply.rfind("354", 0) == 0 && !readText(fd)) return;
        }
    }

    // Reads one message text up to CRLF "." CRLF and answers it.
    bool readText(int fd) {
        if (neverReadData) {
            sleepWhileRunning(1000000);
            return false;
        }
        if (pauseInDataMs) {
            if (buf_.empty() && !readSome(fd)) return false;
            sleepWhileRunning(pauseInDataMs);
        }
        std::size_t at = 0;
        for (;;) {
            if (buf_.rfind(".\r\n", 0) == 0) {
                at = 0;
                break;
            }
            at = buf_.find("\r\n.\r\n");
            if (at != std::string::npos) {
                at += 2;
                break;
            }
            if (!readSome(fd)) return false;
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            messages_.push_back(buf_.substr(0, at));
        }
        std::string text = buf_.substr(0, at);
        buf_.erase(0, at + 3);
        say(fd, textAnswer ? textAnswer(text) : dataReply);
        return true;
    }

    int listener_ = -1;
    SSL* ssl_ = nullptr;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
    std::string buf_;
    mutable std::mutex mutex_;
    std::vector<std::string> commands_;
    std::vector<std::string> messages_;
    std::vector<std::string> reads_;
};

}  // namespace smtptest
