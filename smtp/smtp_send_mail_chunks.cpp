#include "smtp/smtp_send_mail_chunks.h"

#include "net/connection.h"
#include "log/debug.h"
#include "smtp/smtp_client.h"
#include "smtp/smtp_send_mail_data.h"
#include "store/addr_list.h"

namespace {
constexpr ItemOutcome kPermanent = ItemOutcome::RefusedForGood;
constexpr ItemOutcome kTransient = ItemOutcome::Failed;
}  // namespace

SMTP_SendMailChunks::~SMTP_SendMailChunks() {
    closeFile();
}

void SMTP_SendMailChunks::start(const store::AddrList* list, const std::string& itemPath) {
    closeFile();
    forgetReply();
    list_ = list;
    refusal_ = {};
    bdatSent_ = false;
    chunkDone_ = false;
    text_ = BdatText();
    out_.clear();
    if (!list || list->count() < 2) {
        DebugLine(LOG_APP, LOG_HIGH, list ? "ADDRLIST TOO SMALL" : "INVALID ADDRLIST");
        end(kPermanent);
        return;
    }
    file_ = plat::openFile(itemPath, "rb");
    std::optional<std::uint64_t> size;
    if (file_) {
        size = BdatText::messageSize(file_.get());
        if (size && std::fseek(file_.get(), 0, SEEK_SET) != 0) size.reset();
    }
    if (!size) {
        // Nothing has been sent: the item waits, as a text that could not be read does.
        DebugLine(LOG_APP, LOG_HIGH, file_ ? "DATA file read failure" : "DATA file open failure");
        bdatSent_ = true;  // the notice is the text's
        end(kTransient);
        return;
    }
    size_ = *size;
    bool rset = smtp().openTransaction();
    std::string group = rset ? "RSET\r\n" : "";
    group += "MAIL FROM: " + *list->address(1) + "\r\n";
    for (int i = 2; i <= list->count(); ++i) group += "RCPT TO: " + *list->address(i) + "\r\n";
    position_ = 1;
    state_ = rset ? state_WAIT_RSET_ACK : state_WAIT_MAIL_ACK;
    client_->armTimeout();
    if (list->count() == 2) {
        startChunk(std::move(group));
        return;
    }
    if (smtp().write(group.data(), group.size()) == SMTPClient::Output::Failed) {
        DebugLine(LOG_NET, LOG_HIGH, "Envelope TX fail");
        dropConnection();
        end(kTransient);
    }
}

int SMTP_SendMailChunks::dispatch(Connection::Event event, long) {
    if (state_ == 0) return 0;
    switch (event) {
    case Connection::EV_LINE:
        if (takeFinalReply()) onReply();
        return 1;
    case Connection::EV_WRITABLE:
        if (bdatSent_ && !chunkDone_) transmit();
        return 1;
    case Connection::EV_TIMEOUT:
    case Connection::EV_CLOSED: connectionLost(); return 0;
    default: return 0;
    }
}

void SMTP_SendMailChunks::onReply() {
    if (!replyFits(state_ == state_WAIT_BDAT_ACK ? Command::Text : Command::Envelope)) {
        outOfStep();
        return;
    }
    client_->armTimeout();
    switch (state_) {
    case state_WAIT_RSET_ACK:
        judgeGroupedReply(*list_, 0, refusal_);
        state_ = state_WAIT_MAIL_ACK;
        return;
    case state_WAIT_MAIL_ACK:
        judgeGroupedReply(*list_, 1, refusal_);
        position_ = 2;
        state_ = state_WAIT_RCPT_ACK;
        return;
    case state_WAIT_RCPT_ACK:
        judgeGroupedReply(*list_, position_, refusal_);
        if (++position_ <= list_->count()) return;
        envelopeDone();
        return;
    default: onBdatReply(); return;
    }
}

void SMTP_SendMailChunks::envelopeDone() {
    state_ = state_WAIT_BDAT_ACK;
    if (bdatSent_) return;  // its reply comes next
    if (refusal_.refused) {
        // Nothing was sent for the text: the transaction stays open, and the next item's RSET
        // ends it.
        end(refusal_.outcome);
        return;
    }
    startChunk({});
}

