#include "imap/imap_fetch.h"

#include "imap/imap_utf7.h"

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/socket.h"
#include "log/debug.h"
#include "store/item_name.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <map>
#include <unordered_set>

namespace {

constexpr std::size_t kItemBuffer = 64 * 1024;

bool toNumber(const std::string& text, std::uint32_t& out) {
    if (text.empty()) return false;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size();
}

bool upperEquals(const std::string& text, const char* upper) {
    std::size_t n = std::char_traits<char>::length(upper);
    if (text.size() != n) return false;
    for (std::size_t i = 0; i < n; ++i)
        if (std::toupper(static_cast<unsigned char>(text[i])) != upper[i]) return false;
    return true;
}

bool startsUpper(const std::string& text, const char* upper) {
    std::size_t n = std::char_traits<char>::length(upper);
    return text.size() >= n && upperEquals(text.substr(0, n), upper);
}

}  // namespace

IMAP_Fetch::~IMAP_Fetch() {
    if (run_) dropPartial();
}

bool IMAP_Fetch::send(const std::string& command, IMAPClient::Done done) {
    if (imap().command(command, std::move(done))) {
        client_->armTimeout();
        return true;
    }
    logFailure(command.substr(0, command.find(' ', 4)) + " could not be sent");
    finish(false);
    return false;
}

void IMAP_Fetch::start(const IMAPFetchOptions& options) {
    run_ = std::make_unique<Run>();
    run_->options = options;
    run_->options.moveFolder = imaprec::utf8FolderName(options.moveFolder);
    run_->record = std::make_unique<UIDL>();
    run_->record->load(options.recordFile);
    for (const UIDLEntry& e : *run_->record) {
        if (auto entry = imaprec::parse(e.identifier)) {
            entry->folder = imaprec::utf8FolderName(std::move(entry->folder));
            run_->entries.push_back(std::move(*entry));
        } else {
            run_->others.push_back(e.identifier);
        }
    }
    run_->syncer = std::make_unique<plat::FileSyncer>();
    run_->explicitFolders = imaprec::folderList(options.folders, run_->listAll);
    waitIn(state_WORKING);
    if (!run_->listAll) {
        run_->folders.assign(run_->explicitFolders.begin(), run_->explicitFolders.end());
        nextFolder();
        return;
    }
    run_->mode = Mode::List;
    send("LIST \"\" \"*\"", [this](const IMAPResponse& r) {
        if (!run_) return;
        if (!r.isStatus("OK")) {
            logFailure("LIST refused: " + r.text);
            finish(false);
            return;
        }
        for (const std::string& f : run_->explicitFolders)
            if (std::find(run_->folders.begin(), run_->folders.end(), f) == run_->folders.end())
                run_->folders.push_back(f);
        nextFolder();
    });
}

