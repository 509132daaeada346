#include "pop3/pop_server.h"

#include "pop3/pop_serv_sess.h"

POPServer::POPServer(plat::HWND owner, Peers peers, const std::string& accountsKey, LoginThrottle* logins)
    : Server(owner, peers),
      accountsKey_(accountsKey),
      ownThrottle_(logins ? nullptr : std::make_unique<LoginThrottle>()),
      throttle_(logins ? logins : ownThrottle_.get()) {}

POPServer::~POPServer() {
    endSessions();  // before the throttle they use goes
}

void POPServer::createSession(plat::SOCKET s) {
    adoptSession(std::make_unique<POPServSess>(window(), s, accountsKey_, throttle_), "POP");
}

void POPServer::removeSession(Connection* session) {
    dropSession(session, "POP");
}
