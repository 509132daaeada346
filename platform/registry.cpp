#include "platform/registry.h"

#include "platform/files.h"
#include "platform/paths.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <memory>
#include <mutex>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace plat {
namespace {

// Far beyond any real hive; bounds the memory a stray file can make us use.
constexpr std::size_t kMaxHiveBytes = std::size_t{16} << 20;
// The key depth the Windows registry allows; it also bounds the recursion over the tree.
constexpr std::size_t kMaxDepth = 512;
constexpr std::size_t kMaxBadNames = 1000;

constexpr char kUserRoot[] = "HKEY_CURRENT_USER";
constexpr char kMachineRoot[] = "HKEY_LOCAL_MACHINE";
constexpr std::uint32_t kString = static_cast<std::uint32_t>(RegType::String);
constexpr std::uint32_t kBinary = static_cast<std::uint32_t>(RegType::Binary);
constexpr std::uint32_t kDword = static_cast<std::uint32_t>(RegType::Dword);

// ---------------------------------------------------------------- names and the tree

// Upper case, as the Windows registry compares and orders names (so "_" sorts after letters).
std::string fold(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && fold(a) == fold(b);
}

// The text format has no way to carry a line end or a NUL in a name.
bool validName(std::string_view s) {
    return s.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

// Appends the components of a backslash path to parts; empty components are skipped.
bool splitPath(std::string_view path, std::vector<std::string>& parts) {
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('\\', start);
        if (end == std::string_view::npos) end = path.size();
        std::string_view part = path.substr(start, end - start);
        if (!part.empty()) {
            if (!validName(part) || parts.size() >= kMaxDepth) return false;
            parts.emplace_back(part);
        }
        start = end + 1;
    }
    return true;
}

std::string joinPath(const std::vector<std::string>& parts) {
    std::string out;
    for (const auto& p : parts) {
        if (!out.empty()) out += '\\';
        out += p;
    }
    return out;
}

struct Value {
    std::string name;     // as first written
    std::uint32_t type;   // any registry type number; unknown types are kept as they came
    std::string data;     // bytes; a string without its terminating NUL
};

struct Node {
    std::string name;
    std::map<std::string, std::unique_ptr<Node>> subs;   // by folded name: the enumeration order
    std::vector<Value> values;                           // in the order they were first written

    Node* sub(std::string_view n) const {
        auto it = subs.find(fold(n));
        return it == subs.end() ? nullptr : it->second.get();
    }
    Node& ensure(const std::string& n, bool& created) {
        auto& slot = subs[fold(n)];
        if (!slot) {
            slot = std::make_unique<Node>();
            slot->name = n;
            created = true;
        }
        return *slot;
    }
    Value* value(std::string_view n) {
        for (auto& v : values)
            if (sameName(v.name, n)) return &v;
        return nullptr;
    }
};

Node* findPath(const Node& root, const std::vector<std::string>& parts, std::size_t count) {
    Node* n = const_cast<Node*>(&root);
    for (std::size_t i = 0; i < count && n; ++i) n = n->sub(parts[i]);
    return n;
}

Node* findPath(const Node& root, const std::vector<std::string>& parts) {
    return findPath(root, parts, parts.size());
}

std::string dwordBytes(std::uint32_t v) {
    std::string b(4, '\0');
    for (int i = 0; i < 4; ++i) b[i] = static_cast<char>((v >> (8 * i)) & 0xff);
    return b;
}

std::uint32_t dwordOf(const std::string& b) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[i]);
    return v;
}

// A string value ends at its first NUL, as a C string does.
std::string cutAtNul(std::string s) {
    std::size_t nul = s.find('\0');
    if (nul != std::string::npos) s.resize(nul);
    return s;
}

// ---------------------------------------------------------------- the text format

bool isSpace(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && isSpace(s.back())) s.remove_suffix(1);
    return s;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && sameName(s.substr(0, prefix.size()), prefix);
}

// Reads 1 to 8 hex digits from the front of s.
bool readHexNumber(std::string_view& s, std::uint32_t& out) {
    std::size_t n = 0;
    out = 0;
    while (n < s.size() && hexDigit(s[n]) >= 0) {
        if (++n > 8) return false;
        out = (out << 4) | static_cast<std::uint32_t>(hexDigit(s[n - 1]));
    }
    s.remove_prefix(n);
    return n > 0;
}