void IMAP_Fetch::onUntagged(const IMAPResponse& r) {
    if (!run_) return;
    std::string first = r.word(0);
    if (run_->mode == Mode::List && first == "LIST") {
        // * LIST (\HasNoChildren) "/" "INBOX"
        std::vector<std::string> flags;
        std::size_t i = 1;
        if (i < r.tokens.size() && r.tokens[i].type == IMAPToken::Type::ListBegin) {
            for (++i; i < r.tokens.size() && r.tokens[i].type != IMAPToken::Type::ListEnd; ++i)
                flags.push_back(r.tokens[i].text);
            ++i;
        }
        ++i;  // the hierarchy delimiter
        if (i >= r.tokens.size() || r.truncated) return;
        // Names come in modified UTF-7 and are kept in UTF-8, as the settings name folders. A
        // name that is not valid modified UTF-7 is kept and sent back as the server wrote it.
        std::string name = r.tokens[i].text;
        if (auto decoded = imaputf7::decode(name)) {
            name = std::move(*decoded);
        } else {
            run_->sentAsListed.insert(name);
        }
        if (imaprec::skippedByAll(flags, name) || name == run_->options.moveFolder) return;
        if (std::find(run_->folders.begin(), run_->folders.end(), name) == run_->folders.end())
            run_->folders.push_back(name);
        return;
    }
    if (run_->mode == Mode::Select) {
        if (r.isStatus("OK") && startsUpper(r.code, "UIDVALIDITY ")) toNumber(r.code.substr(12), run_->uidValidity);
        if (r.word(1) == "EXISTS") toNumber(r.tokens[0].text, run_->exists);
        return;
    }
    if (r.word(1) != "FETCH" || r.tokens.size() < 3 || r.tokens[2].type != IMAPToken::Type::ListBegin) return;
    // * 12 FETCH (UID 7 RFC822.SIZE 99 BODY[HEADER.FIELDS (MESSAGE-ID)] {40} ... BODY[] {n} ...)
    std::uint32_t uid = 0;
    std::uint32_t size = 0;
    bool haveSize = false;
    std::string header;
    bool body = false;
    for (std::size_t i = 3; i + 1 < r.tokens.size(); ++i) {
        const IMAPToken& t = r.tokens[i];
        if (t.type != IMAPToken::Type::Atom) continue;
        const IMAPToken& v = r.tokens[i + 1];
        if (upperEquals(t.text, "UID")) {
            toNumber(v.text, uid);
        } else if (upperEquals(t.text, "RFC822.SIZE")) {
            haveSize = toNumber(v.text, size);
        } else if (startsUpper(t.text, "BODY[HEADER.FIELDS")) {
            if (v.type == IMAPToken::Type::String) header = v.text;
        } else if (upperEquals(t.text, "BODY[]") && v.type == IMAPToken::Type::Streamed) {
            body = true;
        }
    }
    if (run_->mode == Mode::Match) {
        if (uid != 0 && haveSize) run_->seen.push_back({uid, size, imaprec::messageId(header)});
        return;
    }
    if (run_->mode != Mode::Fetch || !body) return;
    if (!run_->bodyDone || !run_->partial) {
        if (uid != 0 && run_->waiting.erase(uid) != 0) skipped(std::to_string(uid), "its item file could not be made");
        dropPartial();
        return;
    }
    run_->bodyDone = false;
    if (uid == 0 || run_->waiting.erase(uid) == 0) {
        // A message not asked for (or named twice) is not stored.
        dropPartial();
        return;
    }
    if (!run_->writer.finish()) {
        dropPartial();
        skipped(std::to_string(uid), "its text could not be stored");
        return;
    }
    std::string path = store::makeItemFileName(imap().itemDirectory(), imap().ownerTag(),
                                               imaprec::key(run_->folder, run_->uidValidity, uid));
    if (std::rename(run_->partialPath.c_str(), path.c_str()) != 0) {
        dropPartial();
        skipped(std::to_string(uid), "its item file could not be named");
        return;
    }
    std::size_t ticket = run_->syncer->hand(std::move(run_->partial));
    run_->batch.push_back({uid, path, ticket, run_->bodySize, imaprec::messageId(header)});
}

IMAPResponseSink::LiteralUse IMAP_Fetch::onLiteralBegin(const IMAPResponse& r, std::uint64_t size) {
    if (!run_ || run_->mode != Mode::Fetch || r.word(1) != "FETCH" || r.tokens.empty())
        return IMAPResponseSink::LiteralUse::Keep;
    const IMAPToken& last = r.tokens.back();
    if (last.type != IMAPToken::Type::Atom || !upperEquals(last.text, "BODY[]"))
        return IMAPResponseSink::LiteralUse::Keep;
    // Every message goes to the same part file first; it gets its name once its UID is known.
    // The part file has an item's name that no message has ("imap-part"), so that one a kill
    // left behind is removed at the engine's start as any unrecorded item is.
    dropPartial();
    run_->partialPath = store::makeItemFileName(imap().itemDirectory(), imap().ownerTag(), "imap-part");
    run_->partial = plat::openFile(run_->partialPath, "wb");
    run_->bodySize = size;
    run_->bodyDone = false;
    if (run_->partial) std::setvbuf(run_->partial.get(), nullptr, _IOFBF, kItemBuffer);
    run_->writer = TransferFormWriter(run_->partial.get());
    if (!run_->partial) {
        DebugLine(LOG_APP, LOG_HIGH, "Unable to open file to store mail item");
    }
    return IMAPResponseSink::LiteralUse::Stream;
}

