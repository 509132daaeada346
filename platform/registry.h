// The registry: HKEY_CURRENT_USER as the text hive $XDG_CONFIG_HOME/tarnwick/user.reg,
// HKEY_LOCAL_MACHINE read-only from /etc/xdg/tarnwick/machine.reg.
//
// Key and value names are case-insensitive and case-preserving; subkeys enumerate sorted by
// name without regard to case. Writers lock user.reg.lock, re-read the file, change it and
// rename a flushed temporary file over it; readers re-read the file whenever it has changed.
// A hive file that cannot be parsed is never overwritten and stays where it is: a copy is kept
// as user.reg.bad (user.reg.bad.1, ... for other contents), reads see its last contents that
// could be parsed (or an empty hive), writes answer Unparsable until the file changes, and the
// problem is reported on standard error and by lastHiveProblem.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace plat {

enum class Hive { CurrentUser, LocalMachine };

enum class RegType : std::uint32_t { None = 0, String = 1, Binary = 3, Dword = 4 };

enum class RegStatus {
    Ok,
    NotFound,  // key or value absent
    MoreData,  // the value does not fit the buffer (the caller's fall-back applies)
    WrongType,
    AccessDenied,  // writing a read-only key or hive
    IoError,  // the hive file could not be written
    Unparsable,  // the user's hive file cannot be parsed: nothing is written until it changes
    InvalidName,  // a name the hive cannot hold: a line end or NUL in it, a key path deeper than
    // 512 levels, an empty subkey name to delete
};

// How a key is opened: to read it, to write a key that exists, or to write it, made with its
// parents when absent.
enum class KeyAccess { Read, Write, Create };

// An open key: the hive and the key path ("SOFTWARE\Orrindale Systems\Tarnwick").
// A key name is data: it never becomes a file path.
class RegKey {
public:
    RegKey() = default;
    bool isOpen() const { return open_; }
    const std::string& path() const { return path_; }
    Hive hive() const { return hive_; }
    bool writable() const { return writable_; }

private:
    friend RegStatus regOpenKey(Hive, const std::string&, KeyAccess, RegKey&);
    friend RegStatus regOpenSubKey(const RegKey&, const std::string&, KeyAccess, RegKey&);
    Hive hive_ = Hive::CurrentUser;
    std::string path_;
    bool writable_ = false;
    bool open_ = false;
};

// Opens a key; Create makes it (and its parents) when absent.
RegStatus regOpenKey(Hive hive, const std::string& path, KeyAccess access, RegKey& out);
RegStatus regOpenSubKey(const RegKey& parent, const std::string& name, KeyAccess access, RegKey& out);

// Reads a string into buf of capacity bytes, NUL included: MoreData when it does not fit.
RegStatus regQueryString(const RegKey& key, const std::string& name, char* buf, std::size_t capacity);
RegStatus regQueryDword(const RegKey& key, const std::string& name, std::uint32_t& value);
// Reads binary data of at most capacity bytes; size receives the stored length.
RegStatus regQueryBinary(const RegKey& key, const std::string& name, void* buf, std::size_t capacity,
                         std::size_t& size);
// The stored type and size of a value (strings: length + 1).
RegStatus regQueryInfo(const RegKey& key, const std::string& name, RegType& type, std::size_t& size);

RegStatus regSetString(const RegKey& key, const std::string& name, const std::string& value);
RegStatus regSetDword(const RegKey& key, const std::string& name, std::uint32_t value);
RegStatus regSetBinary(const RegKey& key, const std::string& name, const void* data, std::size_t size);
RegStatus regDeleteValue(const RegKey& key, const std::string& name);

// Direct subkeys: their number, and the name of the one at index (sorted without regard to
// case), copied into buf of capacity bytes (MoreData when it does not fit, NotFound past the end).
RegStatus regCountSubKeys(const RegKey& key, std::uint32_t& count);
RegStatus regEnumSubKey(const RegKey& key, std::uint32_t index, char* buf, std::size_t capacity);
// Deletes the subkey name of key with its whole subtree.
RegStatus regDeleteTree(const RegKey& key, const std::string& name);

// Where the current user's hive lives (for tests and diagnostics).
std::string userHivePath();
// Where the machine hive is read from: $TARNWICK_MACHINE_REG, else /etc/xdg/tarnwick/machine.reg.
std::string machineHivePath();
// A description of the last unreadable hive file found by this process, empty if none.
std::string lastHiveProblem();
// What is wrong with the user's hive file now (it is read again if it changed): its path, the
// line and the fault; empty while the file is fine or absent.
std::string userHiveProblem();

}  // namespace plat
