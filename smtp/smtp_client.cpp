#include "smtp/smtp_client.h"

#include "net/mail_client_open.h"
#include "platform/socket.h"
#include "shared/debug.h"
#include "smtp/smtp_close.h"
#include "smtp/smtp_ident.h"
#include "smtp/smtp_phase.h"
#include "smtp/smtp_send_mail_data.h"
#include "smtp/smtp_send_mail_env.h"

#include <algorithm>

SMTPClient::SMTPClient(plat::HWND owner, const char* host, int port)
    : Client(owner, host, port),
      open_(std::make_unique<MailClient_Open>(this)),
      ident_(std::make_unique<SMTP_Ident>(this)),
      envelope_(std::make_unique<SMTP_SendMailEnv>(this)),
      data_(std::make_unique<SMTP_SendMailData>(this)),
      close_(std::make_unique<SMTP_Close>(this)) {
    // Reply lines of any length are read to their end, in parts, keeping only their start.
    streamLines(true);
}

SMTPClient::~SMTPClient() = default;

void SMTPClient::setSecurity(Security security, const std::string& user, const std::string& password,
                             const std::string& caFile) {
    security_ = security;
    user_ = user;
    password_ = password;
    caFile_ = caFile;
}

int SMTPClient::dispatcher(int event, long arg) {
    if (event == EV_WRITABLE && unsentFrom_ < unsent_.size()) {
        Output out = flush();
        if (out == Output::Waiting) return 1;
        if (out == Output::Failed) {
            // The phase waits for a reply that cannot come now: let it fail at once.
            closeSocket();
            event = EV_CLOSED;
        }
    }
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

SMTPClient::Output SMTPClient::write(const char* data, std::size_t length) {
    if (socket() == plat::INVALID_SOCKET) return Output::Failed;
    if (unsentFrom_ < unsent_.size()) {
        unsent_.append(data, length);
        return Output::Waiting;
    }
    // Sent straight from the caller's bytes; only what the socket leaves is copied.
    std::size_t done = 0;
    while (done < length) {
        long n = sendBytes(data + done, length - done);
        if (n < 0) {
            if (plat::socketError() != plat::errorWouldBlock()) return Output::Failed;
            unsent_.assign(data + done, length - done);
            unsentFrom_ = 0;
            return Output::Waiting;
        }
        done += static_cast<std::size_t>(n);
    }
    return Output::Drained;
}

SMTPClient::Output SMTPClient::flush() {
    if (socket() == plat::INVALID_SOCKET) return Output::Failed;
    while (unsentFrom_ < unsent_.size()) {
        long n = sendBytes(unsent_.data() + unsentFrom_, unsent_.size() - unsentFrom_);
        if (n < 0 && plat::socketError() == plat::errorWouldBlock()) return Output::Waiting;
        if (n < 0) {
            unsent_.clear();
            unsentFrom_ = 0;
            return Output::Failed;
        }
        unsentFrom_ += static_cast<std::size_t>(n);
    }
    unsent_.clear();
    unsentFrom_ = 0;
    return Output::Drained;
}