// Reads the hive text line by line; every failure names its line.
class Parser {
public:
    Parser(std::string_view text, const char* root) : text_(text), root_(root) {}

    bool run(Node& tree) {
        if (text_.substr(0, 3) == "\xEF\xBB\xBF") text_.remove_prefix(3);
        std::string_view line;
        bool header = false;
        Node* key = nullptr;
        while (nextLine(line)) {
            line = trim(line);
            if (line.empty() || line.front() == ';') continue;
            if (!header) {
                if (line != "REGEDIT4") return fail("not a registry file (no REGEDIT4 line)");
                header = true;
            } else if (line.front() == '[') {
                if (!section(tree, line, key)) return false;
            } else if (line.front() == '"' || line.front() == '@') {
                if (!key) return fail("a value before the first [key] line");
                if (!value(*key, line)) return false;
            } else {
                return fail("a line that is neither a [key] nor a value");
            }
        }
        return true;
    }

    const std::string& error() const { return error_; }

private:
    bool nextLine(std::string_view& line) {
        if (pos_ >= text_.size()) return false;
        std::size_t end = text_.find('\n', pos_);
        if (end == std::string_view::npos) end = text_.size();
        line = text_.substr(pos_, end - pos_);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        pos_ = end + 1;
        ++lineNo_;
        return true;
    }

    bool fail(const std::string& what) {
        error_ = "line " + std::to_string(lineNo_) + ": " + what;
        return false;
    }

    bool section(Node& tree, std::string_view line, Node*& key) {
        if (line.size() < 2 || line.back() != ']') return fail("a [key] line without its ']'");
        std::string_view path = line.substr(1, line.size() - 2);
        if (!path.empty() && path.front() == '-') return fail("key deletion is not supported");
        std::size_t slash = path.find('\\');
        if (!sameName(path.substr(0, slash), root_)) return fail(std::string("a key outside ") + root_);
        std::vector<std::string> parts;
        if (slash != std::string_view::npos) {
            std::string_view rest = path.substr(slash + 1);
            if (rest.empty() || rest.back() == '\\' || rest.find("\\\\") != std::string_view::npos)
                return fail("an empty key name");
            if (!splitPath(rest, parts)) return fail("a key name holding a NUL, or more than 512 levels");
        }
        key = &tree;
        bool created = false;
        for (const auto& p : parts) key = &key->ensure(p, created);
        return true;
    }

    // A quoted name or string at the front of s, with \\ and \" as its only escapes.
    bool quoted(std::string_view& s, std::string& out) {
        for (std::size_t i = 1; i < s.size(); ++i) {
            char c = s[i];
            if (c == '"') {
                s.remove_prefix(i + 1);
                return true;
            }
            if (c == '\\') {
                if (++i == s.size() || (s[i] != '\\' && s[i] != '"'))
                    return fail("a backslash that escapes neither \\ nor \"");
                c = s[i];
            }
            out += c;
        }
        return fail("a string without its closing quote");
    }

    bool value(Node& key, std::string_view s) {
        Value v{{}, kString, {}};
        if (s.front() == '@') {
            s.remove_prefix(1);
        } else if (!quoted(s, v.name)) {
            return false;
        }
        s = trim(s);
        if (s.empty() || s.front() != '=') return fail("a value name without '='");
        s = trim(s.substr(1));
        if (!s.empty() && s.front() == '"') {
            if (!quoted(s, v.data)) return false;
            if (!trim(s).empty()) return fail("text after a string value");
            v.data = cutAtNul(std::move(v.data));
        } else if (startsWithNoCase(s, "dword:")) {
            s.remove_prefix(6);
            std::uint32_t n = 0;
            if (!readHexNumber(s, n) || !trim(s).empty()) return fail("a dword that is not 1 to 8 hex digits");
            v.type = kDword;
            v.data = dwordBytes(n);
        } else if (startsWithNoCase(s, "hex")) {
            if (!hex(s.substr(3), v)) return false;
        } else if (s == "-") {
            return fail("value deletion is not supported");
        } else {
            return fail("a value of unknown form");
        }
        if (!validName(v.name)) return fail("a value name holding a NUL");
        if (Value* old = key.value(v.name)) *old = std::move(v);
        else key.values.push_back(std::move(v));
        return true;
    }

