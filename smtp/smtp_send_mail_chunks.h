// One item on a server that takes its text in chunks (CHUNKING, with PIPELINING): RSET (only
// while an earlier transaction is still open), MAIL FROM, every RCPT TO and the message as one
// "BDAT n LAST" go out in one write, and the replies are read in order. The message is read
// from the item file in blocks and sent as it is meant, not as stored (see smtp/bdat_text.h).
//
// An item of several recipients waits for their replies before its BDAT: with one of them
// refused, the server would deliver to the others what the owner is told was refused. An item
// of one recipient has nothing to deliver when its envelope is refused.
//
// Tells the owner as the two phases it stands for would: recipientRefused for a refused
// recipient; envelopeEnded when the envelope fails (RefusedForGood or Failed, with the
// deciding reply in replyLines()); otherwise textEnded: Accepted on a 2xx to the BDAT,
// RefusedForGood on a 5xx, Failed when the item stays queued. The reply rules are those of
// SMTP_SendMailEnv and SMTP_SendMailData.
//
// With quitAfter (the last item of the connection) QUIT goes in the same write as the chunk's
// last bytes (SMTPClient::AfterText::Quit): the reply to the BDAT is read and judged first, as
// always, and SMTP_Close reads QUIT's.
#pragma once

#include "platform/owned_handles.h"
#include "smtp/bdat_text.h"
#include "smtp/smtp_phase.h"

#include <cstdint>
#include <string>
#include <vector>

namespace store {
class AddrList;
}

class SMTP_SendMailChunks : public SMTPPhase {
public:
    enum State : int {
        state_WAIT_RSET_ACK = kWaitGroupRset,
        state_WAIT_MAIL_ACK = kWaitGroupMail,
        state_WAIT_RCPT_ACK = kWaitGroupRcpt,
        state_WAIT_BDAT_ACK = 4,
    };

    using SMTPPhase::SMTPPhase;
    ~SMTP_SendMailChunks() override;

    // list is the owner's and must live until the phase has reported.
    void start(const store::AddrList* list, const std::string& itemPath, bool quitAfter = false);
    int dispatch(Connection::Event event, long arg) override;

private:
    void onReply();
    void envelopeDone();
    void onBdatReply();
    // Starts the BDAT and its message behind prefix, in the same write.
    void startChunk(std::string prefix);
    // Writes blocks until the socket would block or the whole chunk is out.
    void transmit();
    void connectionLost();
    void outOfStep();
    void closeFile();
    // Ends the phase with a notice: the envelope's while no BDAT reply is awaited or the
    // envelope was refused, otherwise the text's.
    void end(ItemOutcome outcome, const char* text = nullptr, const char* detail = nullptr);

    // Everything one item's transaction knows, made fresh at each start.
    struct Run {
        const store::AddrList* list = nullptr;
        int position = 0;  // 1-based index of the address whose reply comes next
        bool bdatSent = false;  // BDAT is on its way: its reply ends the phase
        bool chunkDone = false;  // every byte of the chunk has been written
        bool quitAfter = false;  // QUIT follows the chunk's last bytes
        GroupedRefusal refusal;
        plat::FilePtr file;
        std::uint64_t size = 0;  // the announced chunk size
        BdatText text;
        std::string out;
    };
    Run run_;
    std::vector<char> block_;  // the read buffer, kept from item to item
};
