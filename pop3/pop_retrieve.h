// The POP3 retrieval: unless the login found PIPELINING already, ask the server's capabilities
// (CAPA; a refusal means none), list the unique identifiers (UIDL), then for each message not recorded
// before retrieve it (RETR) into its item file, hand it to the owner (itemReceived), record
// its identifier and delete it on the server (DELE); retrievalEnded at the end.
//
// A message that fails on its own (RETR refused, its text not stored) is reported with
// messageSkipped and left on the server for the next check; the retrieval goes on
// with the next one. Message text is written as it arrives, so a line of any length passes.
//
// The item files of the next messages are made ahead on threads of their own (plat::FileMaker);
// those left unused at the end are removed. A message received whole has its file synced to the
// disk on another thread (plat::FileSyncer) while the next ones arrive.
//
// Safety of the mail: an item file reaches the disk before it is reported, and the owner moves
// it into its mailbox (and flushes that directory) inside the report, so the server is told to
// delete only what is safely stored; only an owner whose itemReceived answers true has stored
// it, and anything else leaves the message on the server. The identifier is recorded before the DELE, and a listed
// message whose identifier is already recorded is deleted without being retrieved again, so a
// session that ends between the two never gives a second copy nor leaves the message behind.
//
// A server that lists PIPELINING gets up to kRetrWindow RETRs (and DELEs of messages recorded
// before) ahead of the replies, which are read in order: the slow link's round trips overlap
// the transfer. Messages are still stored one after another, in batches of up to a window:
// every item file of the batch is flushed, then they are reported, the owner flushes its
// mailbox once (storedItemsFlushed, answering true) and the
// identifiers are recorded in one write, and only then do the batch's DELEs go out. A flush or
// a record that fails ends the retrieval with none of the batch's DELEs sent. A session that fails with replies outstanding is cut off rather
// than read further; the messages it received whole are still stored, and nothing that was not
// safely stored is ever deleted. QUIT goes out behind the last DELEs. Any other server gets
// one command at a time, each sent only once the reply to the one before has come.
//
// Mail left for some days (DeleteAfterDays) is recorded as left mail is, and its time of storing
// is written after its identifier (StoredTimes); a later check deletes with DELE only messages
// recorded before it whose days are over, as it deletes recorded messages found still listed.
#pragma once

#include "platform/file_maker.h"
#include "platform/file_syncer.h"
#include "platform/owned_handles.h"
#include "pop3/pop_phase.h"
#include "pop3/stored_times.h"
#include "pop3/uidl.h"

#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <string>
#include <vector>

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
        state_WAIT_OLD_DELE_ACK = 6,  // deleting a message retrieved at an earlier check
        state_WAIT_CAPA_ACK = 7,
        state_CAPA_LIST = 8,
    };

    // How many RETRs (and DELEs of earlier messages) may wait for their replies at once on a
    // server that offers PIPELINING.
    static constexpr std::size_t kRetrWindow = 16;
    // How many item files are made ahead of their messages.
    static constexpr std::size_t kFilesAhead = 2 * kRetrWindow;

    // The listing may hold at most this many lines and bytes (every line counts, also one
    // without an identifier); a server that lists more fails the retrieval rather than grow
    // the engine's memory without bound. An entry costs far more than its bytes, so the lines
    // are what bounds a listing of short identifiers: 500,000 entries take about 100 MB.
    static constexpr std::size_t kMaxListingLines = 500000;
    static constexpr std::size_t kMaxListingBytes = 32u * 1024 * 1024;

    void start(const std::string& uidlFile, AfterStoring afterStoring, std::uint32_t leaveDays = 0);
    int dispatch(Connection::Event event, long arg) override;

private:
    // A command whose reply is still to come, in the order they were sent.
    struct Pending {
        enum Kind { Retr, Dele, OldDele } kind;
        int number;
    };

    void onCapaLine(const std::string& line);
    void sendUidl();
    void onListingLine(const std::string& line);
    void onListingEnd();
    // Sends what the window allows, then waits for the reply at the head of the line, or
    // reports the end when nothing is left.
    void advance();
    bool openItemFile();
    // Has the files of the next new messages made ahead, up to kFilesAhead.
    void makeFilesAhead();
    void onRetrAck(const std::string& reply);
    void onDataLine();
    void onDataPart();
    void writeItemText(const std::string& text);
    void skip(const std::string& reason);
    void reportSkipped(const std::string& identifier, const std::string& reason);
    // Whether a new message's RETR is still to be sent.
    bool moreToAsk() const;
    // Drops the first new message, once it is stored or given up.
    void removeFirstNew();
    // With DeleteAfterDays: whether a message recorded before has been stored for its days.
    bool daysOver(const std::string& identifier, long long now);
    void saveTimes();
    // Whether a RETR is still to be sent or answered.
    bool retrievalsLeft() const;
    // Flushes, reports and records the messages received since the last batch, then sends
    // their DELEs (sendDeletes). False when the batch could not be made safe or a DELE not
    // sent: the caller ends the retrieval.
    bool flushBatch(bool sendDeletes);
    void onItemEnd();
    void onDeleAck(const std::string& reply, bool old);
    void fail();
    void reset();

    // A message received whole and not yet reported; its file is with the syncer.
    struct Received {
        std::string identifier;
        std::string path;
        int number;
        std::size_t syncTicket;
    };
    // Everything one retrieval knows, made fresh at each start and dropped whole at its end.
    // Fields go in the reverse of their order here: the open item file first, then the batch,
    // then the syncer (which closes the files not reported), then the file maker (which removes
    // those made for messages that never came).
    struct Run {
        std::unique_ptr<UIDL> known;  // recorded identifiers, tied to the identifier file
        std::unique_ptr<UIDL> newItems;  // the listing, then only the messages not seen before
        std::deque<int> oldToDelete;  // listed messages recorded before: only DELE is sent
        std::deque<Pending> pending;
        std::size_t ahead = 0;  // RETRs and earlier messages' DELEs in pending
        std::size_t window = 1;
        std::size_t capabilityLines = 0;
        bool quitSent = false;
        std::size_t asked = 0;  // new messages, from the first, whose RETR has gone out
        std::size_t made = 0;  // new messages, from the first, whose file was asked for
        std::size_t listingLines = 0;
        std::size_t listingBytes = 0;
        std::unique_ptr<plat::FileMaker> maker;
        std::unique_ptr<plat::FileSyncer> syncer;
        std::vector<Received> batch;
        std::string storedPath;
        plat::FilePtr itemFile;
        bool itemWriteFailed = false;
        bool midLine = false;  // part of the current message line has been written already
        int currentNumber = 0;
        AfterStoring afterStoring = AfterStoring::KeepOnServer;
        std::uint32_t leaveDays = 0;
        StoredTimes times;  // with DeleteAfterDays: when each recorded message was stored
    };
    std::unique_ptr<Run> run_;
};
