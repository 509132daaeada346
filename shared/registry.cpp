#include "config/settings.h"

#include "platform/files.h"
#include "log/debug.h"
#include "oauth/oauth_settings.h"

#include <cctype>
#include <cstring>

using plat::Hive;
using plat::KeyAccess;
using plat::RegKey;
using plat::RegStatus;

namespace config {
namespace {

constexpr std::size_t kSettingBuffer = 260;
constexpr std::size_t kTitleBuffer = 200;
constexpr std::size_t kAccountBuffer = 199;
constexpr std::size_t kLoginBuffer = 100;

// The hive problem last written to the log.
std::string g_loggedProblem;

// Logs each unusable hive file once; the platform layer has already told standard error.
void noteHiveProblem() {
    std::string problem = plat::lastHiveProblem();
    if (!problem.empty() && problem != g_loggedProblem) {
        DebugLineStr(LOG_APP, LOG_HIGH, "Registry file unusable:", problem.c_str());
        g_loggedProblem = problem;
    }
}

// Every write refused because the hive file cannot be parsed gets a line of its own: the
// change the user made is lost until the file is mended.
void noteRefusedWrite(RegStatus st, const std::string& name) {
    if (st == RegStatus::Unparsable)
        DebugLineStr(LOG_APP, LOG_HIGH, "Registry file cannot be parsed, not written :", name.c_str());
}

bool opened(RegStatus st, const std::string& path = std::string()) {
    noteHiveProblem();
    noteRefusedWrite(st, path);
    return st == RegStatus::Ok;
}

// A failed write is worth a line unless the key simply no longer exists.
bool written(RegStatus st, const std::string& name) {
    noteHiveProblem();
    noteRefusedWrite(st, name);
    if (st != RegStatus::Ok && st != RegStatus::NotFound && st != RegStatus::Unparsable)
        DebugLineStr(LOG_APP, LOG_HIGH, "Failed to write registry value", name.c_str());
    return st == RegStatus::Ok;
}

// A string value read through a buffer of capacity bytes; none when it does not fit.
std::optional<std::string> queryString(const RegKey& key, const std::string& name, std::size_t capacity) {
    std::string buf(capacity, '\0');
    if (plat::regQueryString(key, name, buf.data(), capacity) != RegStatus::Ok) return std::nullopt;
    buf.resize(std::strlen(buf.c_str()));
    return buf;
}

// what names the value about to be written, for the line of a refused write.
bool openSettings(RegKey& key, KeyAccess access, const std::string& what = kSettingsKey) {
    return opened(plat::regOpenKey(Hive::CurrentUser, kSettingsKey, access, key), what);
}

// A title that can name exactly one direct sub-key and be stored in the hive.
bool validTitle(const std::string& title) {
    if (title.empty() || title.size() >= kTitleBuffer) return false;
    for (unsigned char c : title)
        if (c < 0x20 || c == 0x7f || c == '\\') return false;
    return true;
}

// The outgoing host's sign-in, secrets and access token go by the name "outgoing" where an
// account's go by its title; an account of that name, in any case as the wizard refuses it,
// would share them.
bool reservedTitle(const std::string& title) {
    std::string_view reserved = kOutgoingTarget;
    if (title.size() != reserved.size()) return false;
    for (std::size_t i = 0; i < title.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(title[i])) != reserved[i]) return false;
    return true;
}

// user and server become one directory and file name: no "/" and nothing that breaks a line.
bool safeNamePart(const std::string& part) {
    for (unsigned char c : part)
        if (c < 0x20 || c == 0x7f || c == '/') return false;
    return true;
}

// An account key is opened, never made: Read or Write.
bool openAccount(const RegKey& accounts, const std::string& title, KeyAccess access, RegKey& account) {
    return validTitle(title) && plat::regOpenSubKey(accounts, title, access, account) == RegStatus::Ok;
}

bool openAccountAt(const RegKey& accounts, int index, RegKey& account) {
    std::string title;
    return accountTitle(accounts, index, title) && openAccount(accounts, title, KeyAccess::Read, account);
}

bool openLoginAccount(const std::string& title, const std::string& accountsKey, RegKey& account) {
    RegKey accounts;
    if (!opened(plat::regOpenKey(Hive::CurrentUser, accountsKey, KeyAccess::Read, accounts))) return false;
    return openAccount(accounts, title, KeyAccess::Read, account);
}

}  // namespace