    // hex:01,02 or hex(N):01,02, continued over lines that end in a backslash.
    bool hex(std::string_view s, Value& v) {
        v.type = kBinary;
        if (!s.empty() && s.front() == '(') {
            s.remove_prefix(1);
            if (!readHexNumber(s, v.type) || s.empty() || s.front() != ')') return fail("a bad hex(type)");
            s.remove_prefix(1);
        }
        if (s.empty() || s.front() != ':') return fail("hex without ':'");
        std::string list(s.substr(1));
        std::string_view more;
        for (std::string_view t = trim(list); !t.empty() && t.back() == '\\'; t = trim(list)) {
            list.resize(list.rfind('\\'));
            if (!nextLine(more)) return fail("a continued hex value at the end of the file");
            list += trim(more);
        }
        std::string_view rest = list;
        for (;;) {
            rest = trim(rest);
            if (rest.empty()) break;
            std::size_t n = 0;
            unsigned byte = 0;
            while (n < rest.size() && n < 3 && hexDigit(rest[n]) >= 0) byte = byte * 16 + hexDigit(rest[n++]);
            if (n == 0 || n > 2) return fail("a hex byte that is not one or two hex digits");
            v.data += static_cast<char>(byte);
            rest = trim(rest.substr(n));
            if (rest.empty()) break;
            if (rest.front() != ',') return fail("hex bytes not separated by commas");
            rest.remove_prefix(1);
        }
        if (v.type == kString) v.data = cutAtNul(std::move(v.data));
        return true;
    }

    std::string_view text_;
    const char* root_;
    std::size_t pos_ = 0;
    int lineNo_ = 0;
    std::string error_;
};

void appendQuoted(std::string& out, std::string_view s) {
    out += '"';
    for (char c : s) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    out += '"';
}

// Comma-separated bytes, wrapped like the registry editor's exports.
void appendHex(std::string& out, std::string_view bytes, std::size_t lineStart) {
    static const char digits[] = "0123456789abcdef";
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        auto b = static_cast<unsigned char>(bytes[i]);
        out += digits[b >> 4];
        out += digits[b & 15];
        if (i + 1 == bytes.size()) break;
        out += ',';
        if (out.size() - lineStart > 76) {
            out += "\\\n  ";
            lineStart = out.size() - 2;
        }
    }
}

void appendValue(std::string& out, const Value& v) {
    std::size_t lineStart = out.size();
    if (v.name.empty()) out += '@';
    else appendQuoted(out, v.name);
    out += '=';
    if (v.type == kString && v.data.find_first_of("\r\n") == std::string::npos) {
        appendQuoted(out, v.data);
    } else if (v.type == kDword && v.data.size() == 4) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "dword:%08x", static_cast<unsigned>(dwordOf(v.data)));
        out += buf;
    } else {
        // A string with line ends travels as hex(1) with its NUL, which the editor also reads.
        char buf[24];
        if (v.type == kBinary) std::snprintf(buf, sizeof buf, "hex:");
        else std::snprintf(buf, sizeof buf, "hex(%x):", static_cast<unsigned>(v.type));
        out += buf;
        appendHex(out, v.type == kString ? v.data + '\0' : v.data, lineStart);
    }
    out += '\n';
}

// A key gets a section of its own when it has values or when nothing below it implies it.
void appendKey(std::string& out, const Node& node, std::string& path, bool isRoot) {
    if (!node.values.empty() || (node.subs.empty() && !isRoot)) {
        out += '[' + path + "]\n";
        for (const auto& v : node.values) appendValue(out, v);
        out += '\n';
    }
    for (const auto& [folded, sub] : node.subs) {
        std::size_t len = path.size();
        path += '\\';
        path += sub->name;
        appendKey(out, *sub, path, false);
        path.resize(len);
    }
}

std::string formatHive(const Node& root, const char* rootName) {
    std::string out = "REGEDIT4\n\n";
    std::string path = rootName;
    appendKey(out, root, path, true);
    return out;
}

