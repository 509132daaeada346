// The text of one item: DATA (unless it went out with the envelope), the item file exactly as
// stored (it is already in transmission form: leading dots doubled, CRLF line ends), then "."
// CRLF. Tells the owner textEnded: Accepted when the server answers the final "." with a 2xx
// reply, RefusedForGood when a 5xx reply to DATA or to the "." refused the message for good
// (replyLines() holds that reply), Failed when the item stays queued.
//
// afterText (with its kind) goes out in the same write as the final ".": the next item's
// envelope or QUIT, on a server that takes commands in groups. The reply to the "." is read
// first, as always; the phase that follows reads the rest.
//
// The file is sent in blocks; what the socket does not take at once waits in the client and
// goes out, in order, when the socket can take more. A server that takes nothing for the
// inactivity time-out ends the phase.
#pragma once

#include "platform/owned_handles.h"
#include "smtp/smtp_client.h"
#include "smtp/smtp_phase.h"

#include <cstdio>
#include <string>
#include <vector>

class SMTP_SendMailData : public SMTPPhase {
public:
    enum State : int { state_WAIT_DATA_ACK = 1, state_TRAN_DATA = 2, state_WAIT_TRAN_DATA_ACK = 3 };

    // Bytes read from the item file at a time.
    static constexpr std::size_t kBlockSize = 64 * 1024;

    using SMTPPhase::SMTPPhase;
    ~SMTP_SendMailData() override;

    void start(const std::string& itemPath, std::string afterText = {},
               SMTPClient::AfterText kind = SMTPClient::AfterText::Nothing);
    int dispatch(Connection::Event event, long arg) override;

private:
    // Sends blocks of the file until the socket would block or the final "." is out.
    void transmit();
    // refused: the server refused the message for good.
    void fail(const char* text, const char* detail = nullptr, bool refused = false);
    void connectionLost();
    void closeFile();
    // Ends the phase and tells the owner how the text ended.
    void end(ItemOutcome outcome);

    // Everything one item's text knows, made fresh at each start.
    struct Run {
        plat::FilePtr file;
        bool endQueued = false;  // the file's last block and the final "." have been written
        char tail[2] = {};  // the last two bytes of the file read so far
        std::string afterText;
        SMTPClient::AfterText afterKind = SMTPClient::AfterText::Nothing;
    };
    Run run_;
    std::vector<char> block_;  // the read buffer, kept from item to item
};
