#include "imap/imap_client.h"

#include "imap/imap_auth.h"
#include "imap/imap_fetch.h"
#include "net/mail_client_open.h"
#include "platform/socket.h"
#include "log/debug.h"

#include <cctype>

// ---- Responses

std::string IMAPResponse::word(std::size_t index) const {
    if (index >= tokens.size() || tokens[index].type != IMAPToken::Type::Atom) return {};
    std::string w = tokens[index].text;
    for (char& c : w) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return w;
}

bool IMAPResponse::isStatus(const char* status) const {
    return word(0) == status;
}

// ---- Phases

IMAPPhase::IMAPPhase(IMAPClient* client) : StateHandler(client) {}

IMAPClient& IMAPPhase::imap() const {
    return *static_cast<IMAPClient*>(client_);
}

POPClientObserver* IMAPPhase::owner() const {
    return imap().observer();
}

void IMAPPhase::waitIn(int state) {
    state_ = state;
    client_->armTimeout();
}

void IMAPPhase::logFailure(const std::string& what) const {
    std::string text = "IMAP " + imap().user() + " at " + client_->host() + ": " + what;
    DebugLine(LOG_MAIL, LOG_HIGH, text.c_str());
}

int IMAPPhase::dispatch(Connection::Event event, long) {
    if (state_ == 0) return 0;
    switch (event) {
    case Connection::EV_TIMEOUT: onBroken("the server fell silent"); return 1;
    case Connection::EV_CLOSED: onBroken("the connection closed"); return 1;
    default: return 0;
    }
}

// The opening phase: connect, and tell the owner how it went.
class IMAP_Open : public StateHandler {
public:
    using StateHandler::StateHandler;
    void start() { startOpeningPhase(state_, *client_); }
    int dispatch(Connection::Event event, long arg) override {
        if (state_ != 1) return 0;
        bool connected = event == Connection::EV_CONNECT && arg == 1;
        bool failed = (event == Connection::EV_CONNECT && arg == 0) || event == Connection::EV_TIMEOUT ||
                      event == Connection::EV_CLOSED;
        if (!connected && !failed) return 0;
        if (event == Connection::EV_TIMEOUT) {
            DebugLine(LOG_NET, LOG_HIGH, "Timed out opening connection");
            client_->closeSocket();
        }
        state_ = 0;
        if (!connected) logConnectFailure("IMAP", *client_, event);
        if (observer_) observer_->opened(connected);
        return 1;
    }
};

// The close: LOGOUT, its reply (or the server's end) awaited, then closed, the socket closed,
// and finished in a turn of the loop of its own.
class IMAP_Close : public IMAPPhase {
public:
    using IMAPPhase::IMAPPhase;
    void start() {
        if (client_->socket() == plat::INVALID_SOCKET || client_->idleTimedOut()) {
            finish();
            return;
        }
        waitIn(1);
        if (!imap().command("LOGOUT", [this](const IMAPResponse&) {
                client_->shutdown();
                finish();
            }))
            finish();
    }
    void onBroken(const std::string&) override { finish(); }
    void finish() {
        if (state_ == 2) return;
        state_ = 2;
        if (owner()) owner()->closed();
        client_->closeSocket();
        client_->lineBuffer().reset();
        if (POPClientObserver* o = owner()) later_.post([o] { o->finished(); });
    }

private:
    plat::DeferredCalls later_;
};

// ---- The client

IMAPClient::IMAPClient(POPClientObserver* observer, const std::string& host, int port, const std::string& user,
                       const std::string& password, const std::string& itemDirectory)
    : Connection(host.c_str(), port),
      observer_(observer),
      open_(std::make_unique<IMAP_Open>(this)),
      auth_(std::make_unique<IMAP_Auth>(this)),
      fetch_(std::make_unique<IMAP_Fetch>(this)),
      parser_(*this),
      itemDirectory_(itemDirectory),
      user_(user),
      password_(password) {
    open_->setObserver(observer);
    auth_->setObserver(observer);
    fetch_->setObserver(observer);
}

