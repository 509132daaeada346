// The envelope of one item: RSET, MAIL FROM with address 1, RCPT TO with each further address.
// Tells the owner envelopeEnded: Accepted when every recipient was accepted; otherwise
// RefusedForGood (the item can never be sent) or Failed (it may pass later), after
// recipientRefused with the address of a refused recipient. Recipients after a refused one
// are not tried.
//
// On a server that takes commands in groups, the envelope goes out in one write: RSET (only
// while an earlier transaction is still open), MAIL FROM, every RCPT TO and, for an item of one
// recipient, DATA, whose reply the text phase then reads. The same group may already have gone
// out behind the previous item's text (SMTPClient::AfterText::Envelope): then only its replies
// are read. The replies are read in order and judged as
// above; those that follow a refusal only keep the conversation in step, and a DATA that a
// server accepts after a refusal gets no text: the connection is given up instead, so that
// nothing is delivered. DATA waits for the replies of an item of several recipients, whose
// partly refused list would otherwise leave the server expecting a text for the rest.
#pragma once

#include "smtp/smtp_phase.h"

#include <string>

namespace store {
class AddrList;
}

class SMTP_SendMailEnv : public SMTPPhase {
public:
    enum State : int {
        state_WAIT_RSET_ACK = kWaitGroupRset,
        state_WAIT_MAIL_ACK = kWaitGroupMail,
        state_WAIT_RCPT_ACK = kWaitGroupRcpt,
        state_WAIT_DATA_ACK = 4,  // grouped, after a refusal: DATA's reply, to be dropped
    };

    using SMTPPhase::SMTPPhase;

    // list is the owner's and must live until the phase has reported; null or fewer than two
    // addresses fail at once, with nothing sent.
    void start(const store::AddrList* list);
    int dispatch(Connection::Event event, long arg) override;

    // The group for list (at least two addresses), with RSET first when rset is set.
    static std::string groupText(const store::AddrList& list, bool rset);
    // Whether list's group ends with DATA: an item of one recipient.
    static bool carriesData(const store::AddrList& list);

private:
    void sendGroup();
    void onGroupReply();
    void endGroup();
    // A reply that cannot answer the command it is matched with.
    void outOfStep();
    void onRsetReply();
    void onMailReply();
    int onRcptReply();
    // Sends the command for the address at position_ ("MAIL FROM: " or "RCPT TO: ").
    bool sendAddress(const char* command);
    void end(ItemOutcome outcome);

    // Everything one item's envelope knows, made fresh at each start.
    struct Run {
        const store::AddrList* list = nullptr;
        int position = 0;  // 1-based index of the address last sent
        bool grouped = false;
        bool dataAhead = false;  // DATA went out with the group
        GroupedRefusal refusal;  // grouped: the first refusal decides the outcome
    };
    Run run_;
};
