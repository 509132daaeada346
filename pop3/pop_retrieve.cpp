#include "pop3/pop_retrieve.h"

#include "net/client.h"
#include "net/command_words.h"
#include "net/mail_client_notices.h"
#include "platform/files.h"
#include "platform/memory.h"
#include "platform/socket.h"
#include "shared/debug.h"
#include "store/item_name.h"

#include <climits>
#include <cstdlib>
#include <vector>

namespace {

constexpr std::size_t kItemBuffer = 64 * 1024;

// The decimal number at the start of a listing line: leading blanks and a sign allowed,
// stopping at the first non-digit, clamped to the int range.
int leadingNumber(const std::string& line) {
    long n = std::strtol(line.c_str(), nullptr, 10);
    if (n > INT_MAX) return INT_MAX;
    if (n < INT_MIN) return INT_MIN;
    return static_cast<int>(n);
}

}  // namespace

POP_Retrieve::POP_Retrieve(POPClient* client) : POPPhase(client) {}

POP_Retrieve::~POP_Retrieve() = default;

void POP_Retrieve::closeBatch() {
    // Files never reported stay in the item directory, where the next attempt at their messages
    // replaces them; the messages stay on the server. The syncer still closes them.
    batch_.clear();
}

void POP_Retrieve::start(const std::string& uidlFile, AfterStoring afterStoring) {
    known_ = std::make_unique<UIDL>();
    newItems_ = std::make_unique<UIDL>();
    known_->load(uidlFile);
    oldToDelete_.clear();
    pending_.clear();
    ahead_ = 0;
    window_ = 1;
    capabilityLines_ = 0;
    quitSent_ = false;
    asked_ = 0;
    listingLines_ = 0;
    listingBytes_ = 0;
    itemFile_.reset();
    afterStoring_ = afterStoring;
    // What a server takes before the login it takes after it.
    if (pop().pipelining()) {
        window_ = kRetrWindow;
        sendUidl();
        return;
    }
    waitIn(state_WAIT_CAPA_ACK);
    if (!pop().sendCommand(POPCommand::CAPA)) {
        DebugLine(LOG_MAIL, LOG_HIGH, "CAPA command TX failed");
        fail();
    }
}

void POP_Retrieve::sendUidl() {
    waitIn(state_WAIT_UIDL_ACK);
    if (!pop().sendCommand(POPCommand::UIDL)) {
        DebugLine(LOG_NET, LOG_HIGH, "UIDL command TX failed");
        DebugLine(LOG_MAIL, LOG_HIGH, "UIDL command TX failed");
        fail();
    }
}

int POP_Retrieve::dispatch(int event, long) {
    if (state_ == state_IDLE) return 0;
    if (event == Client::EV_LINE) {
        switch (state_) {
        case state_WAIT_CAPA_ACK: {
            // A server that does not know CAPA offers nothing beyond the basic commands.
            if (POPClient::isPositive(pop().takeReply())) {
                waitIn(state_CAPA_LIST);
            } else {
                sendUidl();
            }
            return 1;
        }
        case state_CAPA_LIST:
            onCapaLine(client_->lineBuffer().takeLine());
            return 1;
        case state_WAIT_UIDL_ACK: {
            std::string reply = pop().takeReply();
            if (POPClient::isPositive(reply)) {
                waitIn(state_UIDL_LIST);
            } else {
                DebugLineStr(LOG_APP, LOG_HIGH, "-ve response to UIDL :", reply.c_str());
                DebugLineStr(LOG_MAIL, LOG_HIGH, "-ve response to UIDL :", reply.c_str());
                fail();
            }
            return 1;
        }
        case state_UIDL_LIST: {
            std::string line = client_->lineBuffer().takeLine();
            if (line == ".") {
                onListingEnd();
            } else {
                onListingLine(line);
            }
            return 1;
        }
        case state_WAIT_RETR_ACK:
            onRetrAck(pop().takeReply());
            return 1;
        case state_RETR_DATA:
            onDataLine();
            return 1;
        case state_WAIT_DELE_ACK:
        case state_WAIT_OLD_DELE_ACK: {
            bool old = state_ == state_WAIT_OLD_DELE_ACK;
            pending_.pop_front();
            if (old) --ahead_;
            onDeleAck(pop().takeReply(), old);
            return 1;
        }
        }
    }
    if (event == Client::EV_LINE_PART && state_ == state_RETR_DATA) {
        onDataPart();
        return 1;
    }
    // A server that falls silent, goes away or sends an endless line ends the retrieval.
    if (event == Client::EV_TIMEOUT || event == Client::EV_CLOSED || event == Client::EV_LINE_TOO_LONG) fail();
    return 0;
}