IMAPClient::~IMAPClient() {
    current_ = nullptr;
    opening_ = nullptr;
}

void IMAPClient::open() {
    opening_ = open_.get();
    current_ = nullptr;
    open_->start();
}

void IMAPClient::authorise() {
    opening_ = nullptr;
    current_ = auth_.get();
    parser_.reset();
    // Every byte goes to the parser as it comes: a literal may run for megabytes without CRLF.
    streamLines(true);
    auth_->start();
}

void IMAPClient::retrieve(const IMAPFetchOptions& options) {
    current_ = fetch_.get();
    fetch_->start(options);
}

void IMAPClient::close() {
    opening_ = nullptr;
    closing_ = true;
    auto closer = std::make_unique<IMAP_Close>(this);
    closer->setObserver(observer_);
    IMAP_Close* c = closer.get();
    current_ = c;
    closer_ = std::move(closer);
    c->start();
}

int IMAPClient::dispatcher(Connection::Event event, long arg) {
    if (event == EV_WRITABLE) return 1;
    if (opening_) return opening_->dispatch(event, arg);
    if (event == EV_LINE || event == EV_LINE_PART) {
        feedParser();
        return 1;
    }
    if (event == EV_LINE_TOO_LONG) return 1;  // not raised: every byte is taken as it comes
    return current_ ? current_->dispatch(event, arg) : 0;
}

void IMAPClient::feedParser() {
    plat::SOCKET s = socket();
    std::string bytes = lineBuffer().takePart();
    // A CR held back by the line buffer waiting for its LF comes with the next bytes.
    if (bytes.empty()) return;
    muted_ = false;
    bool ok = parser_.feed(bytes);
    if (muted_) {
        // TLS began, or the connection was given up: what followed is not the server's word.
        parser_.reset();
        muted_ = false;
        return;
    }
    // Taking every byte stops the connection's timer: while replies are due, it runs again.
    if (ok && !pending_.empty() && s == socket()) armTimeout();
    if (!ok && s == socket()) {
        std::string why = "unreadable response (" + parser_.failure() + ")";
        DebugLine(LOG_MAIL, LOG_HIGH, ("IMAP server " + host() + " sent an " + why + ": connection closed").c_str());
        breakOff(why);
    }
}

void IMAPClient::breakOff(const std::string& why) {
    muted_ = true;
    closeSocket();
    lineBuffer().reset();
    pending_.clear();
    later_.post([this, why] { onBrokenNow(why); });
}

void IMAPClient::onBrokenNow(const std::string& why) {
    if (current_) current_->onBroken(why);
}

bool IMAPClient::beginTls() {
    muted_ = true;
    return startTls(caFile_);
}

bool IMAPClient::command(const std::string& text, Done done, bool secret) {
    std::string tag = "T" + std::to_string(nextTag_++);
    std::string line = tag + " " + text;
    bool sendable = text.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos;
    if (sendable) {
        std::string bytes = line + "\r\n";
        if (write(bytes.data(), bytes.size()) != Output::Failed) {
            pending_.push_back({tag, std::move(done)});
            return true;
        }
    }
    std::string shown = secret ? tag + " " + text.substr(0, text.find(' ')) + " ********" : line;
    if (shown.size() > 200) shown = shown.substr(0, 200) + "...";
    DebugLineStr(LOG_NET, LOG_HIGH, "send() fail :", shown.c_str());
    return false;
}

bool IMAPClient::sendContinuation(const std::string& text) {
    if (text.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) return false;
    std::string bytes = text + "\r\n";
    if (write(bytes.data(), bytes.size()) != Output::Failed) return true;
    DebugLine(LOG_NET, LOG_HIGH, "send() fail : ********");
    return false;
}

void IMAPClient::setCapabilities(const std::vector<std::string>& words) {
    capabilities_.clear();
    for (std::string w : words) {
        for (char& c : w) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        capabilities_.insert(std::move(w));
    }
    capabilitiesKnown_ = true;
}

