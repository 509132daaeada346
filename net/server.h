// A listening TCP server with a hidden "NETSERVCLASS" window: accepts connections, refuses
// peers outside 127.0.0.0/8 when local-only, creates one session per connection and deletes
// a session when the session reports its end (WM_USER+1, wParam = the session).
#pragma once

#include "net/client.h"
#include "platform/socket.h"
#include "platform/window.h"

#include <unordered_set>

constexpr plat::UINT WM_SESSION_FINISHED = plat::WM_USER + 1;   // 1025

class Server {
public:
    Server(plat::HWND owner, bool localOnly);
    virtual ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Listens on the port of all local addresses; 1 on success, 0 on failure (logged).
    int listen(int port);

    plat::HWND window() const { return window_; }
    int port() const { return port_; }
    int sessionCount() const { return sessionCount_; }

protected:
    // Creates the session for an accepted socket; answers 1.
    virtual int createSession(plat::SOCKET s) = 0;
    // Deletes a session that reported its end.
    virtual void removeSession(Client* session) = 0;

    // Bookkeeping shared by the concrete servers: the count and the log lines
    // "Creating <label> server session %d" and "Removing <label> server session (%d in-progress)".
    void adoptSession(Client* session, const char* label);
    void dropSession(Client* session, const char* label);

    int sessionCount_ = 0;

private:
    static plat::LRESULT procedure(plat::HWND, plat::UINT, plat::WPARAM, plat::LPARAM);
    void onAccept();

    plat::SOCKET listening_ = plat::INVALID_SOCKET;
    plat::HWND window_ = 0;
    int port_ = 0;
    bool localOnly_;
    bool started_ = false;
    std::unordered_set<Client*> sessions_;   // only these may be deleted by a removal message
};

// A connection accepted by a Server. finishSession closes it and, once only, asks the server
// to delete it; the object lives until the server's removal message has been handled.
class ServerSession : public Client {
public:
    ServerSession(plat::HWND serverWindow, plat::SOCKET s) : Client(serverWindow, s), serverWindow_(serverWindow) {}

    void finishSession();
    plat::HWND serverWindow() const { return serverWindow_; }

private:
    plat::HWND serverWindow_;
};