void POP_Retrieve::onCapaLine(const std::string& line) {
    if (line == ".") {
        sendUidl();
        return;
    }
    client_->armTimeout();
    if (!pop().countCapabilityLine(capabilityLines_)) {
        fail();
        return;
    }
    std::string word = line.substr(0, line.find(' '));
    if (cmdline::equalsNoCase(word, "PIPELINING")) window_ = kRetrWindow;
}

void POP_Retrieve::onListingLine(const std::string& line) {
    // The inactivity timer stops at every read; a long listing re-arms it line by line.
    client_->armTimeout();
    ++listingLines_;
    listingBytes_ += line.size() + 2;
    if (listingLines_ > kMaxListingLines || listingBytes_ > kMaxListingBytes) {
        DebugLine(LOG_MAIL, LOG_HIGH, "UIDL listing too long");
        fail();
        return;
    }
    std::size_t space = line.find(' ');
    if (space == std::string::npos) return;
    newItems_->add(std::string_view(line).substr(space + 1), leadingNumber(line), 0);
}

void POP_Retrieve::onListingEnd() {
    // Every listed message is judged against the file as it was loaded before the known
    // identifiers shrink to those still on the server.
    std::vector<bool> seen;
    seen.reserve(newItems_->count());
    for (const UIDLEntry& e : *newItems_) seen.push_back(known_->find(e.identifier) != nullptr);
    known_->clear();
    auto unseen = std::make_unique<UIDL>();
    std::size_t k = 0;
    for (const UIDLEntry& e : *newItems_) {
        if (seen[k++]) {
            known_->add(e.identifier, 0, 0);
            if (afterStoring_ == AfterStoring::DeleteOnServer) oldToDelete_.push_back(e.messageNumber);
        } else {
            unseen->add(e.identifier, e.messageNumber, 1);
        }
    }
    newItems_ = std::move(unseen);
    known_->save();
    asked_ = 0;
    made_ = 0;
    maker_ = std::make_unique<plat::FileMaker>();
    syncer_ = std::make_unique<plat::FileSyncer>();
    advance();
}

void POP_Retrieve::makeFilesAhead() {
    while (made_ < static_cast<std::size_t>(newItems_->count()) && maker_->waiting() < kFilesAhead) {
        const std::string& identifier = newItems_->item(static_cast<int>(made_) + 1)->identifier;
        std::string path = store::makeItemFileName(pop().itemDirectory(), pop().ownerTag(), identifier);
        ++made_;
        // A name still in use (an identifier listed twice) would empty a file not yet stored:
        // that one is made when its turn comes.
        bool inUse = maker_->holds(path) || (itemFile_ && path == storedPath_);
        for (const Received& r : batch_) inUse = inUse || r.path == path;
        if (!inUse) maker_->request(path);
    }
}

void POP_Retrieve::advance() {
    makeFilesAhead();
    // Stored messages wait for their flush and DELEs until a window of them is complete, or
    // until no message is left to come.
    if (!batch_.empty() && (batch_.size() >= window_ || !retrievalsLeft()) && !flushBatch(true)) {
        fail();
        return;
    }
    // A server without PIPELINING gets its next command only once every reply has come.
    while (ahead_ < window_ && (window_ > 1 || pending_.empty()) && (!oldToDelete_.empty() || moreToAsk())) {
        if (!oldToDelete_.empty()) {
            int number = oldToDelete_.front();
            oldToDelete_.pop_front();
            if (!pop().sendCommand(POPCommand::DELE, number)) {
                fail();
                return;
            }
            pending_.push_back({Pending::OldDele, number});
        } else {
            // The message at the head of the line has its file ready before its RETR goes out,
            // so that a file that cannot be made costs no transfer.
            int number = newItems_->item(static_cast<int>(asked_) + 1)->messageNumber;
            if (asked_ == 0 && !itemFile_ && !openItemFile()) return;
            if (!pop().sendCommand(POPCommand::RETR, number)) {
                DebugLine(LOG_NET, LOG_HIGH, "RETR command TX fail");
                DebugLine(LOG_MAIL, LOG_HIGH, "RETR command TX fail");
                fail();
                return;
            }
            pending_.push_back({Pending::Retr, number});
            ++asked_;
        }
        ++ahead_;
    }
    if (window_ > 1 && !quitSent_ && !pending_.empty() && oldToDelete_.empty() && batch_.empty() &&
        !retrievalsLeft()) {
        // Nothing is left to ask: QUIT follows the last DELEs at once, and the close reads its
        // reply after theirs.
        if (!pop().sendCommand(POPCommand::QUIT)) {
            fail();
            return;
        }
        quitSent_ = true;
        pop().setQuitAhead(true);
    }
    if (pending_.empty()) {
        notify(MailClient::RETRIEVE_COMPLETE);
        reset();
        return;
    }
    switch (pending_.front().kind) {
    case Pending::Retr: waitIn(state_WAIT_RETR_ACK); break;
    case Pending::Dele: waitIn(state_WAIT_DELE_ACK); break;
    case Pending::OldDele: waitIn(state_WAIT_OLD_DELE_ACK); break;
    }
}

