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

void SMTP_SendMailChunks::start(const store::AddrList* list, const std::string& itemPath, bool quitAfter) {
    forgetReply();
    run_ = Run{};
    run_.list = list;
    run_.quitAfter = quitAfter;
    if (!list || list->count() < 2) {
        DebugLine(LOG_APP, LOG_HIGH, list ? "ADDRLIST TOO SMALL" : "INVALID ADDRLIST");
        end(kPermanent);
        return;
    }
    run_.file = plat::openFile(itemPath, "rb");
    std::optional<std::uint64_t> size;
    if (run_.file) {
        size = BdatText::messageSize(run_.file.get());
        if (size && std::fseek(run_.file.get(), 0, SEEK_SET) != 0) size.reset();
    }
    if (!size) {
        // Nothing has been sent: the item waits, as a text that could not be read does.
        DebugLine(LOG_APP, LOG_HIGH, run_.file ? "DATA file read failure" : "DATA file open failure");
        run_.bdatSent = true;  // the notice is the text's
        end(kTransient);
        return;
    }
    run_.size = *size;
    bool rset = smtp().openTransaction();
    std::string group = rset ? "RSET\r\n" : "";
    group += "MAIL FROM: " + *list->address(1) + "\r\n";
    for (int i = 2; i <= list->count(); ++i) group += "RCPT TO: " + *list->address(i) + "\r\n";
    run_.position = 1;
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
        if (run_.bdatSent && !run_.chunkDone) transmit();
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
    if (state_ == state_WAIT_BDAT_ACK) {
        onBdatReply();
        return;
    }
    if (judgeGroupReplyInTurn(*run_.list, run_.position, run_.refusal)) envelopeDone();
}

void SMTP_SendMailChunks::envelopeDone() {
    state_ = state_WAIT_BDAT_ACK;
    if (run_.bdatSent) return;  // its reply comes next
    if (run_.refusal.refused) {
        // Nothing was sent for the text: the transaction stays open, and the next item's RSET
        // ends it.
        end(run_.refusal.outcome);
        return;
    }
    startChunk({});
}

void SMTP_SendMailChunks::onBdatReply() {
    if (!run_.chunkDone) {
        // The server answered before the end of the chunk: what is still to come would be
        // read as commands. Take nothing further.
        dropConnection();
        end(kTransient, "DATA TRANS failed :", reply());
        return;
    }
    if (run_.refusal.refused) {
        // With its envelope refused the server has no one to deliver the chunk to.
        if (replyPositive()) {
            DebugLineStr(LOG_MAIL, LOG_HIGH, "BDAT accepted after a refused envelope, connection closed :", reply());
            dropConnection();
        }
        end(run_.refusal.outcome);
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
    run_.out = std::move(prefix);
    run_.out += "BDAT " + std::to_string(run_.size) + " LAST\r\n";
    run_.bdatSent = true;
    transmit();
}

void SMTP_SendMailChunks::transmit() {
    constexpr std::size_t kBlock = SMTP_SendMailData::kBlockSize;
    if (block_.size() < kBlock) block_.resize(kBlock);
    while (!run_.chunkDone) {
        std::size_t n = std::fread(block_.data(), 1, kBlock, run_.file.get());
        if (n < kBlock && std::ferror(run_.file.get())) {
            // Part of the chunk is on the wire: only a new connection can start over.
            dropConnection();
            end(kTransient, "DATA file read failure");
            return;
        }
        run_.text.decode(block_.data(), n, run_.out);
        if (n < kBlock) {
            run_.text.finish(run_.out);
            closeFile();
            if (run_.text.decoded() != run_.size) {
                // The size announced no longer holds: the server would read the rest as
                // commands, or wait for bytes that never come.
                dropConnection();
                end(kTransient, "Mail item changed while being sent, connection closed");
                return;
            }
            run_.chunkDone = true;
            if (run_.quitAfter) run_.out += "QUIT\r\n";
        }
        SMTPClient::Output out = smtp().write(run_.out.data(), run_.out.size());
        run_.out.clear();
        if (out == SMTPClient::Output::Failed) {
            connectionLost();
            return;
        }
        if (run_.chunkDone && run_.quitAfter) smtp().setAfterText(SMTPClient::AfterText::Quit);
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
    run_.refusal = {};  // nothing read before may be trusted
    end(kTransient);
}

void SMTP_SendMailChunks::connectionLost() {
    dropConnection();
    DebugLine(LOG_NET, LOG_HIGH, "Socket closed or timeout");
    run_.refusal = {};
    end(kTransient);
}

void SMTP_SendMailChunks::closeFile() {
    run_.file.reset();
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
    bool envelope = run_.refusal.refused || !run_.bdatSent;
    if (run_.refusal.refused) restoreReplyLines(run_.refusal.lines);
    run_.list = nullptr;
    state_ = 0;
    if (!owner()) return;
    if (envelope && outcome != ItemOutcome::Accepted) {
        owner()->envelopeEnded(outcome);
    } else {
        owner()->textEnded(outcome);
    }
}
