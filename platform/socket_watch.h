// Readiness of non-blocking sockets as calls of a function on the loop's thread, with the
// rules of asyncSelect (platform/socket.h): FD_WRITE once when connected and then only after a
// send that would block, FD_READ and FD_ACCEPT again only after recv or accept. Each
// notification is queued in the order it happened and dropped when its socket is closed or
// selected anew before its turn.
#pragma once

#include "platform/socket.h"

#include <functional>

namespace plat {

// One notification: FD_READ, FD_WRITE, FD_ACCEPT, FD_CONNECT or FD_CLOSE, with the errno value
// of a failed connect (0 otherwise).
struct SocketEvent {
    SOCKET socket = INVALID_SOCKET;
    unsigned event = 0;
    int error = 0;
};

class SocketWatch {
public:
    using Handler = std::function<void(const SocketEvent&)>;
    // The handler may close the socket, select it anew or delete this object.
    explicit SocketWatch(Handler handler);
    ~SocketWatch();
    SocketWatch(const SocketWatch&) = delete;
    SocketWatch& operator=(const SocketWatch&) = delete;

    // Whether notifications can reach the handler at all.
    bool ready() const { return window_ != 0; }
    // Selects the events of s (0 cancels); several sockets may share one watch. False when the
    // selection failed (socketError() says why) or the watch is not ready.
    [[nodiscard]] bool select(SOCKET s, unsigned events);

private:
    static LRESULT procedure(HWND, UINT, WPARAM, LPARAM);

    Handler handler_;
    HWND window_ = 0;
};

}  // namespace plat