bool POP_Retrieve::openItemFile() {
    storedPath_ = store::makeItemFileName(pop().itemDirectory(), pop().ownerTag(), newItems_->first()->identifier);
    // A server that lists one identifier twice: the first copy is stored before its name is
    // used again.
    for (const Received& r : batch_) {
        if (r.path == storedPath_) {
            if (!flushBatch(true)) {
                fail();
                return false;
            }
            break;
        }
    }
    // Replaces a partial file that an earlier, interrupted attempt left under this name.
    itemFile_ = maker_->take(storedPath_);
    if (!itemFile_) itemFile_ = plat::openFile(storedPath_, "wb");
    if (!itemFile_) {
        DebugLine(LOG_APP, LOG_HIGH, "Unable to open file to store mail item");
        fail();
        return false;
    }
    std::setvbuf(itemFile_.get(), nullptr, _IOFBF, kItemBuffer);
    itemWriteFailed_ = false;
    return true;
}

void POP_Retrieve::onRetrAck(const std::string& reply) {
    currentNumber_ = pending_.front().number;
    if (POPClient::isPositive(reply)) {
        if (!itemFile_ && !openItemFile()) return;
        midLine_ = false;
        client_->streamLines(true);
        waitIn(state_RETR_DATA);
        return;
    }
    DebugLineStr(LOG_MAIL, LOG_HIGH, "-ve response to RETR :", reply.c_str());
    pending_.pop_front();
    --ahead_;
    // The server keeps the message; the others still come.
    if (itemFile_) {
        itemFile_.reset();
        std::remove(storedPath_.c_str());
    } else {
        std::string path = store::makeItemFileName(pop().itemDirectory(), pop().ownerTag(), newItems_->first()->identifier);
        if (maker_->take(path)) std::remove(path.c_str());   // made ahead for it
    }
    skip("RETR refused: " + reply);
}

void POP_Retrieve::onDataLine() {
    // Lines are stored byte for byte, in transfer form (a doubled leading dot stays).
    std::string line = client_->lineBuffer().takeLine();
    if (line == "." && !midLine_) {
        onItemEnd();
        return;
    }
    client_->armTimeout();
    midLine_ = false;
    line += "\r\n";
    writeItemText(line);
}

void POP_Retrieve::onDataPart() {
    // The start of a long line goes to the file at once; the rest follows as its own part or
    // line.
    client_->armTimeout();
    midLine_ = true;
    writeItemText(client_->lineBuffer().takePart());
}

void POP_Retrieve::writeItemText(const std::string& text) {
    if (itemWriteFailed_) return;   // the rest of the message is read and dropped
    if (std::fwrite(text.data(), 1, text.size(), itemFile_.get()) != text.size()) itemWriteFailed_ = true;
}

void POP_Retrieve::onItemEnd() {
    client_->streamLines(false);
    pending_.pop_front();
    --ahead_;
    // A write that failed (a full disk) must not turn into a message deleted on the server.
    if (itemWriteFailed_) {
        itemFile_.reset();
        DebugLine(LOG_APP, LOG_HIGH, "Failed to close file at end of mail item receive");
        std::remove(storedPath_.c_str());
        skip("its text could not be stored");
        return;
    }
    std::size_t ticket = syncer_->hand(std::move(itemFile_));
    batch_.push_back({newItems_->first()->identifier, storedPath_, currentNumber_, ticket});
    removeFirstNew();
    advance();
}

bool POP_Retrieve::moreToAsk() const {
    return newItems_ && asked_ < static_cast<std::size_t>(newItems_->count());
}

void POP_Retrieve::removeFirstNew() {
    // The first new message is always one whose RETR has gone out.
    newItems_->removeFirst();
    --asked_;
    if (made_ > 0) --made_;
}

bool POP_Retrieve::retrievalsLeft() const {
    if (moreToAsk()) return true;
    for (const Pending& p : pending_)
        if (p.kind == Pending::Retr) return true;
    return false;
}

