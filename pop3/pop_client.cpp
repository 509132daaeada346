#include "pop3/pop_client.h"

#include "pop3/pop_auth.h"
#include "pop3/pop_close.h"
#include "pop3/pop_open.h"
#include "pop3/pop_retrieve.h"
#include "log/debug.h"

namespace {
constexpr std::size_t kMaxReply = 1022;
}

POPClient::POPClient(POPClientObserver* observer, const std::string& host, int port, const std::string& user,
                     const std::string& password, const std::string& itemDirectory)
    : Connection(host.c_str(), port),
      observer_(observer),
      open_(std::make_unique<POP_Open>(this)),
      auth_(std::make_unique<POP_Auth>(this)),
      retrieve_(std::make_unique<POP_Retrieve>(this)),
      close_(std::make_unique<POP_Close>(this)),
      itemDirectory_(itemDirectory),
      user_(user),
      password_(password) {
    DebugLine(LOG_APP, LOG_LOW, "POPClient::POPClient");
    for (StateHandler* phase :
         std::initializer_list<StateHandler*>{open_.get(), auth_.get(), retrieve_.get(), close_.get()})
        phase->setObserver(observer);
}

POPClient::~POPClient() {
    DebugLine(LOG_APP, LOG_LOW, "POPClient::~POPClient");
    current_ = nullptr;
}

void POPClient::open() {
    enterPhase(open_.get());
    open_->start();
}

void POPClient::authorise() {
    enterPhase(auth_.get());
    auth_->start();
}

void POPClient::retrieve(const std::string& uidlFile, AfterStoring afterStoring, std::uint32_t leaveDays) {
    enterPhase(retrieve_.get());
    retrieve_->start(uidlFile, afterStoring, leaveDays);
}

void POPClient::close() {
    enterPhase(close_.get());
    close_->start();
}

void POPClient::enterPhase(StateHandler* phase) {
    if (phase != current_) {
        std::string change = std::string(phaseName(current_)) + " -> " + phaseName(phase);
        DebugLineStr(LOG_MAIL, LOG_LOW, ("POP3 " + user_ + " at " + host() + ":").c_str(), change.c_str());
    }
    current_ = phase;
}

const char* POPClient::phaseName(const StateHandler* phase) const {
    if (!phase) return "idle";
    if (phase == open_.get()) return "opening";
    if (phase == auth_.get()) return "logging in";
    if (phase == retrieve_.get()) return "retrieving";
    if (phase == close_.get()) return "closing";
    return "another phase";
}

int POPClient::dispatcher(Connection::Event event, long arg) {
    // Commands are written whole, and the base sends what the socket could not take at once:
    // no phase waits for the socket, and a closing phase would take this for its end.
    if (event == EV_WRITABLE) return 1;
    int handled = current_ ? current_->dispatch(event, arg) : 0;
    // A line that no state expects is dropped: left waiting, it would be offered for ever.
    if (event == EV_LINE && !handled && lineBuffer().hasLine()) {
        std::string dropped = lineBuffer().takeLine();
        DebugLineStr(LOG_NET, LOG_LOW, "POPClient : unexpected line :", dropped.c_str());
    }
    return handled;
}

bool POPClient::isPositive(std::string_view reply) {
    return !reply.empty() && reply.front() == '+';
}

bool POPClient::countCapabilityLine(std::size_t& lines) {
    if (++lines <= kMaxCapabilityLines) return true;
    DebugLine(LOG_MAIL, LOG_HIGH, "CAPA listing too long");
    closeSocket();
    lineBuffer().reset();
    return false;
}

std::string POPClient::takeReply() {
    std::string line = lineBuffer().takeLine();
    if (line.size() > kMaxReply) line.resize(kMaxReply);
    return line;
}

bool POPClient::sendCommand(POPCommand kind) {
    switch (kind) {
    case POPCommand::NOOP: return transmit("NOOP", false);
    case POPCommand::QUIT: return transmit("QUIT", false);
    case POPCommand::STAT: return transmit("STAT", false);
    case POPCommand::LIST: return transmit("LIST", false);
    case POPCommand::UIDL: return transmit("UIDL", false);
    case POPCommand::STLS: return transmit("STLS", false);
    case POPCommand::CAPA: return transmit("CAPA", false);
    default: return transmit("NOOP", false);
    }
}

bool POPClient::sendCommand(POPCommand kind, const std::string& text) {
    switch (kind) {
    case POPCommand::USER: return transmit("USER " + text, false);
    case POPCommand::PASS: return transmit("PASS " + text, true);
    case POPCommand::AUTH: return transmit("AUTH " + text, false);
    default: return transmit("NOOP", false);
    }
}

bool POPClient::sendCommand(POPCommand kind, int number) {
    std::string n = std::to_string(number);
    switch (kind) {
    case POPCommand::LIST: return transmit("LIST " + n, false);
    case POPCommand::UIDL: return transmit("UIDL " + n, false);
    case POPCommand::TOP: return transmit("TOP " + n, false);
    case POPCommand::RETR: return transmit("RETR " + n, false);
    case POPCommand::DELE: return transmit("DELE " + n, false);
    default: return transmit("NOOP", false);
    }
}

bool POPClient::sendCommand(POPCommand kind, int number, int second) {
    if (kind == POPCommand::TOP) return transmit("TOP " + std::to_string(number) + " " + std::to_string(second), false);
    return transmit("NOOP", false);
}

bool POPClient::sendUserAndPassword() {
    return transmit({{"USER " + user_, false}, {"PASS " + password_, true}});
}

bool POPClient::transmit(const std::vector<CommandLine>& lines) {
    std::string bytes;
    bool sendable = true;
    for (const CommandLine& line : lines) {
        // A line end inside an argument would smuggle a further command to the server.
        if (line.text.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) sendable = false;
        bytes += line.text;
        bytes += "\r\n";
    }
    // What the socket does not take now goes when it can, ahead of any later command.
    if (sendable && write(bytes.data(), bytes.size()) != Output::Failed) return true;
    // The log shows what was meant to go out, never a password.
    for (const CommandLine& line : lines) {
        std::string shown = line.text;
        if (line.secret) {
            std::size_t blank = shown.find(' ');
            shown = blank == std::string::npos ? "********" : shown.substr(0, blank) + " ********";
        }
        DebugLineStr(LOG_NET, LOG_HIGH, "send() fail :", shown.c_str());
    }
    return false;
}
