#include "pop3/pop_server.h"

#include "pop3/pop_serv_sess.h"

POPServer::POPServer(plat::HWND owner, bool localOnly, const std::string& accountsKey)
    : Server(owner, localOnly), accountsKey_(accountsKey) {}

int POPServer::createSession(plat::SOCKET s) {
    adoptSession(new POPServSess(window(), s, accountsKey_), "POP");
    return 1;
}

void POPServer::removeSession(Client* session) {
    dropSession(session, "POP");
}
