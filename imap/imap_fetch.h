// The IMAP retrieval. For each folder of the account ("ALL": every folder LIST names, but
// those that hold copies): SELECT it (EXAMINE when mail is left there), learn its UIDVALIDITY,
// list its UIDs (UID SEARCH ALL), and fetch each message not recorded before with UID FETCH of
// BODY.PEEK[] (the provider's \Seen flags stay as they are), many messages to a command and
// two commands ahead of their replies, so that a slow link costs a round trip per window.
//
// Safety of the mail, as the POP3 retrieval keeps it: a message's text goes to its item file
// as it arrives (in the form POP3 items take); when a command's messages are all in, their
// files reach the disk, the owner moves them into the mailbox (itemReceived) and flushes it
// (storedItemsFlushed), the messages are recorded in the identifier file in one write, and
// only then are they flagged \Deleted and removed by UID EXPUNGE (or moved with UID MOVE, or
// copied then removed). A session that ends anywhere leaves every message either stored and
// recorded, or on the server to come again; one stored but not recorded comes again under
// the same name, and the routing keeps one copy of the same bytes. A recorded message found
// still on the server (the session ended before its removal) is removed without being
// fetched again. Without UIDPLUS the removal ends with a plain EXPUNGE, said in the log.
//
// A folder whose UIDVALIDITY changed is not fetched again whole: its UIDs are matched to the
// recorded messages by size and Message-ID (a MED line tells how many), and only the rest is
// fetched.
#pragma once

#include "imap/imap_client.h"
#include "imap/imap_record.h"
#include "platform/file_syncer.h"
#include "platform/owned_handles.h"
#include "pop3/uidl.h"

#include <deque>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

class IMAP_Fetch : public IMAPPhase {
public:
    using IMAPPhase::IMAPPhase;
    ~IMAP_Fetch() override;

    enum State { state_IDLE = 0, state_WORKING = 1 };

    // Messages asked for by one UID FETCH, and how many such commands may wait at once.
    static constexpr std::size_t kWindow = 32;
    static constexpr std::size_t kCommandsAhead = 2;
    // A folder listing more UIDs than this fails the retrieval rather than grow memory.
    static constexpr std::size_t kMaxUids = 4'000'000;

    void start(const IMAPFetchOptions& options);
    void onUntagged(const IMAPResponse& r) override;
    IMAPResponseSink::LiteralUse onLiteralBegin(const IMAPResponse& r, std::uint64_t size) override;
    void onLiteralData(std::string_view bytes) override;
    void onLiteralEnd() override;
    void onSearchNumber(std::uint32_t uid) override;
    void onBroken(const std::string& why) override;

private:
    struct Received {
        std::uint32_t uid;
        std::string path;
        std::size_t ticket;
        std::uint64_t size;
        std::string messageId;
    };
    struct Seen {  // a message's size and Message-ID, when a new UIDVALIDITY is matched
        std::uint32_t uid;
        std::uint64_t size;
        std::string messageId;
    };
    enum class Mode { None, List, Select, Search, Match, Fetch };

    void nextFolder();
    void select();
    void search();
    void afterSearch();
    void matchNewValidity();
    void planFolder();
    void fetchMore();
    void onFetchDone(const IMAPResponse& r, const std::vector<std::uint32_t>& uids);
    bool flushBatch(bool removeAfter, std::vector<std::uint32_t>* stored);
    void remove(const std::vector<std::uint32_t>& uids);
    void storeDeleted(const std::string& set);
    void maybeFolderDone();
    bool saveRecord();
    void skipped(const std::string& what, const std::string& reason);
    void finish(bool ok);
    void dropPartial();
    bool send(const std::string& command, IMAPClient::Done done);

    struct Run {
        IMAPFetchOptions options;
        std::unique_ptr<UIDL> record;
        std::vector<imaprec::Entry> entries;  // the IMAP entries of the record
        std::vector<std::string> others;  // anything else it holds, kept as it is
        std::deque<std::string> folders;
        bool listAll = false;
        std::vector<std::string> explicitFolders;
        std::set<std::string> sentAsListed;  // listed names that are not modified UTF-7
        Mode mode = Mode::None;
        // The folder at hand.
        std::string folder;
        std::string quotedFolder;
        std::uint32_t uidValidity = 0;
        std::uint32_t exists = 0;
        std::vector<std::uint32_t> uids;
        std::vector<Seen> seen;
        std::deque<std::uint32_t> toFetch;
        std::set<std::uint32_t> waiting;  // asked for, not yet received
        std::size_t fetchesOut = 0;
        std::size_t removalsOut = 0;
        bool needExpunge = false;
        bool folderEnding = false;
        // The message being received.
        plat::FilePtr partial;
        std::string partialPath;
        TransferFormWriter writer;
        bool bodyDone = false;
        std::uint64_t bodySize = 0;
        std::unique_ptr<plat::FileSyncer> syncer;
        std::vector<Received> batch;
    };
    std::unique_ptr<Run> run_;
};