// ---- Settings

bool openSettingsKey() {
    RegKey key;
    return openSettings(key, KeyAccess::Create);
}

std::string readSetting(const StringSetting& setting) {
    RegKey key;
    if (!openSettings(key, KeyAccess::Read)) return setting.fallback;
    return queryString(key, setting.name, kSettingBuffer).value_or(setting.fallback);
}

std::uint32_t readSetting(const DwordSetting& setting) {
    RegKey key;
    std::uint32_t value = 0;
    if (!openSettings(key, KeyAccess::Read) || plat::regQueryDword(key, setting.name, value) != RegStatus::Ok)
        return setting.fallback;
    return value;
}

OutgoingSecurity readOutgoingSecurity() {
    OutgoingSecurity out;
    out.security = readSetting(kOutHostSecurity);
    out.user = readSetting(kOutHostUser);
    out.pass = readSetting(kOutHostPass);
    out.caFile = readSetting(kCaFile);
    return out;
}

std::optional<std::uint32_t> readOutHostPort() {
    RegKey key;
    std::uint32_t value = 0;
    if (!openSettings(key, KeyAccess::Read) || plat::regQueryDword(key, kOutHostPort, value) != RegStatus::Ok)
        return std::nullopt;
    return value;
}

namespace {

// A binary value of exactly N bytes, or nothing.
template <std::size_t N>
std::optional<std::array<std::uint8_t, N>> readFixedBinary(const char* name) {
    RegKey key;
    std::array<std::uint8_t, N> bytes{};
    std::size_t size = 0;
    if (!openSettings(key, KeyAccess::Read) ||
        plat::regQueryBinary(key, name, bytes.data(), bytes.size(), size) != RegStatus::Ok || size != bytes.size())
        return std::nullopt;
    return bytes;
}

template <std::size_t N>
bool writeFixedBinary(const char* name, const std::array<std::uint8_t, N>& bytes) {
    RegKey key;
    return openSettings(key, KeyAccess::Create, name) &&
           written(plat::regSetBinary(key, name, bytes.data(), bytes.size()), name);
}

}  // namespace

std::optional<WindowPlacement> readPlacement() {
    return readFixedBinary<44>(kPlacement);
}

std::optional<ListColumns> readListColumns() {
    return readFixedBinary<64>(kListColumns);
}

bool writeSetting(const StringSetting& setting, const std::string& value) {
    RegKey key;
    return openSettings(key, KeyAccess::Create, setting.name) &&
           written(plat::regSetString(key, setting.name, value), setting.name);
}

bool writeSetting(const DwordSetting& setting, std::uint32_t value) {
    RegKey key;
    return openSettings(key, KeyAccess::Create, setting.name) &&
           written(plat::regSetDword(key, setting.name, value), setting.name);
}

bool writeOutHostPort(std::uint32_t port) {
    RegKey key;
    return openSettings(key, KeyAccess::Create, kOutHostPort) &&
           written(plat::regSetDword(key, kOutHostPort, port), kOutHostPort);
}

bool writePlacement(const WindowPlacement& placement) {
    return writeFixedBinary(kPlacement, placement);
}

bool writeListColumns(const ListColumns& columns) {
    return writeFixedBinary(kListColumns, columns);
}

// ---- Cycle start