void IMAP_Fetch::onLiteralData(std::string_view bytes) {
    if (run_ && run_->partial) run_->writer.write(bytes);
}

void IMAP_Fetch::onLiteralEnd() {
    if (run_ && run_->partial) run_->bodyDone = true;
}

void IMAP_Fetch::dropPartial() {
    if (!run_->partial) return;
    run_->partial.reset();
    std::remove(run_->partialPath.c_str());
}

void IMAP_Fetch::onSearchNumber(std::uint32_t uid) {
    if (!run_ || run_->mode != Mode::Search) return;
    if (run_->uids.size() >= kMaxUids) {
        if (run_->uids.size() == kMaxUids) logFailure("folder " + run_->folder + " lists too many messages");
        imap().breakOff("too many messages listed");
        return;
    }
    run_->uids.push_back(uid);
}

void IMAP_Fetch::nextFolder() {
    if (!run_) return;
    if (run_->folders.empty()) {
        finish(true);
        return;
    }
    run_->folder = run_->folders.front();
    run_->folders.pop_front();
    select();
}

void IMAP_Fetch::select() {
    Run& run = *run_;
    run.uidValidity = run.exists = 0;
    run.uids.clear();
    run.seen.clear();
    run.toFetch.clear();
    run.waiting.clear();
    run.needExpunge = run.folderEnding = false;
    std::optional<std::string> wire = run.sentAsListed.count(run.folder) ? run.folder : imaputf7::encode(run.folder);
    if (!wire) {
        skipped(run.folder, "its name is not valid UTF-8");
        nextFolder();
        return;
    }
    if (!imaprec::quote(*wire, run.quotedFolder)) {
        skipped(run.folder, "its name holds characters this program cannot send");
        nextFolder();
        return;
    }
    run.mode = Mode::Select;
    bool leave = run.options.leaveMail == 1;
    send((leave ? "EXAMINE " : "SELECT ") + run.quotedFolder, [this](const IMAPResponse& r) {
        if (!run_) return;
        if (!r.isStatus("OK")) {
            skipped(run_->folder, "the folder could not be opened: " + r.text);
            nextFolder();
            return;
        }
        if (run_->uidValidity == 0) {
            skipped(run_->folder, "the server gives the folder no UIDVALIDITY");
            nextFolder();
            return;
        }
        search();
    });
}

void IMAP_Fetch::search() {
    run_->mode = Mode::Search;
    if (run_->exists == 0) {
        afterSearch();
        return;
    }
    send("UID SEARCH ALL", [this](const IMAPResponse& r) {
        if (!run_) return;
        if (!r.isStatus("OK")) {
            skipped(run_->folder, "UID SEARCH refused: " + r.text);
            nextFolder();
            return;
        }
        afterSearch();
    });
}

void IMAP_Fetch::afterSearch() {
    Run& run = *run_;
    std::sort(run.uids.begin(), run.uids.end());
    run.uids.erase(std::unique(run.uids.begin(), run.uids.end()), run.uids.end());
    bool stale = std::any_of(run.entries.begin(), run.entries.end(), [&](const imaprec::Entry& e) {
        return e.folder == run.folder && e.uidValidity != run.uidValidity;
    });
    if (!stale || run.uids.empty()) {
        planFolder();
        return;
    }
    run.mode = Mode::Match;
    send("UID FETCH 1:* (UID RFC822.SIZE BODY.PEEK[HEADER.FIELDS (MESSAGE-ID)])", [this](const IMAPResponse& r) {
        if (!run_) return;
        if (!r.isStatus("OK")) logFailure("sizes and Message-IDs of " + run_->folder + " not given: " + r.text);
        matchNewValidity();
        planFolder();
    });
}

