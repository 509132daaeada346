// A TCP connection of the engine: an outgoing mail-client connection or an accepted session.
// It owns the socket, a hidden "NETCLASS" child window that receives the socket, look-up and
// timer notifications, the line buffer, and a 60 s inactivity timer, and turns every
// notification into one call of dispatcher(event, arg).
#pragma once

#include "net/line_buffer.h"
#include "platform/host_lookup.h"
#include "platform/socket.h"
#include "platform/tls_channel.h"
#include "platform/window.h"

#include <memory>
#include <string>

class Connection {
public:
    enum Event : int {
        EV_TIMEOUT = 0,  // the inactivity timer expired
        EV_LINE = 1,  // a complete line is held; raised again while one remains
        EV_WRITABLE = 3,  // write-ready, except the first time after a connect
        EV_CONNECT = 5,  // arg 1 connected, 0 failed
        EV_CLOSED = 6,  // peer closed, or a receive failed
        // More than LineBuffer::kMaxLineLength bytes without CRLF; the bytes are dropped. The
        // handler may still send a reply; then the socket is closed and EV_CLOSED follows.
        EV_LINE_TOO_LONG = 7,
        // The TLS handshake begun by startTls ended: arg 1 secured, 0 failed (the cause is in
        // tlsFailure() and already logged).
        EV_SECURED = 8,
        // Only while streamLines is on: an unfinished line has grown to kLinePart bytes or
        // more; the handler takes what is held with lineBuffer().takePart().
        EV_LINE_PART = 9,
    };

    // The inactivity time-out; tests may shorten it.
    static constexpr unsigned kDefaultTimeoutMs = 60000;
    static unsigned timeoutMs;
    // The longest a connection may stay open, however busy: a peer that trickles a byte at a
    // time cannot hold it for ever. When it is reached the connection is closed (NET, HIGH
    // line) and EV_CLOSED follows. Tests may shorten it.
    static constexpr unsigned kDefaultLifeLimitMs = 30 * 60 * 1000;
    static unsigned lifeLimitMs;
    // How much of an unfinished line is held before it is handed over as EV_LINE_PART.
    static constexpr std::size_t kLinePart = 64 * 1024;

    // An accepted connection on socket s.
    Connection(plat::HWND owner, plat::SOCKET s);
    // An outgoing connection to host (name or dotted address) and port; no socket until open.
    Connection(plat::HWND owner, const char* host, int port);
    virtual ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    virtual int dispatcher(Connection::Event event, long arg) = 0;

    // Starts the outgoing connection; the outcome arrives as EV_CONNECT.
    void open();
    // Restarts timer 0 with the inactivity time-out. A read stops the timer, except that a read
    // leaving an unfinished line restarts it, so a peer silent mid-line also times out.
    void armTimeout();
    // Whether the last wait armed by armTimeout ended in EV_TIMEOUT: the peer is stalled, and
    // a closing phase should not wait for it a second time.
    bool idleTimedOut() const { return idleTimedOut_; }
    // On: lines of any length are taken, the long ones in pieces (EV_LINE_PART), instead of
    // being cut off at LineBuffer::kMaxLineLength. For message text, which is stored as it
    // arrives; commands and replies keep the bound.
    void streamLines(bool on) { streaming_ = on; }

    plat::SOCKET socket() const { return socket_; }
    plat::HWND window() const { return window_; }
    LineBuffer& lineBuffer() { return lines_; }
    const std::string& host() const { return host_; }
    int port() const { return port_; }
    bool lookupPending() const { return lookup_ != nullptr; }
    // Why the last EV_CONNECT with arg 0 came, in words ("connection refused", "no such host").
    const std::string& openFailure() const { return openFailure_; }

    // Sends bytes at once: the count sent or -1 (see plat::sendSocket).
    long sendBytes(const char* data, std::size_t length);