bool POP_Retrieve::flushBatch(bool sendDeletes) {
    std::vector<Received> batch;
    batch.swap(batch_);
    // Every file of the batch reaches the disk before any of them is moved, so that a kill
    // leaves no moved but unrecorded message behind while later ones are still syncing.
    std::vector<const Received*> synced;
    for (Received& r : batch) {
        if (syncer_->outcome(r.syncTicket)) {
            synced.push_back(&r);
            continue;
        }
        DebugLine(LOG_APP, LOG_HIGH, "Failed to close file at end of mail item receive");
        std::remove(r.path.c_str());
        reportSkipped(r.identifier, "its text could not be stored");
    }
    std::vector<const Received*> stored;
    for (const Received* r : synced) {
        // Only the owner's explicit answer counts as stored; such an item is neither recorded
        // nor deleted otherwise.
        if (notify(MailClient::RETRIEVE_ITEM, reinterpret_cast<plat::LPARAM>(r->path.c_str())) == POPClient::kItemStored) {
            stored.push_back(r);
        } else {
            reportSkipped(r->identifier, "it could not be moved into its mailbox");
        }
    }
    if (stored.empty()) return true;
    // The owner's moves, then the identifiers, reach the disk once for the batch, before any
    // of its DELEs goes out. A flush that fails means the data may be gone: nothing is
    // recorded or deleted, and the messages come again at the next check (where the same
    // bytes already stored are not stored twice).
    if (notify(MailClient::RETRIEVE_FLUSH) != POPClient::kMailboxFlushed) return false;
    for (const Received* r : stored) known_->recordLater(r->identifier);
    if (!known_->commit()) {
        std::string text = "Unable to record retrieved messages in " + known_->fileName() + " : " + known_->failure() +
                           " : they stay on the server until it can be written";
        DebugLine(LOG_MAIL, LOG_HIGH, text.c_str());
        return false;
    }
    if (!sendDeletes || afterStoring_ != AfterStoring::DeleteOnServer) return true;
    for (const Received* r : stored) {
        // Behind any RETRs already sent: its reply comes after theirs.
        if (!pop().sendCommand(POPCommand::DELE, r->number)) return false;
        pending_.push_back({Pending::Dele, r->number});
    }
    return true;
}

void POP_Retrieve::onDeleAck(const std::string& reply, bool old) {
    if (POPClient::isPositive(reply)) {
        DebugLineStr(LOG_MAIL, LOG_LOW, "+ve response to DELE :", reply.c_str());
    } else {
        DebugLineStr(LOG_MAIL, LOG_HIGH, "-ve response to DELE :", reply.c_str());
        // A message stored at an earlier check is safe whatever the server says; it is
        // offered for deletion again at the next check.
        if (!old) {
            fail();
            return;
        }
    }
    advance();
}

void POP_Retrieve::skip(const std::string& reason) {
    reportSkipped(newItems_->first()->identifier, reason);
    // Neither recorded nor deleted: the next check tries it again.
    removeFirstNew();
    advance();
}

void POP_Retrieve::reportSkipped(const std::string& identifier, const std::string& reason) {
    SkippedMessage skipped{identifier, reason};
    notify(MailClient::RETRIEVE_SKIPPED, reinterpret_cast<plat::LPARAM>(&skipped));
}

void POP_Retrieve::fail() {
    // Replies still on their way from a server that answers would be read as the answer to
    // whatever comes next: the connection is given up. What was deleted without a QUIT stays
    // on the server, and is deleted unread at the next check, its identifier being recorded.
    // A stalled server still gets its QUIT, unawaited.
    if (window_ > 1 && !pending_.empty() && !client_->idleTimedOut() && client_->socket() != plat::INVALID_SOCKET) {
        DebugLine(LOG_MAIL, LOG_MED, "retrieval ended with replies outstanding: connection closed");
        client_->closeSocket();
        client_->lineBuffer().reset();
    }
    // The messages received whole are kept; they stay on the server until the next check.
    // A batch that cannot be stored now is fetched again then.
    if (!batch_.empty()) flushBatch(false);
    notify(MailClient::RETRIEVE_FAIL);
    reset();
}

void POP_Retrieve::reset() {
    state_ = state_IDLE;
    client_->streamLines(false);
    itemFile_.reset();
    closeBatch();
    syncer_.reset();   // closes the files not reported
    maker_.reset();    // removes the files made for messages that never came
    made_ = 0;
    known_.reset();
    newItems_.reset();
    std::deque<int>().swap(oldToDelete_);
    pending_.clear();
    ahead_ = 0;
    asked_ = 0;
    // A long listing was many small allocations: hand the freed pages back to the system, so
    // that the engine does not keep the size of the longest listing it ever met.
    plat::releaseFreeMemory();
}