void IMAP_Fetch::matchNewValidity() {
    Run& run = *run_;
    // The recorded messages of the old UIDVALIDITY, by size and Message-ID.
    std::multimap<std::pair<std::uint64_t, std::string>, std::size_t> old;
    std::uint32_t oldValidity = 0;
    for (std::size_t i = 0; i < run.entries.size(); ++i) {
        const imaprec::Entry& e = run.entries[i];
        if (e.folder != run.folder || e.uidValidity == run.uidValidity) continue;
        oldValidity = e.uidValidity;
        if (!e.messageId.empty()) old.emplace(std::make_pair(e.size, e.messageId), i);
    }
    std::vector<imaprec::Entry> matched;
    for (const Seen& s : run.seen) {
        if (s.messageId.empty()) continue;
        auto it = old.find({s.size, s.messageId});
        if (it == old.end()) continue;
        imaprec::Entry e = run.entries[it->second];
        e.uidValidity = run.uidValidity;
        e.uid = s.uid;
        matched.push_back(std::move(e));
        old.erase(it);
    }
    std::erase_if(run.entries,
                  [&](const imaprec::Entry& e) { return e.folder == run.folder && e.uidValidity != run.uidValidity; });
    std::string line = "UIDVALIDITY of " + run.folder + " at " + client_->host() + " changed from " +
                       std::to_string(oldValidity) + " to " + std::to_string(run.uidValidity) + ": " +
                       std::to_string(matched.size()) + " messages matched to those stored by size and Message-ID";
    DebugLine(LOG_MAIL, LOG_MED, line.c_str());
    for (imaprec::Entry& e : matched) run.entries.push_back(std::move(e));
}

void IMAP_Fetch::planFolder() {
    Run& run = *run_;
    std::unordered_set<std::uint32_t> present(run.uids.begin(), run.uids.end());
    std::unordered_set<std::uint32_t> known;
    std::vector<std::uint32_t> old;
    long long now = plat::unixTime();
    std::vector<imaprec::Entry> kept;
    kept.reserve(run.entries.size());
    for (imaprec::Entry& e : run.entries) {
        if (e.folder == run.folder) {
            // Stale UIDVALIDITY (no message left to match) or gone from the server: forgotten.
            if (e.uidValidity != run.uidValidity || !present.count(e.uid)) continue;
            known.insert(e.uid);
            bool due = run.options.leaveMail == 0 ||
                       (run.options.leaveMail == 2 &&
                        now - e.fetched >= static_cast<long long>(run.options.leaveDays) * 86400);
            if (due) old.push_back(e.uid);
        }
        kept.push_back(std::move(e));
    }
    run.entries = std::move(kept);
    for (std::uint32_t uid : run.uids)
        if (!known.count(uid)) run.toFetch.push_back(uid);
    if (!saveRecord()) {
        finish(false);
        return;
    }
    std::sort(old.begin(), old.end());
    run.mode = Mode::Fetch;
    remove(old);
    if (!run_) return;
    fetchMore();
    maybeFolderDone();
}

void IMAP_Fetch::fetchMore() {
    while (run_ && run_->fetchesOut < kCommandsAhead && !run_->toFetch.empty()) {
        std::vector<std::uint32_t> uids;
        while (uids.size() < kWindow && !run_->toFetch.empty()) {
            uids.push_back(run_->toFetch.front());
            run_->toFetch.pop_front();
        }
        for (std::uint32_t uid : uids) run_->waiting.insert(uid);
        ++run_->fetchesOut;
        std::string command = "UID FETCH " + imaprec::uidSet(uids) +
                              " (UID BODY.PEEK[HEADER.FIELDS (MESSAGE-ID)] BODY.PEEK[])";
        if (!send(command, [this, uids](const IMAPResponse& r) { onFetchDone(r, uids); })) return;
    }
}