// ---------------------------------------------------------------- the hive files

struct FileId {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    long mtimeSec = 0, mtimeNsec = 0, ctimeSec = 0, ctimeNsec = 0;
    bool operator==(const FileId&) const = default;
};

FileId idOf(const struct stat& st) {
    return {st.st_dev, st.st_ino, st.st_size, st.st_mtim.tv_sec, st.st_mtim.tv_nsec,
            st.st_ctim.tv_sec, st.st_ctim.tv_nsec};
}

enum class HiveState { Empty, Loaded, Unusable };

// What one hive file held when this process last read it.
struct HiveFile {
    std::string path;
    bool known = false;   // state and tree describe the file as identified by id (or its absence)
    bool missing = true;
    FileId id;
    HiveState state = HiveState::Empty;
    Node root;
    // The file last read stays open, so that its inode number cannot be reused by a later
    // file while we compare against it.
    int pinFd = -1;
    bool reported = false;
    FileId reportedId;
};

std::mutex g_mutex;
HiveFile g_user;
HiveFile g_machine;
std::string g_lastProblem;

void report(const std::string& text) {
    g_lastProblem = text;
    std::fprintf(stderr, "tarnwick: %s\n", text.c_str());
}

void resetTo(HiveFile& h, HiveState state) {
    h.root = Node();
    if (h.pinFd >= 0) ::close(h.pinFd);
    h.pinFd = -1;
    h.state = state;
}

void markMissing(HiveFile& h) {
    resetTo(h, HiveState::Empty);
    h.known = true;
    h.missing = true;
}

// A file we cannot read or cannot move aside: reads see an empty hive, writes fail.
void markUnusable(HiveFile& h, const FileId& id, const std::string& why) {
    resetTo(h, HiveState::Unusable);
    h.known = true;
    h.missing = false;
    h.id = id;
    if (!h.reported || !(h.reportedId == id)) {
        report("the registry file " + h.path + " cannot be used (" + why + "); it is left as it is");
        h.reported = true;
        h.reportedId = id;
    }
}