CycleSettingsFault readCycleSettings(CycleSettings& out) {
    RegKey key;
    if (!openSettings(key, KeyAccess::Read)) return CycleSettingsFault::OutHostName;
    auto host = queryString(key, "outhostname", kSettingBuffer);
    if (!host) return CycleSettingsFault::OutHostName;
    std::uint32_t port = 0;
    if (plat::regQueryDword(key, kOutHostPort, port) != RegStatus::Ok) return CycleSettingsFault::OutHostPort;
    auto ras = queryString(key, "rasentry", kSettingBuffer);
    if (!ras) return CycleSettingsFault::RasEntry;
    out.outHostName = std::move(*host);
    out.outHostPort = port;
    out.rasEntry = std::move(*ras);
    return CycleSettingsFault::None;
}

bool logHiveProblem() {
    std::string problem = plat::userHiveProblem();
    if (problem.empty()) return false;
    DebugLineStr(LOG_APP, LOG_HIGH, "Registry file unusable:", problem.c_str());
    g_loggedProblem = problem;
    return true;
}

// ---- Account list

bool openAccountsKey(RegKey& accounts, const std::string& path) {
    return opened(plat::regOpenKey(Hive::CurrentUser, path, KeyAccess::Create, accounts), path);
}

int accountCount(const RegKey& accounts) {
    std::uint32_t count = 0;
    if (plat::regCountSubKeys(accounts, count) != RegStatus::Ok) return 0;
    return count > INT32_MAX ? INT32_MAX : static_cast<int>(count);
}

bool accountTitle(const RegKey& accounts, int index, std::string& title) {
    char buf[kTitleBuffer];
    if (index < 0 || plat::regEnumSubKey(accounts, static_cast<std::uint32_t>(index), buf, sizeof buf) != RegStatus::Ok)
        return false;
    title = buf;
    return true;
}

std::string accountString(const RegKey& accounts, int index, const std::string& value) {
    RegKey account;
    if (!openAccountAt(accounts, index, account)) return {};
    return queryString(account, value, kAccountBuffer).value_or(std::string());
}

std::optional<std::uint32_t> accountDword(const RegKey& accounts, int index, const std::string& value) {
    RegKey account;
    std::uint32_t data = 0;
    if (!openAccountAt(accounts, index, account) || plat::regQueryDword(account, value, data) != RegStatus::Ok)
        return std::nullopt;
    return data;
}

int findAccount(const RegKey& accounts, const std::string& title) {
    std::string name;
    for (int i = 0; accountTitle(accounts, i, name); ++i)
        if (name == title) return i;
    return -1;
}

bool writeAccountString(const RegKey& accounts, const std::string& title, const std::string& value,
                        const std::string& data) {
    RegKey account;
    return openAccount(accounts, title, KeyAccess::Write, account) &&
           written(plat::regSetString(account, value, data), value);
}

bool writeAccountDword(const RegKey& accounts, const std::string& title, const std::string& value, std::uint32_t data) {
    RegKey account;
    return openAccount(accounts, title, KeyAccess::Write, account) &&
           written(plat::regSetDword(account, value, data), value);
}

bool createAccountKey(const RegKey& accounts, const std::string& title) {
    RegKey account;
    if (!validTitle(title)) {
        DebugLineStr(LOG_APP, LOG_HIGH, "Account title cannot be stored:", title.c_str());
        return false;
    }
    if (reservedTitle(title)) {
        DebugLineStr(LOG_APP, LOG_HIGH, "Account title is kept for the outgoing mail server:", title.c_str());
        return false;
    }
    if (plat::regOpenSubKey(accounts, title, KeyAccess::Read, account) == RegStatus::Ok) {
        DebugLineStr(LOG_APP, LOG_HIGH, "Account already exists:", title.c_str());
        return false;
    }
    return opened(plat::regOpenSubKey(accounts, title, KeyAccess::Create, account), title);
}

bool deleteAccountKey(const RegKey& accounts, const std::string& title) {
    return validTitle(title) && written(plat::regDeleteTree(accounts, title), title);
}