void IMAP_Fetch::onFetchDone(const IMAPResponse& r, const std::vector<std::uint32_t>& uids) {
    if (!run_) return;
    --run_->fetchesOut;
    if (!r.isStatus("OK")) logFailure("UID FETCH in " + run_->folder + " answered " + r.word(0) + " " + r.text);
    std::vector<std::uint32_t> stored;
    if (!flushBatch(true, &stored)) {
        finish(false);
        return;
    }
    // A message asked for and never sent (removed meanwhile by another program, or refused)
    // is neither recorded nor removed.
    for (std::uint32_t uid : uids) {
        if (run_->waiting.erase(uid) == 0) continue;
        if (r.isStatus("OK")) continue;  // gone from the folder: nothing to fetch
        skipped(std::to_string(uid), "the server did not send it");
    }
    // Mail left on the server, for good or for some days, is only recorded now.
    if (run_->options.leaveMail == 0) remove(stored);
    if (!run_) return;
    fetchMore();
    maybeFolderDone();
}

bool IMAP_Fetch::flushBatch(bool removeAfter, std::vector<std::uint32_t>* storedUids) {
    std::vector<Received> batch;
    batch.swap(run_->batch);
    std::vector<const Received*> synced;
    for (Received& r : batch) {
        if (run_->syncer->outcome(r.ticket)) {
            synced.push_back(&r);
            continue;
        }
        DebugLine(LOG_APP, LOG_HIGH, "Failed to close file at end of mail item receive");
        std::remove(r.path.c_str());
        skipped(std::to_string(r.uid), "its text could not be stored");
    }
    std::vector<const Received*> stored;
    for (const Received* r : synced) {
        if (owner() && owner()->itemReceived(r->path)) {
            stored.push_back(r);
        } else {
            skipped(std::to_string(r->uid), "it could not be moved into its mailbox");
        }
    }
    if (stored.empty()) return true;
    // The mailbox, then the record, reach the disk before anything is removed at the server.
    if (!owner() || !owner()->storedItemsFlushed()) return false;
    long long now = plat::unixTime();
    for (const Received* r : stored) {
        imaprec::Entry e{run_->folder, run_->uidValidity, r->uid, now, r->size, r->messageId};
        run_->record->recordLater(imaprec::identifier(e));
        run_->entries.push_back(std::move(e));
    }
    if (!run_->record->commit()) {
        std::string text = "Unable to record retrieved messages in " + run_->record->fileName() + " : " +
                           run_->record->failure() + " : they stay on the server until it can be written";
        DebugLine(LOG_MAIL, LOG_HIGH, text.c_str());
        return false;
    }
    if (removeAfter && storedUids) {
        for (const Received* r : stored) storedUids->push_back(r->uid);
        std::sort(storedUids->begin(), storedUids->end());
    }
    return true;
}

void IMAP_Fetch::remove(const std::vector<std::uint32_t>& uids) {
    const IMAPFetchOptions& o = run_->options;
    if (uids.empty() || o.leaveMail == 1) return;
    std::string set = imaprec::uidSet(uids);
    if (o.leaveMail == 0 && !o.moveFolder.empty()) {
        std::string target;
        std::optional<std::string> wire = imaputf7::encode(o.moveFolder);
        if (!wire || !imaprec::quote(*wire, target)) {
            logFailure("the folder to move mail to has a name this program cannot send: mail left in place");
            return;
        }
        ++run_->removalsOut;
        if (imap().hasCapability("MOVE")) {
            send("UID MOVE " + set + " " + target, [this](const IMAPResponse& r) {
                if (!run_) return;
                --run_->removalsOut;
                if (!r.isStatus("OK"))
                    logFailure("UID MOVE refused: " + r.text + ": the messages stay in " + run_->folder);
                maybeFolderDone();
            });
            return;
        }
        // A copy that failed must not be followed by the removal.
        send("UID COPY " + set + " " + target, [this, set](const IMAPResponse& r) {
            if (!run_) return;
            --run_->removalsOut;
            if (r.isStatus("OK")) {
                storeDeleted(set);
            } else {
                logFailure("UID COPY refused: " + r.text + ": the messages stay in " + run_->folder);
            }
            maybeFolderDone();
        });
        return;
    }
    storeDeleted(set);
}

