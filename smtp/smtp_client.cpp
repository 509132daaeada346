#include "smtp/smtp_client.h"

#include "net/mail_client_open.h"
#include "platform/socket.h"
#include "log/debug.h"
#include "smtp/smtp_close.h"
#include "smtp/smtp_ident.h"
#include "smtp/smtp_phase.h"
#include "smtp/smtp_send_mail_data.h"
#include "smtp/smtp_send_mail_chunks.h"
#include "smtp/smtp_send_mail_env.h"

#include <algorithm>

SMTPClient::SMTPClient(SMTPClientObserver* observer, const char* host, int port)
    : Connection(host, port),
      observer_(observer),
      open_(std::make_unique<MailClient_Open>(this)),
      ident_(std::make_unique<SMTP_Ident>(this)),
      envelope_(std::make_unique<SMTP_SendMailEnv>(this)),
      data_(std::make_unique<SMTP_SendMailData>(this)),
      close_(std::make_unique<SMTP_Close>(this)),
      chunks_(std::make_unique<SMTP_SendMailChunks>(this)) {
    // Reply lines of any length are read to their end, in parts, keeping only their start.
    streamLines(true);
    for (StateHandler* phase : std::initializer_list<StateHandler*>{open_.get(), ident_.get(), envelope_.get(),
                                                                    data_.get(), close_.get(), chunks_.get()})
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

void SMTPClient::setCurrentHandler(StateHandler* handler) {
    if (handler != current_) {
        std::string change = std::string(phaseName(current_)) + " -> " + phaseName(handler);
        DebugLineStr(LOG_MAIL, LOG_LOW, ("SMTP " + host() + ":").c_str(), change.c_str());
    }
    current_ = handler;
}

const char* SMTPClient::phaseName(const StateHandler* phase) const {
    if (!phase) return "idle";
    if (phase == open_.get()) return "opening";
    if (phase == ident_.get()) return "identifying";
    if (phase == envelope_.get()) return "envelope";
    if (phase == data_.get()) return "text";
    if (phase == close_.get()) return "closing";
    return "another phase";
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
