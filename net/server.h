// A listening TCP server on the loopback addresses with a hidden "NETSERVCLASS" window:
// accepts connections, refuses peers outside 127.0.0.0/8 (and ::1) when local-only, creates one
// session per connection and deletes a session when the session tells it has ended.
#pragma once

#include "net/connection.h"
#include "platform/deferred_calls.h"
#include "platform/socket.h"
#include "platform/window.h"
#include "log/debug.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

class ServerSession;

// Which peers a server serves: only those on this machine's loopback addresses, or any.
enum class Peers { LocalOnly, Any };

class Server {
public:
    Server(plat::HWND owner, Peers peers);
    virtual ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Listens on the port of 127.0.0.1, and of ::1 where the machine has IPv6 loopback; never
    // on a wildcard address. False when 127.0.0.1 failed (logged; listenError() gives the
    // errno value). A failure on ::1 alone is logged and the server serves 127.0.0.1.
    [[nodiscard]] bool listen(int port);
    int listenError() const { return listenError_; }

    plat::HWND window() const { return window_; }
    int port() const { return port_; }
    bool listening() const { return listening_ != plat::INVALID_SOCKET; }
    int sessionCount() const { return sessionCount_; }
    // At shutdown: the sessions still open are ended while everything they use still exists.
    // The destructor ends those still left; a server whose sessions use its own members calls
    // this in its own destructor.
    void endSessions();

protected:
    // Creates the session for an accepted socket and adopts it.
    virtual void createSession(plat::SOCKET s) = 0;
    // Deletes a session that reported its end.
    virtual void removeSession(Connection* session) = 0;

    // Bookkeeping shared by the concrete servers: ownership, the count and the log lines
    // "Creating <label> server session %d" and "Removing <label> server session (%d in-progress)".
    // dropSession deletes the session; a pointer the server does not own is ignored.
    void adoptSession(std::unique_ptr<ServerSession> session, const char* label);
    void dropSession(Connection* session, const char* label);

    int sessionCount_ = 0;

private:
    static plat::LRESULT procedure(plat::HWND, plat::UINT, plat::WPARAM, plat::LPARAM);
    enum class Family { Ipv4, Ipv6 };
    // A listening socket on one loopback address, or INVALID_SOCKET (logged unless quiet and
    // the machine lacks that address).
    plat::SOCKET openListener(Family family, int port);
    void onAccept(plat::SOCKET listening);
    void selectAccept(unsigned events);
    // Out of descriptors or memory: stop watching the listening socket (it would report the
    // waiting connection again at once) until a session ends or the back-off has passed.
    void pauseAccepting();
    void resumeAccepting();

    plat::SOCKET listening_ = plat::INVALID_SOCKET;  // 127.0.0.1
    plat::SOCKET listening6_ = plat::INVALID_SOCKET;  // ::1
    plat::HWND window_ = 0;
    int port_ = 0;
    int listenError_ = 0;
    Peers peers_;
    bool started_ = false;
    bool acceptPaused_ = false;
    bool shortOfResources_ = false;  // an episode of accept failures has been logged
    bool backoffRefusalLogged_ = false;
    // The open sessions, by address: a session that tells its end is one of these or ignored.
    std::unordered_map<Connection*, std::unique_ptr<Connection>> sessions_;
};

// A connection accepted by a Server. finishSession closes it and, once only, asks the server
// to delete it, in a turn of the loop of its own: the object lives until then.
//
// Replies go out through send: what the socket does not take at once waits, in order, and
// goes out on EV_WRITABLE (writeWaiting). While bytes wait, the session takes no more data
// from the peer, so a peer that sends commands without reading the replies is held back by
// TCP instead of growing the session's memory.
class ServerSession : public Connection {
public:
    // sendFailCategory: the log category of the "send() fail" line of this protocol.
    ServerSession(plat::HWND serverWindow, plat::SOCKET s, int sendFailCategory = LOG_NET);

    void finishSession();
    plat::HWND serverWindow() const { return serverWindow_; }
    // What to call, once and from the loop, when the session has ended (at once if it has
    // ended already): the server's removal of it.
    void whenFinished(std::function<void()> onFinished);

protected:
    enum class Output { Sent, Waiting, Failed };

    // Queues bytes behind those still waiting and sends what the socket takes now. Sent: all
    // is out; Waiting: the rest follows on EV_WRITABLE; Failed: the connection is broken
    // (logged once, everything waiting dropped); the session should end.
    Output send(std::string_view bytes);
    // Sends what waits (on EV_WRITABLE). Any progress restarts the inactivity timer.
    Output writeWaiting();
    bool outputWaiting() const { return outbox_.size() > outboxSent_; }
    bool connectionBroken() const { return broken_; }
    // Ends the session once everything queued has gone out (at once when nothing waits).
    void finishWhenSent();
    // Takes the next line (call on EV_LINE). A line longer than maxLength, or one holding a
    // NUL byte, comes back empty, so that it is refused like an unrecognised command.
    std::string takeCommandLine(std::size_t maxLength);
    // Stops (false) or resumes (true) taking data from the peer; the output's own holding
    // back goes through here too, so that the two never disagree.
    void setReading(bool on);

private:
    Output pushOut();

    plat::HWND serverWindow_;
    std::function<void()> onFinished_;
    plat::DeferredCalls later_;
    int sendFailCategory_;
    std::string outbox_;
    std::size_t outboxSent_ = 0;  // bytes of outbox_ already sent
    bool broken_ = false;
    bool finishWhenSent_ = false;
    bool reading_ = true;
};
