#include "pop3/pop_retrieve.h"

#include "net/client.h"
#include "net/mail_client_notices.h"
#include "platform/files.h"
#include "platform/memory.h"
#include "shared/debug.h"
#include "store/item_name.h"

#include <cstdlib>
#include <climits>

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

POP_Retrieve::~POP_Retrieve() {
    if (itemFile_) std::fclose(itemFile_);
}

void POP_Retrieve::start(const std::string& uidlFile, int deleteFlag) {
    known_ = std::make_unique<UIDL>();
    newItems_ = std::make_unique<UIDL>();
    known_->load(uidlFile);
    oldToDelete_.clear();
    listingLines_ = 0;
    listingBytes_ = 0;
    itemFile_ = nullptr;
    deleteFlag_ = deleteFlag;
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
        case state_WAIT_RETR_ACK: {
            std::string reply = pop().takeReply();
            if (POPClient::isPositive(reply)) {
                midLine_ = false;
                client_->streamLines(true);
                waitIn(state_RETR_DATA);
            } else {
                DebugLineStr(LOG_MAIL, LOG_HIGH, "-ve response to RETR :", reply.c_str());
                // The server keeps the message; the others still come.
                std::fclose(itemFile_);
                itemFile_ = nullptr;
                std::remove(storedPath_.c_str());
                skip("RETR refused: " + reply);
            }
            return 1;
        }
        case state_RETR_DATA:
            onDataLine();
            return 1;
        case state_WAIT_DELE_ACK:
        case state_WAIT_OLD_DELE_ACK:
            onDeleAck(pop().takeReply(), state_ == state_WAIT_OLD_DELE_ACK);
            return 1;
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
    for (UIDLEntry* e = newItems_->first(); e; e = e->next) e->flag = known_->find(e->identifier) ? 0 : 1;
    known_->clear();
    for (UIDLEntry* e = newItems_->first(); e;) {
        UIDLEntry* next = e->next;
        if (e->flag == 0) {
            known_->add(e->identifier, 0, 0);
            if (deleteFlag_ == 1) oldToDelete_.push_back(e->messageNumber);
            newItems_->remove(e);
        }
        e = next;
    }
    known_->save();
    deleteNextOld();
}

void POP_Retrieve::deleteNextOld() {
    if (oldToDelete_.empty()) {
        nextItem();
        return;
    }
    int number = oldToDelete_.front();
    oldToDelete_.pop_front();
    if (!pop().sendCommand(POPCommand::DELE, number)) {
        fail();
        return;
    }
    waitIn(state_WAIT_OLD_DELE_ACK);
}

void POP_Retrieve::nextItem() {
    UIDLEntry* entry = newItems_->first();
    if (!entry) {
        notify(MailClient::RETRIEVE_COMPLETE);
        reset();
        return;
    }
    storedPath_ = store::makeItemFileName(pop().itemDirectory(), pop().ownerTag(), entry->identifier);
    // Replaces a partial file that an earlier, interrupted attempt left under this name.
    itemFile_ = std::fopen(storedPath_.c_str(), "wb");
    if (!itemFile_) {
        DebugLine(LOG_APP, LOG_HIGH, "Unable to open file to store mail item");
        fail();
        return;
    }
    std::setvbuf(itemFile_, nullptr, _IOFBF, kItemBuffer);
    itemWriteFailed_ = false;
    currentNumber_ = entry->messageNumber;
    if (!pop().sendCommand(POPCommand::RETR, currentNumber_)) {
        DebugLine(LOG_NET, LOG_HIGH, "RETR command TX fail");
        DebugLine(LOG_MAIL, LOG_HIGH, "RETR command TX fail");
        fail();
        return;
    }
    waitIn(state_WAIT_RETR_ACK);
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
    if (std::fwrite(text.data(), 1, text.size(), itemFile_) != text.size()) itemWriteFailed_ = true;
}

void POP_Retrieve::onItemEnd() {
    client_->streamLines(false);
    // The item reaches the disk before anyone is told it is stored: a write that failed (a
    // full disk) must not turn into a message deleted on the server.
    bool ok = !itemWriteFailed_ && plat::syncFile(itemFile_) == 0;
    if (std::fclose(itemFile_) != 0) ok = false;
    itemFile_ = nullptr;
    if (!ok) {
        DebugLine(LOG_APP, LOG_HIGH, "Failed to close file at end of mail item receive");
        std::remove(storedPath_.c_str());
        skip("its text could not be stored");
        return;
    }
    plat::LRESULT answer = notify(MailClient::RETRIEVE_ITEM, reinterpret_cast<plat::LPARAM>(storedPath_.c_str()));
    UIDLEntry* entry = newItems_->first();
    if (answer == POPClient::kItemNotStored) {
        newItems_->remove(entry);
        nextItem();
        return;
    }
    known_->record(entry->identifier);
    newItems_->remove(entry);
    if (deleteFlag_ != 1) {
        nextItem();
        return;
    }
    if (!pop().sendCommand(POPCommand::DELE, currentNumber_)) {
        fail();
        return;
    }
    waitIn(state_WAIT_DELE_ACK);
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
    if (old) {
        deleteNextOld();
    } else {
        nextItem();
    }
}

void POP_Retrieve::skip(const std::string& reason) {
    UIDLEntry* entry = newItems_->first();
    SkippedMessage skipped{entry->identifier, reason};
    notify(MailClient::RETRIEVE_SKIPPED, reinterpret_cast<plat::LPARAM>(&skipped));
    // Neither recorded nor deleted: the next check tries it again.
    newItems_->remove(entry);
    nextItem();
}

void POP_Retrieve::fail() {
    notify(MailClient::RETRIEVE_FAIL);
    reset();
}

void POP_Retrieve::reset() {
    state_ = state_IDLE;
    client_->streamLines(false);
    if (itemFile_) std::fclose(itemFile_);
    itemFile_ = nullptr;
    known_.reset();
    newItems_.reset();
    std::deque<int>().swap(oldToDelete_);
    // A long listing was many small allocations: hand the freed pages back to the system, so
    // that the engine does not keep the size of the longest listing it ever met.
    plat::releaseFreeMemory();
}
