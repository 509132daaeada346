// The POP3 retrieval: list the unique identifiers (UIDL), then for each message not recorded
// before retrieve it (RETR) into its item file, report it with MailClient::RETRIEVE_ITEM,
// record its identifier and delete it on the server (DELE); MailClient::RETRIEVE_COMPLETE or
// RETRIEVE_FAIL at the end.
//
// A message that fails on its own (RETR refused, its text not stored) is reported with
// MailClient::RETRIEVE_SKIPPED and left on the server for the next check; the retrieval goes on
// with the next one. Message text is written as it arrives, so a line of any length passes.
//
// Safety of the mail: an item file reaches the disk before it is reported, and the owner moves
// it into its mailbox (and flushes that directory) inside the report, so the server is told to
// delete only what is safely stored; an owner that could not store it answers kItemNotStored
// and the message stays on the server. The identifier is recorded before the DELE, and a listed
// message whose identifier is already recorded is deleted without being retrieved again, so a
// session that ends between the two never gives a second copy nor leaves the message behind.
#pragma once

#include "pop3/pop_phase.h"
#include "pop3/uidl.h"

#include <cstdio>
#include <deque>
#include <memory>
#include <string>

class POP_Retrieve : public POPPhase {
public:
    explicit POP_Retrieve(POPClient* client);
    ~POP_Retrieve() override;

    enum State {
        state_IDLE = 0,
        state_WAIT_UIDL_ACK = 1,
        state_UIDL_LIST = 2,
        state_WAIT_RETR_ACK = 3,
        state_RETR_DATA = 4,
        state_WAIT_DELE_ACK = 5,
        state_WAIT_OLD_DELE_ACK = 6,   // deleting a message retrieved at an earlier check
    };

    // The listing may hold at most this many lines and bytes (every line counts, also one
    // without an identifier); a server that lists more fails the retrieval rather than grow
    // the engine's memory without bound. An entry costs far more than its bytes, so the lines
    // are what bounds a listing of short identifiers: 500,000 entries take about 100 MB.
    static constexpr std::size_t kMaxListingLines = 500000;
    static constexpr std::size_t kMaxListingBytes = 32u * 1024 * 1024;

    void start(const std::string& uidlFile, int deleteFlag);
    int dispatch(int event, long arg) override;

private:
    void onListingLine(const std::string& line);
    void onListingEnd();
    void deleteNextOld();
    void nextItem();
    void onDataLine();
    void onDataPart();
    void writeItemText(const std::string& text);
    void skip(const std::string& reason);
    void onItemEnd();
    void onDeleAck(const std::string& reply, bool old);
    void fail();
    void reset();

    std::unique_ptr<UIDL> known_;      // recorded identifiers, tied to the identifier file
    std::unique_ptr<UIDL> newItems_;   // the listing, then only the messages not seen before
    std::deque<int> oldToDelete_;      // listed messages recorded before: only DELE is sent
    std::size_t listingLines_ = 0;
    std::size_t listingBytes_ = 0;
    std::string storedPath_;
    std::FILE* itemFile_ = nullptr;
    bool itemWriteFailed_ = false;
    bool midLine_ = false;   // part of the current message line has been written already
    int currentNumber_ = 0;
    int deleteFlag_ = 0;
};
