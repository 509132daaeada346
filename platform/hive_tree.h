// The in-memory hive: a tree of keys holding typed values. Names are case-insensitive and
// case-preserving; subkeys are ordered by their upper-case names. For the registry's own files.
#pragma once

#include "platform/registry.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace plat::hive {

// The key depth the Windows registry allows; it also bounds the recursion over the tree.
constexpr std::size_t kMaxDepth = 512;

constexpr std::uint32_t kString = static_cast<std::uint32_t>(RegType::String);
constexpr std::uint32_t kBinary = static_cast<std::uint32_t>(RegType::Binary);
constexpr std::uint32_t kDword = static_cast<std::uint32_t>(RegType::Dword);

// Upper case, as the Windows registry compares and orders names (so "_" sorts after letters).
std::string fold(std::string_view s);
bool sameName(std::string_view a, std::string_view b);
// The text format has no way to carry a line end or a NUL in a name.
bool validName(std::string_view s);

// Appends the components of a backslash path to parts; empty components are skipped.
// False for a component that is not a valid name, or for more than kMaxDepth components.
bool splitPath(std::string_view path, std::vector<std::string>& parts);
std::string joinPath(const std::vector<std::string>& parts);

struct Value {
    std::string name;  // as first written
    std::uint32_t type;  // any registry type number; unknown types are kept as they came
    std::string data;  // bytes; a string without its terminating NUL
};

struct Node {
    std::string name;
    std::map<std::string, std::unique_ptr<Node>> subs;  // by folded name: the enumeration order
    std::vector<Value> values;  // in the order they were first written

    Node* sub(std::string_view n) const;
    // The subkey n, made (spelt as n) when absent, which sets created.
    Node& ensure(const std::string& n, bool& created);
    Value* value(std::string_view n);
};

// The node at the first count components of parts below root, null when absent.
Node* findPath(const Node& root, const std::vector<std::string>& parts, std::size_t count);
Node* findPath(const Node& root, const std::vector<std::string>& parts);

// A dword is stored as its four bytes, least significant first; dwordOf reads the first four.
std::string dwordBytes(std::uint32_t v);
std::uint32_t dwordOf(const std::string& b);

// A string value ends at its first NUL, as a C string does.
std::string cutAtNul(std::string s);

}  // namespace plat::hive