// The writers' lock, user.reg.lock beside the hive, held for one scope.
class HiveLock {
public:
    explicit HiveLock(const std::string& hivePath) {
        fd_ = ::open((hivePath + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd_ < 0) return;
        while (::flock(fd_, LOCK_EX) != 0) {
            if (errno != EINTR) {
                ::close(fd_);
                fd_ = -1;
                return;
            }
        }
    }
    ~HiveLock() {
        if (fd_ >= 0) ::close(fd_);   // closing drops the lock
    }
    HiveLock(const HiveLock&) = delete;
    HiveLock& operator=(const HiveLock&) = delete;
    bool held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// Moves the file to the first free name of path.bad, path.bad.1, ... without replacing any.
int moveAside(const std::string& path, std::string& target) {
    for (std::size_t n = 0; n < kMaxBadNames; ++n) {
        target = path + ".bad" + (n ? "." + std::to_string(n) : std::string());
        int err = moveFileNoReplace(path, target);
        if (err != EEXIST) return err;
    }
    return EEXIST;
}

// Keeps an unparsable user hive aside. False when the file changed meanwhile (read it again).
bool quarantine(HiveFile& h, int fd, const FileId& id, const std::string& why, bool lockHeld) {
    std::unique_ptr<HiveLock> lock;
    if (!lockHeld) {
        // Under the writers' lock no writer can rename a good file into place while we move.
        lock = std::make_unique<HiveLock>(h.path);
        if (!lock->held()) {
            ::close(fd);
            markUnusable(h, id, why + "; the lock file cannot be opened");
            return true;
        }
    }
    struct stat st{};
    if (::stat(h.path.c_str(), &st) != 0 || !(idOf(st) == id)) {
        ::close(fd);
        return false;
    }
    std::string target;
    int err = moveAside(h.path, target);
    ::close(fd);
    if (err != 0) {
        markUnusable(h, id, why + "; it cannot be moved aside: " + std::strerror(err));
        return true;
    }
    syncDirectoryOf(h.path);
    report("the registry file " + h.path + " cannot be parsed (" + why + "); it is kept as " + target +
           " and the registry starts empty");
    markMissing(h);
    return true;
}

// Reads the whole file, at most kMaxHiveBytes + 1 bytes. Returns 0 or the errno value.
int readAll(int fd, std::string& text) {
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return 0;
        text.append(buf, static_cast<std::size_t>(n));
        if (text.size() > kMaxHiveBytes) return 0;
    }
}

// Brings h up to date with the file at path. Readers re-read only a changed file; writers
// (force) always re-read, under the writers' lock (lockHeld).
void refresh(HiveFile& h, const std::string& path, bool isUser, bool force, bool lockHeld) {
    if (h.path != path) {
        resetTo(h, HiveState::Empty);
        h = HiveFile();
        h.path = path;
    }
    for (int attempt = 0; attempt < 5; ++attempt) {
        struct stat st{};
        if (::stat(path.c_str(), &st) != 0) {
            if (errno == ENOENT) markMissing(h);
            else markUnusable(h, FileId(), std::strerror(errno));
            return;
        }
        if (!force && h.known && !h.missing && h.id == idOf(st)) return;
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            if (errno == ENOENT) continue;
            markUnusable(h, idOf(st), std::strerror(errno));
            return;
        }
        // Identify what was opened, not what the name meant a moment earlier.
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd);
            markUnusable(h, idOf(st), "not a regular file");
            return;
        }
        FileId id = idOf(st);
        std::string text;
        if (int err = readAll(fd, text)) {
            ::close(fd);
            markUnusable(h, id, std::strerror(err));
            return;
        }
        Node tree;
        Parser parser(text, isUser ? kUserRoot : kMachineRoot);
        std::string why;
        if (text.size() > kMaxHiveBytes) why = "larger than 16 MiB";
        else if (!parser.run(tree)) why = parser.error();
        if (why.empty()) {
            resetTo(h, HiveState::Loaded);
            h.root = std::move(tree);
            h.pinFd = fd;
            h.known = true;
            h.missing = false;
            h.id = id;
            return;
        }
        if (!isUser) {
            // Not ours to move: ignore it until it changes.
            ::close(fd);
            markUnusable(h, id, why);
            return;
        }
        if (quarantine(h, fd, id, why, lockHeld)) return;
    }
    markUnusable(h, FileId(), "it keeps changing while it is read");
}

// Writes the tree to a flushed temporary file and renames it over the hive.
bool writeHive(HiveFile& h) {
    std::string text = formatHive(h.root, kUserRoot);
    std::string tmp = h.path + ".tmp.XXXXXX";
    int fd = ::mkostemp(tmp.data(), O_CLOEXEC);   // mode 0600: the hive holds passwords
    if (fd < 0) return false;
    std::size_t done = 0;
    bool ok = true;
    while (ok && done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) ok = false;
        else done += static_cast<std::size_t>(n);
    }
    if (!ok || ::fsync(fd) != 0 || ::rename(tmp.c_str(), h.path.c_str()) != 0) {
        ::close(fd);
        ::unlink(tmp.c_str());
        return false;
    }
    syncDirectoryOf(h.path);
    struct stat st{};
    if (h.pinFd >= 0) ::close(h.pinFd);
    h.pinFd = fd;
    h.state = HiveState::Loaded;
    h.known = ::fstat(fd, &st) == 0;   // after the rename, which changes the file's ctime
    h.missing = false;
    h.id = idOf(st);
    return true;
}

// Runs change on a freshly read user tree under the writers' lock and writes the result when
// change answers Ok and says it changed something. change must leave the tree alone otherwise.
template <typename Change>
RegStatus mutateUser(Change&& change) {
    std::lock_guard<std::mutex> guard(g_mutex);
    std::string path = userHivePath();
    HiveLock lock(path);
    if (!lock.held()) return RegStatus::IoError;
    refresh(g_user, path, true, true, true);
    if (g_user.state == HiveState::Unusable) return RegStatus::IoError;
    bool changed = false;
    RegStatus st = change(g_user.root, changed);
    if (st != RegStatus::Ok || !changed) return st;
    if (!writeHive(g_user)) {
        g_user.known = false;   // the tree holds an unwritten change: read the file again
        return RegStatus::IoError;
    }
    return RegStatus::Ok;
}