void IMAP_Fetch::storeDeleted(const std::string& set) {
    ++run_->removalsOut;
    send("UID STORE " + set + " +FLAGS.SILENT (\\Deleted)", [this, set](const IMAPResponse& r) {
        if (!run_) return;
        --run_->removalsOut;
        if (!r.isStatus("OK")) {
            logFailure("UID STORE refused: " + r.text + ": the messages stay in " + run_->folder);
        } else if (imap().hasCapability("UIDPLUS")) {
            ++run_->removalsOut;
            send("UID EXPUNGE " + set, [this](const IMAPResponse& e) {
                if (!run_) return;
                --run_->removalsOut;
                if (!e.isStatus("OK")) logFailure("UID EXPUNGE refused: " + e.text);
                maybeFolderDone();
            });
            return;
        } else {
            run_->needExpunge = true;
        }
        maybeFolderDone();
    });
}

void IMAP_Fetch::maybeFolderDone() {
    if (!run_ || run_->mode != Mode::Fetch || run_->folderEnding) return;
    if (!run_->toFetch.empty() || run_->fetchesOut > 0 || run_->removalsOut > 0) return;
    run_->folderEnding = true;
    if (!run_->needExpunge) {
        nextFolder();
        return;
    }
    std::string line = "IMAP server " + client_->host() +
                       " offers no UIDPLUS: EXPUNGE removes every message flagged "
                       "\\Deleted in " +
                       run_->folder + ", also those flagged by other programs";
    DebugLine(LOG_MAIL, LOG_MED, line.c_str());
    send("EXPUNGE", [this](const IMAPResponse& r) {
        if (!run_) return;
        if (!r.isStatus("OK")) logFailure("EXPUNGE refused: " + r.text);
        nextFolder();
    });
}

bool IMAP_Fetch::saveRecord() {
    UIDL& record = *run_->record;
    record.clear();
    for (const std::string& other : run_->others) record.add(other, 0, 0);
    for (const imaprec::Entry& e : run_->entries) record.add(imaprec::identifier(e), 0, 0);
    if (record.save()) return true;
    std::string text = "Unable to write " + record.fileName() + " : " + record.failure();
    DebugLine(LOG_MAIL, LOG_HIGH, text.c_str());
    return false;
}

void IMAP_Fetch::skipped(const std::string& what, const std::string& reason) {
    SkippedMessage s{run_ ? run_->folder + " " + what : what, reason};
    if (owner()) owner()->messageSkipped(s);
}

void IMAP_Fetch::onBroken(const std::string& why) {
    if (!run_) return;
    logFailure("retrieval failed: " + why);
    finish(false);
}

void IMAP_Fetch::finish(bool ok) {
    if (!run_) return;
    dropPartial();
    // Replies still on their way would be read as the answers to what comes next.
    if (!ok && imap().outstanding() > 0 && client_->socket() != plat::INVALID_SOCKET) {
        DebugLine(LOG_MAIL, LOG_MED, "retrieval ended with replies outstanding: connection closed");
        client_->closeSocket();
        client_->lineBuffer().reset();
    }
    // Messages received whole are stored; with the session gone they stay on the server and
    // are removed at the next check.
    if (!ok && !run_->batch.empty()) flushBatch(false, nullptr);
    run_.reset();
    state_ = state_IDLE;
    if (owner()) owner()->retrievalEnded(ok);
}