    // How a write left the output: all of it taken by the socket; some of it kept until the
    // socket can take more (sent before the handler hears EV_WRITABLE); or the connection failed.
    enum class Output { Drained, Waiting, Failed };
    // Sends bytes after anything still kept, in order, each byte once, however much the socket
    // takes at a time. Failed when there is no connection or it reported an error. When the
    // kept bytes cannot be sent later, the socket is closed and EV_CLOSED follows.
    Output write(const char* data, std::size_t length);
    // Closes the socket and forgets a look-up under way; later notifications of either are
    // dropped.
    void closeSocket();
    // Puts TLS on the established connection, for host(): from here on every byte goes through
    // it, and lines, EV_WRITABLE and EV_CLOSED come as before. The certificate is checked
    // against the system's trust store plus caFile (empty: none) and must name host(). False
    // when the handshake could not even begin (logged, cause in tlsFailure()); otherwise
    // EV_SECURED follows. Bytes received in plain text and not yet taken are dropped: nothing
    // a peer sent before the handshake may pass for protected.
    bool startTls(const std::string& caFile);
    bool secured() const { return tls_ != nullptr && !handshaking_; }
    const std::string& tlsFailure() const { return tlsFailure_; }
    // Whether the connection's peer address lies in 127.0.0.0/8.
    bool peerIsLoopback() const { return (peer_.address >> 24) == 127; }
    // The peer's port (accepted connections; host order).
    std::uint16_t peerPort() const { return peer_.port; }
    // Shuts down both directions, after TLS's closing notice.
    void shutdown();

    // Stops (false) or resumes (true) taking data from an established connection. While
    // stopped, what the peer sends waits in the socket, and TCP flow control holds the peer
    // back; EV_WRITABLE follows each call.
    void watchReading(bool on);

protected:
    bool closeReported_ = false;  // server sessions report their end once

private:
    void init(plat::HWND owner);
    void connect();
    void dropConnection();
    // False when the time limit could not be set (or there is no window to set it on).
    bool startLifeTimer();
    // "connection to host:port" or "local session from port N", for log lines.
    std::string describe() const;
    // For a connection that can no longer be watched or bounded: logs what (NET, HIGH), closes
    // the socket, and the phase hears EV_CLOSED from the loop.
    void abandon(const std::string& what);
    void onLifeLimit();
    // Remembers why opening failed and tells the phase (EV_CONNECT, 0).
    void failOpen(std::string why);
    void deliverLines();
    void afterRead(plat::SOCKET s);
    static plat::LRESULT procedure(plat::HWND, plat::UINT, plat::WPARAM, plat::LPARAM);
    void onSocket(plat::WPARAM socket, plat::LPARAM lParam);
    void onLookup(plat::WPARAM handle, plat::LPARAM lParam);
    void stopTimer();
    void continueHandshake();
    void dropTls(const std::string& why);
    void failTls(const std::string& why);
    void onTlsReadable(plat::SOCKET s);
    // The socket can take data: what is kept goes first, and the handler hears EV_WRITABLE
    // only once all of it is gone.
    void onWritable();
    Output flush();

    plat::Ipv4Endpoint peer_;
    std::unique_ptr<plat::HostLookupResult> lookup_;
    plat::LookupHandle lookupHandle_ = 0;
    plat::HWND window_ = 0;
    bool connectPending_ = false;
    plat::SOCKET socket_ = plat::INVALID_SOCKET;
    LineBuffer lines_;
    std::string host_;
    int port_ = 0;
    bool started_ = false;  // holds a socket-library reference
    bool timerRunning_ = false;
    // Counts armings and stops of the inactivity timer; never 0 once armed. An expiry posted in
    // place of a timer that could not be set carries it.
    std::uint32_t timeoutArming_ = 0;
    bool idleTimedOut_ = false;
    bool streaming_ = false;
    std::unique_ptr<plat::TlsChannel> tls_;
    bool handshaking_ = false;
    bool writeWaitsForRead_ = false;  // a TLS write would block until the peer sends
    bool readWaitsForWrite_ = false;  // a TLS read would block until the socket takes data
    std::string tlsFailure_;
    std::string openFailure_;
    std::string unsent_;  // bytes the socket has not taken yet
    std::size_t unsentFrom_ = 0;  // unsent_[unsentFrom_..] is still to go
};