// Runs look on the current tree of hive.
template <typename Look>
RegStatus readHive(Hive hive, Look&& look) {
    std::lock_guard<std::mutex> guard(g_mutex);
    bool isUser = hive == Hive::CurrentUser;
    HiveFile& h = isUser ? g_user : g_machine;
    refresh(h, isUser ? userHivePath() : machineHivePath(), isUser, false, false);
    return look(static_cast<const Node&>(h.root));
}

// Runs use on the value name of key.
template <typename Use>
RegStatus withValue(const RegKey& key, const std::string& name, Use&& use) {
    std::vector<std::string> parts;
    if (!key.isOpen() || !splitPath(key.path(), parts)) return RegStatus::NotFound;
    return readHive(key.hive(), [&](const Node& root) {
        Node* n = findPath(root, parts);
        Value* v = n ? n->value(name) : nullptr;
        return v ? use(static_cast<const Value&>(*v)) : RegStatus::NotFound;
    });
}

// Runs change on the node of a writable key that still exists.
template <typename Change>
RegStatus changeKey(const RegKey& key, Change&& change) {
    std::vector<std::string> parts;
    if (!key.isOpen() || !splitPath(key.path(), parts)) return RegStatus::NotFound;
    if (key.hive() != Hive::CurrentUser || !key.writable()) return RegStatus::AccessDenied;
    return mutateUser([&](Node& root, bool& changed) {
        Node* n = findPath(root, parts);
        return n ? change(*n, changed) : RegStatus::NotFound;   // a vanished key stays vanished
    });
}

RegStatus setValue(const RegKey& key, const std::string& name, std::uint32_t type, std::string data) {
    if (!validName(name)) return RegStatus::InvalidName;
    return changeKey(key, [&](Node& n, bool& changed) {
        Value* v = n.value(name);
        if (!v) {
            n.values.push_back({name, type, std::move(data)});
            changed = true;
        } else if (v->type != type || v->data != data) {
            v->type = type;
            v->data = std::move(data);
            changed = true;
        }
        return RegStatus::Ok;
    });
}

}  // namespace

// ---------------------------------------------------------------- the interface

RegStatus regOpenKey(Hive hive, const std::string& path, bool write, bool create, RegKey& out) {
    std::vector<std::string> parts;
    bool valid = splitPath(path, parts);
    out = RegKey();
    if (!valid) return RegStatus::InvalidName;
    RegStatus st;
    if (hive == Hive::LocalMachine && (write || create)) {
        st = RegStatus::AccessDenied;
    } else if (create) {
        st = mutateUser([&](Node& root, bool& changed) {
            Node* n = &root;
            for (const auto& p : parts) n = &n->ensure(p, changed);
            return RegStatus::Ok;
        });
    } else {
        st = readHive(hive, [&](const Node& root) {
            return findPath(root, parts) ? RegStatus::Ok : RegStatus::NotFound;
        });
    }
    if (st != RegStatus::Ok) return st;
    out.hive_ = hive;
    out.path_ = joinPath(parts);
    out.writable_ = write;
    out.open_ = true;
    return RegStatus::Ok;
}

RegStatus regOpenSubKey(const RegKey& parent, const std::string& name, bool write, bool create,
                        RegKey& out) {
    if (!parent.isOpen()) {
        out = RegKey();
        return RegStatus::NotFound;
    }
    std::string path = parent.path() + "\\" + name;   // a copy: out may be parent
    return regOpenKey(parent.hive(), path, write, create, out);
}

RegStatus regQueryString(const RegKey& key, const std::string& name, char* buf, std::size_t capacity) {
    if (buf && capacity) buf[0] = '\0';
    return withValue(key, name, [&](const Value& v) {
        if (v.type != kString) return RegStatus::WrongType;
        if (!buf || v.data.size() >= capacity) return RegStatus::MoreData;
        std::memcpy(buf, v.data.data(), v.data.size());
        buf[v.data.size()] = '\0';
        return RegStatus::Ok;
    });
}