void IMAPClient::setCapabilitiesFromText(const std::string& text) {
    std::vector<std::string> words;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t blank = text.find(' ', at);
        if (blank == std::string::npos) blank = text.size();
        if (blank > at) words.push_back(text.substr(at, blank - at));
        at = blank + 1;
    }
    // The first word is the code's name, "CAPABILITY".
    if (!words.empty()) words.erase(words.begin());
    setCapabilities(words);
}

// ---- What the parser reads

void IMAPClient::begin(Kind kind, std::string_view tag) {
    if (muted_) return;
    response_ = IMAPResponse{};
    response_.kind = kind;
    response_.tag = std::string(tag);
    searching_ = false;
}

void IMAPClient::addToken(IMAPToken::Type type, std::string_view text) {
    if (response_.tokens.size() >= IMAPResponse::kMaxTokens) {
        response_.truncated = true;
        return;
    }
    response_.tokens.push_back({type, std::string(text)});
}

void IMAPClient::atom(std::string_view text) {
    if (muted_) return;
    if (searching_) {
        // "* SEARCH 2 84 882": each number as it comes, however many there are.
        std::uint64_t n = 0;
        bool number = !text.empty() && text.size() <= 10;
        for (char c : text) {
            if (c < '0' || c > '9') number = false;
            n = n * 10 + static_cast<unsigned>(c - '0');
        }
        if (number && n > 0 && n <= UINT32_MAX && current_) current_->onSearchNumber(static_cast<std::uint32_t>(n));
        return;
    }
    addToken(IMAPToken::Type::Atom, text);
    if (response_.kind == Kind::Untagged && response_.tokens.size() == 1 && response_.word(0) == "SEARCH")
        searching_ = true;
}

void IMAPClient::string(std::string_view text) {
    if (muted_ || searching_) return;
    addToken(IMAPToken::Type::String, text);
}

void IMAPClient::listBegin() {
    if (muted_ || searching_) return;
    addToken(IMAPToken::Type::ListBegin, {});
}

void IMAPClient::listEnd() {
    if (muted_ || searching_) return;
    addToken(IMAPToken::Type::ListEnd, {});
}

IMAPResponseSink::LiteralUse IMAPClient::literalBegin(std::uint64_t size) {
    if (muted_) return LiteralUse::Stream;  // dropped as it comes
    LiteralUse use = current_ ? current_->onLiteralBegin(response_, size) : LiteralUse::Keep;
    if (use == LiteralUse::Stream) addToken(IMAPToken::Type::Streamed, {});
    return use;
}

void IMAPClient::literalData(std::string_view bytes) {
    if (muted_) return;
    // A long literal keeps the line busy: it is not a silent server.
    armTimeout();
    if (current_) current_->onLiteralData(bytes);
}

void IMAPClient::literalEnd() {
    if (muted_) return;
    if (current_) current_->onLiteralEnd();
}

void IMAPClient::text(std::string_view code, std::string_view rest) {
    if (muted_) return;
    response_.code = std::string(code);
    response_.text = std::string(rest);
}

void IMAPClient::end() {
    if (muted_) return;
    IMAPResponse r = std::move(response_);
    response_ = IMAPResponse{};
    if (r.kind == Kind::Untagged && r.isStatus("BYE") && !closing_) {
        std::string line = "IMAP server " + host() + " ends the session: " + r.text;
        DebugLine(LOG_MAIL, LOG_HIGH, line.c_str());
    }
    if (r.kind == Kind::Tagged) {
        for (auto it = pending_.begin(); it != pending_.end(); ++it) {
            if (it->tag != r.tag) continue;
            Done done = std::move(it->done);
            pending_.erase(it);
            if (done) done(r);
            return;
        }
        DebugLineStr(LOG_NET, LOG_LOW, "IMAPClient : reply to no command :", r.tag.c_str());
        return;
    }
    if (!current_) return;
    if (r.kind == Kind::Continuation) {
        current_->onContinuation(r);
    } else {
        current_->onUntagged(r);
    }
}