bool readAccountRecord(const RegKey& accounts, int index, AccountRecord& out) {
    AccountRecord rec;
    RegKey account;
    if (!accountTitle(accounts, index, rec.title)) return false;
    // A key that vanished since the title was read leaves the values empty.
    openAccount(accounts, rec.title, KeyAccess::Read, account);
    auto text = [&](const char* name) { return queryString(account, name, kAccountBuffer).value_or(""); };
    rec.destMailbox = text("destmailbox");
    rec.server = text("server");
    plat::regQueryDword(account, "port", rec.port);
    rec.user = text("user");
    rec.pass = text("pass");
    rec.uidlFile = text("uidlfile");
    plat::regQueryDword(account, "lastcheck", rec.lastCheck);
    if (plat::regQueryDword(account, "security", rec.security) != RegStatus::Ok) rec.security = 0;
    out = std::move(rec);
    return true;
}

// ---- Local POP3 logins

bool accountExists(const std::string& title, const std::string& accountsKey) {
    RegKey account;
    return openLoginAccount(title, accountsKey, account);
}

bool accountPasswordMatches(const std::string& title, const std::string& password, const std::string& accountsKey) {
    RegKey account;
    if (!openLoginAccount(title, accountsKey, account)) return false;
    auto pass = queryString(account, "pass", kLoginBuffer);
    return pass && *pass == password;
}

std::optional<std::string> accountDropDir(const std::string& title, const std::string& accountsKey) {
    RegKey account;
    if (!openLoginAccount(title, accountsKey, account)) return std::nullopt;
    return queryString(account, "dropdir", kLoginBuffer);
}

// ---- Adding an account

bool createAccount(const RegKey& accounts, const NewAccount& a) {
    const std::string mailbox = a.user + "@" + a.server;
    const std::string uidlFile = mailbox + ".uidl";
    const std::string dropDir = "accounts/" + mailbox + "/";
    if (!safeNamePart(a.user) || !safeNamePart(a.server)) {
        DebugLineStr(LOG_APP, LOG_HIGH, "Account mailbox name cannot be a directory:", mailbox.c_str());
        return false;
    }
    if (a.pass.find_first_of("\r\n") != std::string::npos) {
        // It would end the PASS command line early.
        DebugLineStr(LOG_APP, LOG_HIGH, "Account password holds a line end:", a.title.c_str());
        return false;
    }
    for (const std::string* v : {&a.server, &a.user, &a.pass, &uidlFile, &mailbox}) {
        if (v->size() >= kAccountBuffer) {
            DebugLineStr(LOG_APP, LOG_HIGH, "Account value too long to be read back:", a.title.c_str());
            return false;
        }
    }
    if (a.pass.size() >= kLoginBuffer || dropDir.size() >= kLoginBuffer) {
        DebugLineStr(LOG_APP, LOG_HIGH, "Account value too long for the local POP3 server:", a.title.c_str());
        return false;
    }
    if (!createAccountKey(accounts, a.title)) return false;

    const std::string& t = a.title;
    bool ok = writeAccountString(accounts, t, "server", a.server) && writeAccountDword(accounts, t, "port", a.port) &&
              writeAccountString(accounts, t, "user", a.user) && writeAccountString(accounts, t, "pass", a.pass) &&
              writeAccountString(accounts, t, "clientname", a.clientName) &&
              writeAccountString(accounts, t, "clientfile", a.clientFile) &&
              writeAccountString(accounts, t, "altclientfile", "") &&
              writeAccountDword(accounts, t, "useraltclient", 0) &&
              writeAccountString(accounts, t, "uidlfile", uidlFile) &&
              writeAccountString(accounts, t, "destmailbox", mailbox) &&
              writeAccountString(accounts, t, "dropdir", dropDir) &&
              (a.security == 0 || writeAccountDword(accounts, t, "security", a.security));
    if (!ok) {
        // Half an account would be checked and served with empty values.
        deleteAccountKey(accounts, t);
        return false;
    }
    plat::makeDirectory("accounts/" + mailbox);
    return true;
}

}  // namespace config