RegStatus regQueryDword(const RegKey& key, const std::string& name, std::uint32_t& value) {
    return withValue(key, name, [&](const Value& v) {
        if (v.type != kDword || v.data.size() != 4) return RegStatus::WrongType;
        value = dwordOf(v.data);
        return RegStatus::Ok;
    });
}

RegStatus regQueryBinary(const RegKey& key, const std::string& name, void* buf, std::size_t capacity,
                         std::size_t& size) {
    size = 0;
    return withValue(key, name, [&](const Value& v) {
        if (v.type != kBinary) return RegStatus::WrongType;
        size = v.data.size();
        if (size > capacity || (size && !buf)) return RegStatus::MoreData;
        if (size) std::memcpy(buf, v.data.data(), size);
        return RegStatus::Ok;
    });
}

RegStatus regQueryInfo(const RegKey& key, const std::string& name, RegType& type, std::size_t& size) {
    return withValue(key, name, [&](const Value& v) {
        type = static_cast<RegType>(v.type);
        size = v.data.size() + (v.type == kString ? 1 : 0);
        return RegStatus::Ok;
    });
}

RegStatus regSetString(const RegKey& key, const std::string& name, const std::string& value) {
    return setValue(key, name, kString, cutAtNul(value));
}

RegStatus regSetDword(const RegKey& key, const std::string& name, std::uint32_t value) {
    return setValue(key, name, kDword, dwordBytes(value));
}

RegStatus regSetBinary(const RegKey& key, const std::string& name, const void* data, std::size_t size) {
    if (size && !data) return RegStatus::InvalidName;
    return setValue(key, name, kBinary, size ? std::string(static_cast<const char*>(data), size) : std::string());
}

RegStatus regDeleteValue(const RegKey& key, const std::string& name) {
    return changeKey(key, [&](Node& n, bool& changed) {
        for (auto it = n.values.begin(); it != n.values.end(); ++it) {
            if (sameName(it->name, name)) {
                n.values.erase(it);
                changed = true;
                return RegStatus::Ok;
            }
        }
        return RegStatus::NotFound;
    });
}

RegStatus regCountSubKeys(const RegKey& key, std::uint32_t& count) {
    count = 0;
    std::vector<std::string> parts;
    if (!key.isOpen() || !splitPath(key.path(), parts)) return RegStatus::NotFound;
    return readHive(key.hive(), [&](const Node& root) {
        Node* n = findPath(root, parts);
        if (!n) return RegStatus::NotFound;
        count = static_cast<std::uint32_t>(n->subs.size());
        return RegStatus::Ok;
    });
}

RegStatus regEnumSubKey(const RegKey& key, std::uint32_t index, char* buf, std::size_t capacity) {
    if (buf && capacity) buf[0] = '\0';
    std::vector<std::string> parts;
    if (!key.isOpen() || !splitPath(key.path(), parts)) return RegStatus::NotFound;
    return readHive(key.hive(), [&](const Node& root) {
        Node* n = findPath(root, parts);
        if (!n || index >= n->subs.size()) return RegStatus::NotFound;
        const std::string& name = std::next(n->subs.begin(), index)->second->name;
        if (!buf || name.size() >= capacity) return RegStatus::MoreData;
        std::memcpy(buf, name.c_str(), name.size() + 1);
        return RegStatus::Ok;
    });
}

RegStatus regDeleteTree(const RegKey& key, const std::string& name) {
    std::vector<std::string> sub;
    if (!splitPath(name, sub) || sub.empty()) return RegStatus::InvalidName;
    return changeKey(key, [&](Node& n, bool& changed) {
        Node* parent = findPath(n, sub, sub.size() - 1);
        if (!parent || parent->subs.erase(fold(sub.back())) == 0) return RegStatus::NotFound;
        changed = true;
        return RegStatus::Ok;
    });
}

std::string userHivePath() {
    return configDir() + "/user.reg";
}

std::string machineHivePath() {
    const char* env = std::getenv("TARNWICK_MACHINE_REG");
    return (env && *env) ? std::string(env) : std::string("/etc/xdg/tarnwick/machine.reg");
}

std::string lastHiveProblem() {
    std::lock_guard<std::mutex> guard(g_mutex);
    return g_lastProblem;
}

}  // namespace plat
