#include "smtp/smtp_client.h"

#include "net/mail_client_open.h"
#include "platform/socket.h"
#include "log/debug.h"
#include "smtp/smtp_close.h"
#include "smtp/smtp_ident.h"
#include "smtp/smtp_phase.h"
#include "smtp/smtp_send_mail_data.h"
#include "smtp/smtp_send_mail_env.h"

#include <algorithm>

SMTPClient::SMTPClient(SMTPClientObserver* observer, const char* host, int port)
    : Connection(host, port),
      observer_(observer),
      open_(std::make_unique<MailClient_Open>(this)),
      ident_(std::make_unique<SMTP_Ident>(this)),
      envelope_(std::make_unique<SMTP_SendMailEnv>(this)),
      data_(std::make_unique<SMTP_SendMailData>(this)),
      close_(std::make_unique<SMTP_Close>(this)) {
    // Reply lines of any length are read to their end, in parts, keeping only their start.
    streamLines(true);
    for (StateHandler* phase :
         std::initializer_list<StateHandler*>{open_.get(), ident_.get(), envelope_.get(), data_.get(), close_.get()})
        phase->setObserver(observer);
}

SMTPClient::~SMTPClient() = default;

void SMTPClient::setSecurity(Security security, const std::string& user, const std::string& password,
                             const std::string& caFile) {
    security_ = security;
    user_ = user;
    password_ = password;
    caFile_ = caFile;
}

int SMTPClient::dispatcher(Connection::Event event, long arg) {
    if (event == EV_LINE_PART) {
        std::string part = lineBuffer().takePart();
        std::size_t room = SMTPPhase::kMaxReplyLine - std::min(lineStart_.size(), SMTPPhase::kMaxReplyLine);
        lineStart_.append(part, 0, room);
        return 1;
    }
    // The base closes the connection after an endless line and reports EV_CLOSED next.
    if (event == EV_LINE_TOO_LONG) return 1;
    if (!current_) {
        DebugLine(LOG_APP, LOG_HIGH, "NO pStateHandler!!");
        DebugLine(LOG_APP, LOG_HIGH, "TERMINATING CONNECTION");
        lineBuffer().reset();
        closeSocket();
        return 0;
    }
    if (current_->dispatch(event, arg)) return 1;
    if (event == EV_LINE) {
        lineBuffer().reset();
    } else if (event != EV_WRITABLE) {
        // A socket that can take data while nothing waits to be written is no fault.
        closeSocket();
    }
    return 0;
}