void SMTP_SendMailChunks::onBdatReply() {
    if (!chunkDone_) {
        // The server answered before the end of the chunk: what is still to come would be
        // read as commands. Take nothing further.
        dropConnection();
        end(kTransient, "DATA TRANS failed :", reply());
        return;
    }
    if (refusal_.refused) {
        // With its envelope refused the server has no one to deliver the chunk to.
        if (replyPositive()) {
            DebugLineStr(LOG_MAIL, LOG_HIGH, "BDAT accepted after a refused envelope, connection closed :", reply());
            dropConnection();
        }
        end(refusal_.outcome);
        return;
    }
    // A reply to BDAT LAST ends the transaction, whatever it says.
    smtp().endTransaction();
    if (reply()[0] == '2') {
        end(ItemOutcome::Accepted);
    } else {
        end(replyPermanent() ? kPermanent : kTransient, "DATA TRANS failed :", reply());
    }
}

void SMTP_SendMailChunks::startChunk(std::string prefix) {
    out_ = std::move(prefix);
    out_ += "BDAT " + std::to_string(size_) + " LAST\r\n";
    bdatSent_ = true;
    transmit();
}

void SMTP_SendMailChunks::transmit() {
    constexpr std::size_t kBlock = SMTP_SendMailData::kBlockSize;
    if (block_.size() < kBlock) block_.resize(kBlock);
    while (!chunkDone_) {
        std::size_t n = std::fread(block_.data(), 1, kBlock, file_.get());
        if (n < kBlock && std::ferror(file_.get())) {
            // Part of the chunk is on the wire: only a new connection can start over.
            dropConnection();
            end(kTransient, "DATA file read failure");
            return;
        }
        text_.decode(block_.data(), n, out_);
        if (n < kBlock) {
            text_.finish(out_);
            closeFile();
            if (text_.decoded() != size_) {
                // The size announced no longer holds: the server would read the rest as
                // commands, or wait for bytes that never come.
                dropConnection();
                end(kTransient, "Mail item changed while being sent, connection closed");
                return;
            }
            chunkDone_ = true;
        }
        SMTPClient::Output out = smtp().write(out_.data(), out_.size());
        out_.clear();
        if (out == SMTPClient::Output::Failed) {
            connectionLost();
            return;
        }
        if (out == SMTPClient::Output::Waiting) {
            // Bounded: a server that takes nothing more for the time-out ends the phase.
            DebugLine(LOG_NET, LOG_LOW, "Send would block");
            client_->armTimeout();
            return;
        }
    }
    client_->armTimeout();
}

void SMTP_SendMailChunks::outOfStep() {
    DebugLineStr(LOG_MAIL, LOG_HIGH, "Reply out of step with the envelope, connection closed :", reply());
    dropConnection();
    refusal_ = {};  // nothing read before may be trusted
    end(kTransient);
}

void SMTP_SendMailChunks::connectionLost() {
    dropConnection();
    DebugLine(LOG_NET, LOG_HIGH, "Socket closed or timeout");
    refusal_ = {};
    end(kTransient);
}

void SMTP_SendMailChunks::closeFile() {
    file_.reset();
}

void SMTP_SendMailChunks::end(ItemOutcome outcome, const char* text, const char* detail) {
    if (text) {
        if (detail) {
            DebugLineStr(LOG_MAIL, LOG_HIGH, text, detail);
        } else {
            DebugLine(LOG_MAIL, LOG_HIGH, text);
        }
    }
    closeFile();
    bool envelope = refusal_.refused || !bdatSent_;
    if (refusal_.refused) restoreReplyLines(refusal_.lines);
    list_ = nullptr;
    state_ = 0;
    if (!owner()) return;
    if (envelope && outcome != ItemOutcome::Accepted) {
        owner()->envelopeEnded(outcome);
    } else {
        owner()->textEnded(outcome);
    }
}
