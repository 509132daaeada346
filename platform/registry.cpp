// The public registry calls over the two hive files: the user's, which they may change, and the
// machine's, which they only read. One mutex serialises every call within the process; the
// writers' lock serialises writers across processes.
#include "platform/registry.h"

#include "platform/hive_file.h"
#include "platform/hive_tree.h"
#include "platform/paths.h"

#include <cstdlib>
#include <cstring>
#include <iterator>
#include <mutex>
#include <utility>

namespace plat {
namespace {

using hive::cutAtNul;
using hive::dwordBytes;
using hive::dwordOf;
using hive::findPath;
using hive::fold;
using hive::HiveFile;
using hive::HiveLock;
using hive::HiveState;
using hive::joinPath;
using hive::kBinary;
using hive::kDword;
using hive::kString;
using hive::Node;
using hive::sameName;
using hive::splitPath;
using hive::validName;
using hive::Value;

constexpr char kUserRoot[] = "HKEY_CURRENT_USER";
constexpr char kMachineRoot[] = "HKEY_LOCAL_MACHINE";

// All guarded by g_mutex.
std::mutex g_mutex;
std::string g_lastProblem;
HiveFile g_user(kUserRoot, HiveFile::Owner::Ours, g_lastProblem);
HiveFile g_machine(kMachineRoot, HiveFile::Owner::Others, g_lastProblem);

// Runs change on a freshly read user tree under the writers' lock and writes the result when
// change answers Ok and says it changed something. change must leave the tree alone otherwise.
template <typename Change>
RegStatus mutateUser(Change&& change) {
    std::lock_guard<std::mutex> guard(g_mutex);
    std::string path = userHivePath();
    HiveLock lock(path);
    if (!lock.held()) return RegStatus::IoError;
    g_user.refresh(path, HiveFile::Reread::Always);
    if (g_user.state() == HiveState::Unusable) return RegStatus::IoError;
    if (g_user.state() == HiveState::Unparsable) return RegStatus::Unparsable;
    bool changed = false;
    RegStatus st = change(g_user.tree(), changed);
    if (st != RegStatus::Ok || !changed) return st;
    if (!g_user.write()) {
        g_user.forget();  // the tree holds an unwritten change: read the file again
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
    h.refresh(isUser ? userHivePath() : machineHivePath(), HiveFile::Reread::IfChanged);
    return look(static_cast<const Node&>(h.tree()));
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

// Whether the key exists in the hive as last read. Opening a key that exists, even with create,
// only reads: a user's hive that cannot be parsed still serves its last good contents to a
// reader that opens a key for writing and then only reads it.
bool keyExists(Hive hive, const std::vector<std::string>& parts) {
    return readHive(hive, [&](const Node& root) {
               return findPath(root, parts) ? RegStatus::Ok : RegStatus::NotFound;
           }) == RegStatus::Ok;
}

// Runs change on the node of a writable key that still exists.
template <typename Change>
RegStatus changeKey(const RegKey& key, Change&& change) {
    std::vector<std::string> parts;
    if (!key.isOpen() || !splitPath(key.path(), parts)) return RegStatus::NotFound;
    if (key.hive() != Hive::CurrentUser || !key.writable()) return RegStatus::AccessDenied;
    return mutateUser([&](Node& root, bool& changed) {
        Node* n = findPath(root, parts);
        return n ? change(*n, changed) : RegStatus::NotFound;  // a vanished key stays vanished
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

RegStatus regOpenKey(Hive hive, const std::string& path, KeyAccess access, RegKey& out) {
    bool write = access != KeyAccess::Read;
    bool create = access == KeyAccess::Create;
    std::vector<std::string> parts;
    bool valid = splitPath(path, parts);
    out = RegKey();
    if (!valid) return RegStatus::InvalidName;
    RegStatus st;
    if (hive == Hive::LocalMachine && write) {
        st = RegStatus::AccessDenied;
    } else if (create && !keyExists(hive, parts)) {
        st = mutateUser([&](Node& root, bool& changed) {
            Node* n = &root;
            for (const auto& p : parts) n = &n->ensure(p, changed);
            return RegStatus::Ok;
        });
    } else {
        st = keyExists(hive, parts) ? RegStatus::Ok : RegStatus::NotFound;
    }
    if (st != RegStatus::Ok) return st;
    out.hive_ = hive;
    out.path_ = joinPath(parts);
    out.writable_ = write;
    out.open_ = true;
    return RegStatus::Ok;
}

RegStatus regOpenSubKey(const RegKey& parent, const std::string& name, KeyAccess access, RegKey& out) {
    if (!parent.isOpen()) {
        out = RegKey();
        return RegStatus::NotFound;
    }
    std::string path = parent.path() + "\\" + name;  // a copy: out may be parent
    return regOpenKey(parent.hive(), path, access, out);
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

std::string userHiveProblem() {
    std::lock_guard<std::mutex> guard(g_mutex);
    g_user.refresh(userHivePath(), HiveFile::Reread::IfChanged);
    return g_user.problem();
}

}  // namespace plat
