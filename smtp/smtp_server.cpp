#include "smtp/smtp_server.h"

#include "smtp/smtp_serv_sess.h"

SMTPServer::SMTPServer(plat::HWND owner, Peers peers, const std::string& queueDirectory,
                       const NewOutgoingNotice* notice)
    : Server(owner, peers), queueDirectory_(queueDirectory), notice_(notice) {}

void SMTPServer::createSession(plat::SOCKET s) {
    adoptSession(std::make_unique<SMTPServSess>(window(), s, queueDirectory_, notice_), "SMTP");
}

void SMTPServer::removeSession(Client* session) {
    dropSession(session, "SMTP");
}
