#include "smtp/smtp_send_mail_data.h"

#include "net/connection.h"
#include "log/debug.h"
#include "smtp/smtp_client.h"

#include <cstring>

SMTP_SendMailData::~SMTP_SendMailData() {
    closeFile();
}

void SMTP_SendMailData::start(const std::string& itemPath, std::string afterText, SMTPClient::AfterText kind) {
    forgetReply();
    run_ = Run{};
    run_.afterText = std::move(afterText);
    run_.afterKind = kind;
    bool ahead = smtp().takeDataAhead();
    run_.file = plat::openFile(itemPath, "rb");
    if (!run_.file) {
        DebugLine(LOG_APP, LOG_HIGH, "DATA file open failure");
        // DATA already went out with the envelope: a server that accepts it must not be left
        // waiting for a text that will not come, nor be given an empty one.
        if (ahead) dropConnection();
        end(ItemOutcome::Failed);
        return;
    }
    state_ = state_WAIT_DATA_ACK;
    client_->armTimeout();
    if (!ahead && !sendCommand("DATA")) {
        DebugLine(LOG_MAIL, LOG_HIGH, ("Delivery to " + client_->host() + ": DATA could not be sent").c_str());
        closeFile();
        end(ItemOutcome::Failed);
    }
}

int SMTP_SendMailData::dispatch(Connection::Event event, long) {
    if (state_ == 0) return 0;
    switch (event) {
    case Connection::EV_LINE:
        if (state_ == state_TRAN_DATA) {
            // The server spoke before the end of the text: it has given up on this message,
            // and what is still to come would be read as commands. Take nothing further.
            takeAnyReply();
            dropConnection();
            fail("DATA TRANS failed :", reply());
            return 1;
        }
        if (!takeFinalReply()) return 1;
        if (state_ == state_WAIT_DATA_ACK) {
            if (!replyFits(Command::Data)) {
                // A "250" to DATA: the replies are out of step, and a text sent now could be
                // read as commands.
                dropConnection();
                fail("DATA reply out of step, connection closed :", reply());
            } else if (!replyPositive()) {
                fail("DATA command failed :", reply(), replyPermanent());
            } else {
                state_ = state_TRAN_DATA;
                transmit();
            }
            return 1;
        }
        // A 2xx, 4xx or 5xx reply to the "." ends the transaction. After anything else the
        // server's state is unknown: what went out behind the "." must not be read as answered.
        smtp().endTransaction();
        if (!replyFits(Command::Text)) dropConnection();
        if (reply()[0] == '2') {
            // Only a 2xx takes the message over; a "354" or anything odd here may not.
            end(ItemOutcome::Accepted);
        } else {
            fail("DATA TRANS failed :", reply(), replyPermanent());
        }
        return 1;
    case Connection::EV_WRITABLE:
        if (state_ != state_TRAN_DATA) return 0;
        transmit();
        return 1;
    case Connection::EV_TIMEOUT:
    case Connection::EV_CLOSED: connectionLost(); return 0;
    default: return 0;
    }
}

void SMTP_SendMailData::transmit() {
    // Room for CRLF "." CRLF and what follows it after a block.
    if (block_.size() < kBlockSize + 5 + run_.afterText.size()) block_.resize(kBlockSize + 5 + run_.afterText.size());
    while (!run_.endQueued) {
        std::size_t n = std::fread(block_.data(), 1, kBlockSize, run_.file.get());
        if (n < kBlockSize && std::ferror(run_.file.get())) {
            // Part of the text is on the wire: only a new connection can start over.
            dropConnection();
            fail("DATA file read failure");
            return;
        }
        if (n >= 2) {
            run_.tail[0] = block_[n - 2];
            run_.tail[1] = block_[n - 1];
        } else if (n == 1) {
            run_.tail[0] = run_.tail[1];
            run_.tail[1] = block_[0];
        }
        if (n < kBlockSize && std::feof(run_.file.get())) {
            closeFile();
            // A text that does not end its last line would swallow the final ".".
            bool open = (run_.tail[0] || run_.tail[1]) && !(run_.tail[0] == '\r' && run_.tail[1] == '\n');
            const char* end = open ? "\r\n.\r\n" : ".\r\n";
            std::memcpy(block_.data() + n, end, std::strlen(end));
            n += std::strlen(end);
            std::memcpy(block_.data() + n, run_.afterText.data(), run_.afterText.size());
            n += run_.afterText.size();
            run_.endQueued = true;
        }
        SMTPClient::Output out = smtp().write(block_.data(), n);
        if (out == SMTPClient::Output::Failed) {
            connectionLost();
            return;
        }
        if (run_.endQueued) smtp().setAfterText(run_.afterKind);
        if (out == SMTPClient::Output::Waiting) {
            // Bounded: a server that takes nothing more for the time-out ends the phase.
            DebugLine(LOG_NET, LOG_LOW, "Send would block");
            client_->armTimeout();
            return;
        }
    }
    state_ = state_WAIT_TRAN_DATA_ACK;
    client_->armTimeout();
}

void SMTP_SendMailData::fail(const char* text, const char* detail, bool refused) {
    if (detail) {
        DebugLineStr(LOG_MAIL, LOG_HIGH, text, detail);
    } else {
        DebugLine(LOG_MAIL, LOG_HIGH, text);
    }
    closeFile();
    end(refused ? ItemOutcome::RefusedForGood : ItemOutcome::Failed);
}

void SMTP_SendMailData::connectionLost() {
    dropConnection();
    DebugLine(LOG_NET, LOG_HIGH, "Socket closed or timeout");
    closeFile();
    end(ItemOutcome::Failed);
}

void SMTP_SendMailData::closeFile() {
    run_.file.reset();
}

void SMTP_SendMailData::end(ItemOutcome outcome) {
    state_ = 0;
    if (owner()) owner()->textEnded(outcome);
}
