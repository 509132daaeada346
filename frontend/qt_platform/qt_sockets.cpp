// The front end selects no sockets for notifications: a receive or a send is the plain call.
// What uses them here is the blocking line stream of the server check, on a worker thread.
#include "platform/socket.h"

#include <sys/socket.h>

namespace plat {

long recvSocket(SOCKET s, void* buf, std::size_t len) {
    return static_cast<long>(::recv(s, buf, len, 0));
}

long sendSocket(SOCKET s, const void* buf, std::size_t len) {
    return static_cast<long>(::send(s, buf, len, MSG_NOSIGNAL));
}

}  // namespace plat
