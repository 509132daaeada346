#include "pop3/pop_retrieve.h"

#include "net/connection.h"
#include "net/command_words.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/memory.h"
#include "platform/socket.h"
#include "log/debug.h"
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

void POP_Retrieve::start(const std::string& uidlFile, AfterStoring afterStoring, std::uint32_t leaveDays) {
    run_ = std::make_unique<Run>();
    run_->known = std::make_unique<UIDL>();
    run_->newItems = std::make_unique<UIDL>();
    run_->known->load(uidlFile);
    run_->afterStoring = afterStoring;
    run_->leaveDays = leaveDays;
    if (afterStoring == AfterStoring::DeleteAfterDays) run_->times.load(uidlFile);
    // What a server takes before the login it takes after it.
    if (pop().pipelining()) {
        run_->window = kRetrWindow;
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
        logFailure("UIDL could not be sent");
        fail();
    }
}

int POP_Retrieve::dispatch(Connection::Event event, long) {
    if (state_ == state_IDLE) return 0;
    if (event == Connection::EV_LINE) {
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
        case state_CAPA_LIST: onCapaLine(client_->lineBuffer().takeLine()); return 1;
        case state_WAIT_UIDL_ACK: {
            std::string reply = pop().takeReply();
            if (POPClient::isPositive(reply)) {
                waitIn(state_UIDL_LIST);
            } else {
                logFailure("UIDL refused", reply);
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
        case state_WAIT_RETR_ACK: onRetrAck(pop().takeReply()); return 1;
        case state_RETR_DATA: onDataLine(); return 1;
        case state_WAIT_DELE_ACK:
        case state_WAIT_OLD_DELE_ACK: {
            bool old = state_ == state_WAIT_OLD_DELE_ACK;
            run_->pending.pop_front();
            if (old) --run_->ahead;
            onDeleAck(pop().takeReply(), old);
            return 1;
        }
        }
    }
    if (event == Connection::EV_LINE_PART && state_ == state_RETR_DATA) {
        onDataPart();
        return 1;
    }
    // A server that falls silent, goes away or sends an endless line ends the retrieval.
    if (event == Connection::EV_TIMEOUT || event == Connection::EV_CLOSED || event == Connection::EV_LINE_TOO_LONG)
        fail();
    return 0;
}

void POP_Retrieve::onCapaLine(const std::string& line) {
    if (line == ".") {
        sendUidl();
        return;
    }
    client_->armTimeout();
    if (!pop().countCapabilityLine(run_->capabilityLines)) {
        fail();
        return;
    }
    std::string word = line.substr(0, line.find(' '));
    if (cmdline::equalsNoCase(word, "PIPELINING")) run_->window = kRetrWindow;
}

void POP_Retrieve::onListingLine(const std::string& line) {
    // The inactivity timer stops at every read; a long listing re-arms it line by line.
    client_->armTimeout();
    ++run_->listingLines;
    run_->listingBytes += line.size() + 2;
    if (run_->listingLines > kMaxListingLines || run_->listingBytes > kMaxListingBytes) {
        DebugLine(LOG_MAIL, LOG_HIGH, "UIDL listing too long");
        fail();
        return;
    }
    std::size_t space = line.find(' ');
    if (space == std::string::npos) return;
    run_->newItems->add(std::string_view(line).substr(space + 1), leadingNumber(line), 0);
}

void POP_Retrieve::onListingEnd() {
    // Every listed message is judged against the file as it was loaded before the known
    // identifiers shrink to those still on the server.
    std::vector<bool> seen;
    seen.reserve(run_->newItems->count());
    for (const UIDLEntry& e : *run_->newItems) seen.push_back(run_->known->find(e.identifier) != nullptr);
    run_->known->clear();
    auto unseen = std::make_unique<UIDL>();
    std::size_t k = 0;
    long long now = plat::unixTime();
    for (const UIDLEntry& e : *run_->newItems) {
        if (seen[k++]) {
            run_->known->add(e.identifier, 0, 0);
            if (run_->afterStoring == AfterStoring::DeleteOnServer ||
                (run_->afterStoring == AfterStoring::DeleteAfterDays && daysOver(e.identifier, now)))
                run_->oldToDelete.push_back(e.messageNumber);
        } else {
            unseen->add(e.identifier, e.messageNumber, 1);
        }
    }
    run_->newItems = std::move(unseen);
    run_->known->save();
    if (run_->afterStoring == AfterStoring::DeleteAfterDays) {
        // Times of messages gone from the server are forgotten with their identifiers.
        run_->times.keepOnly([this](const std::string& id) { return run_->known->find(id) != nullptr; });
        saveTimes();
    }
    run_->maker = std::make_unique<plat::FileMaker>();
    run_->syncer = std::make_unique<plat::FileSyncer>();
    advance();
}

void POP_Retrieve::makeFilesAhead() {
    while (run_->made < static_cast<std::size_t>(run_->newItems->count()) && run_->maker->waiting() < kFilesAhead) {
        const std::string& identifier = run_->newItems->item(static_cast<int>(run_->made) + 1)->identifier;
        std::string path = store::makeItemFileName(pop().itemDirectory(), pop().ownerTag(), identifier);
        ++run_->made;
        // A name still in use (an identifier listed twice) would empty a file not yet stored:
        // that one is made when its turn comes.
        bool inUse = run_->maker->holds(path) || (run_->itemFile && path == run_->storedPath);
        for (const Received& r : run_->batch) inUse = inUse || r.path == path;
        if (!inUse) run_->maker->request(path);
    }
}

void POP_Retrieve::advance() {
    makeFilesAhead();
    // Stored messages wait for their flush and DELEs until a window of them is complete, or
    // until no message is left to come.
    if (!run_->batch.empty() && (run_->batch.size() >= run_->window || !retrievalsLeft()) && !flushBatch(true)) {
        fail();
        return;
    }
    // A server without PIPELINING gets its next command only once every reply has come.
    while (run_->ahead < run_->window && (run_->window > 1 || run_->pending.empty()) &&
           (!run_->oldToDelete.empty() || moreToAsk())) {
        if (!run_->oldToDelete.empty()) {
            int number = run_->oldToDelete.front();
            run_->oldToDelete.pop_front();
            if (!pop().sendCommand(POPCommand::DELE, number)) {
                fail();
                return;
            }
            run_->pending.push_back({Pending::OldDele, number});
        } else {
            // The message at the head of the line has its file ready before its RETR goes out,
            // so that a file that cannot be made costs no transfer.
            int number = run_->newItems->item(static_cast<int>(run_->asked) + 1)->messageNumber;
            if (run_->asked == 0 && !run_->itemFile && !openItemFile()) return;
            if (!pop().sendCommand(POPCommand::RETR, number)) {
                logFailure("RETR could not be sent");
                fail();
                return;
            }
            run_->pending.push_back({Pending::Retr, number});
            ++run_->asked;
        }
        ++run_->ahead;
    }
    if (run_->window > 1 && !run_->quitSent && !run_->pending.empty() && run_->oldToDelete.empty() &&
        run_->batch.empty() && !retrievalsLeft()) {
        // Nothing is left to ask: QUIT follows the last DELEs at once, and the close reads its
        // reply after theirs.
        if (!pop().sendCommand(POPCommand::QUIT)) {
            fail();
            return;
        }
        run_->quitSent = true;
        pop().setQuitAhead(true);
    }
    if (run_->pending.empty()) {
        if (owner()) owner()->retrievalEnded(true);
        reset();
        return;
    }
    switch (run_->pending.front().kind) {
    case Pending::Retr: waitIn(state_WAIT_RETR_ACK); break;
    case Pending::Dele: waitIn(state_WAIT_DELE_ACK); break;
    case Pending::OldDele: waitIn(state_WAIT_OLD_DELE_ACK); break;
    }
}

bool POP_Retrieve::openItemFile() {
    run_->storedPath = store::makeItemFileName(pop().itemDirectory(), pop().ownerTag(),
                                               run_->newItems->first()->identifier);
    // A server that lists one identifier twice: the first copy is stored before its name is
    // used again.
    for (const Received& r : run_->batch) {
        if (r.path == run_->storedPath) {
            if (!flushBatch(true)) {
                fail();
                return false;
            }
            break;
        }
    }
    // Replaces a partial file that an earlier, interrupted attempt left under this name.
    run_->itemFile = run_->maker->take(run_->storedPath);
    if (!run_->itemFile) run_->itemFile = plat::openFile(run_->storedPath, "wb");
    if (!run_->itemFile) {
        DebugLine(LOG_APP, LOG_HIGH, "Unable to open file to store mail item");
        fail();
        return false;
    }
    std::setvbuf(run_->itemFile.get(), nullptr, _IOFBF, kItemBuffer);
    run_->itemWriteFailed = false;
    return true;
}

void POP_Retrieve::onRetrAck(const std::string& reply) {
    run_->currentNumber = run_->pending.front().number;
    if (POPClient::isPositive(reply)) {
        if (!run_->itemFile && !openItemFile()) return;
        run_->midLine = false;
        client_->streamLines(true);
        waitIn(state_RETR_DATA);
        return;
    }
    DebugLineStr(LOG_MAIL, LOG_HIGH, "-ve response to RETR :", reply.c_str());
    run_->pending.pop_front();
    --run_->ahead;
    // The server keeps the message; the others still come.
    if (run_->itemFile) {
        run_->itemFile.reset();
        std::remove(run_->storedPath.c_str());
    } else {
        std::string path = store::makeItemFileName(pop().itemDirectory(), pop().ownerTag(),
                                                   run_->newItems->first()->identifier);
        if (run_->maker->take(path)) std::remove(path.c_str());  // made ahead for it
    }
    skip("RETR refused: " + reply);
}

void POP_Retrieve::onDataLine() {
    // Lines are stored byte for byte, in transfer form (a doubled leading dot stays).
    std::string line = client_->lineBuffer().takeLine();
    if (line == "." && !run_->midLine) {
        onItemEnd();
        return;
    }
    client_->armTimeout();
    run_->midLine = false;
    line += "\r\n";
    writeItemText(line);
}

void POP_Retrieve::onDataPart() {
    // The start of a long line goes to the file at once; the rest follows as its own part or
    // line.
    client_->armTimeout();
    run_->midLine = true;
    writeItemText(client_->lineBuffer().takePart());
}

void POP_Retrieve::writeItemText(const std::string& text) {
    if (run_->itemWriteFailed) return;  // the rest of the message is read and dropped
    if (std::fwrite(text.data(), 1, text.size(), run_->itemFile.get()) != text.size()) run_->itemWriteFailed = true;
}

void POP_Retrieve::onItemEnd() {
    client_->streamLines(false);
    run_->pending.pop_front();
    --run_->ahead;
    // A write that failed (a full disk) must not turn into a message deleted on the server.
    if (run_->itemWriteFailed) {
        run_->itemFile.reset();
        DebugLine(LOG_APP, LOG_HIGH, "Failed to close file at end of mail item receive");
        std::remove(run_->storedPath.c_str());
        skip("its text could not be stored");
        return;
    }
    std::size_t ticket = run_->syncer->hand(std::move(run_->itemFile));
    run_->batch.push_back({run_->newItems->first()->identifier, run_->storedPath, run_->currentNumber, ticket});
    removeFirstNew();
    advance();
}

bool POP_Retrieve::daysOver(const std::string& identifier, long long now) {
    long long stored = run_->times.when(identifier);
    if (stored < 0) {
        // Recorded without a time (left for good before, or the session ended in between):
        // its days start now.
        run_->times.note(identifier, now);
        return false;
    }
    return now - stored >= static_cast<long long>(run_->leaveDays) * 86400;
}

void POP_Retrieve::saveTimes() {
    if (run_->times.save()) return;
    std::string text = "Unable to write " + StoredTimes::fileFor(run_->known->fileName()) + " : " + run_->times.why() +
                       " : mail left on the server stays there longer than its days";
    DebugLine(LOG_MAIL, LOG_MED, text.c_str());
}

bool POP_Retrieve::moreToAsk() const {
    return run_->newItems && run_->asked < static_cast<std::size_t>(run_->newItems->count());
}

void POP_Retrieve::removeFirstNew() {
    // The first new message is always one whose RETR has gone out.
    run_->newItems->removeFirst();
    --run_->asked;
    if (run_->made > 0) --run_->made;
}

bool POP_Retrieve::retrievalsLeft() const {
    if (moreToAsk()) return true;
    for (const Pending& p : run_->pending)
        if (p.kind == Pending::Retr) return true;
    return false;
}

bool POP_Retrieve::flushBatch(bool sendDeletes) {
    std::vector<Received> batch;
    batch.swap(run_->batch);
    // Every file of the batch reaches the disk before any of them is moved, so that a kill
    // leaves no moved but unrecorded message behind while later ones are still syncing.
    std::vector<const Received*> synced;
    for (Received& r : batch) {
        if (run_->syncer->outcome(r.syncTicket)) {
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
        if (owner() && owner()->itemReceived(r->path)) {
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
    if (!owner() || !owner()->storedItemsFlushed()) return false;
    for (const Received* r : stored) run_->known->recordLater(r->identifier);
    if (!run_->known->commit()) {
        std::string text = "Unable to record retrieved messages in " + run_->known->fileName() + " : " +
                           run_->known->failure() + " : they stay on the server until it can be written";
        DebugLine(LOG_MAIL, LOG_HIGH, text.c_str());
        return false;
    }
    if (run_->afterStoring == AfterStoring::DeleteAfterDays) {
        long long now = plat::unixTime();
        // Written at the end of the retrieval: a time lost with the session only starts later.
        for (const Received* r : stored) run_->times.note(r->identifier, now);
    }
    if (!sendDeletes || run_->afterStoring != AfterStoring::DeleteOnServer) return true;
    for (const Received* r : stored) {
        // Behind any RETRs already sent: its reply comes after theirs.
        if (!pop().sendCommand(POPCommand::DELE, r->number)) return false;
        run_->pending.push_back({Pending::Dele, r->number});
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
    reportSkipped(run_->newItems->first()->identifier, reason);
    // Neither recorded nor deleted: the next check tries it again.
    removeFirstNew();
    advance();
}

void POP_Retrieve::reportSkipped(const std::string& identifier, const std::string& reason) {
    SkippedMessage skipped{identifier, reason};
    if (owner()) owner()->messageSkipped(skipped);
}

void POP_Retrieve::fail() {
    // Replies still on their way from a server that answers would be read as the answer to
    // whatever comes next: the connection is given up. What was deleted without a QUIT stays
    // on the server, and is deleted unread at the next check, its identifier being recorded.
    // A stalled server still gets its QUIT, unawaited.
    if (run_->window > 1 && !run_->pending.empty() && !client_->idleTimedOut() &&
        client_->socket() != plat::INVALID_SOCKET) {
        DebugLine(LOG_MAIL, LOG_MED, "retrieval ended with replies outstanding: connection closed");
        client_->closeSocket();
        client_->lineBuffer().reset();
    }
    // The messages received whole are kept; they stay on the server until the next check.
    // A batch that cannot be stored now is fetched again then.
    if (!run_->batch.empty()) flushBatch(false);
    if (owner()) owner()->retrievalEnded(false);
    reset();
}

void POP_Retrieve::reset() {
    state_ = state_IDLE;
    if (run_ && run_->afterStoring == AfterStoring::DeleteAfterDays) saveTimes();
    client_->streamLines(false);
    // Files never reported stay in the item directory, where the next attempt at their
    // messages replaces them; the messages stay on the server.
    run_.reset();
    // A long listing was many small allocations: hand the freed pages back to the system, so
    // that the engine does not keep the size of the longest listing it ever met.
    plat::releaseFreeMemory();
}
