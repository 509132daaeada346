// The text form of a registry hive, in the registry editor's export format:
//
//   REGEDIT4
//
//   [HKEY_CURRENT_USER\SOFTWARE\Orrindale Systems\Tarnwick]
//   "outhostname"="mail.example.net"
//   "outhostport"=dword:00000019
//   "Placement"=hex:2c,00,00,00
//
// Strings escape "\" and '"' with a backslash; a string holding control characters is written
// as hex(1): bytes with its terminating NUL, so that every line stays one line.
#pragma once

#include "platform/registry.h"

#include <map>
#include <string>
#include <vector>

namespace plat::hive {

struct Value {
    std::string name;   // "" is the key's default value ("@")
    std::uint32_t type = 0;
    std::string data;   // strings without their NUL; DWORDs as 4 little-endian bytes
};

struct Key {
    std::string path;   // as written, case preserved, without the hive's root name
    std::vector<Value> values;
    Value* find(const std::string& name);
};

// Keys by their path folded to lower case.
struct Hive {
    std::map<std::string, Key> keys;
    Key* find(const std::string& path);
    // Creates the key and every missing parent; answers the key.
    Key& make(const std::string& path);
};

std::string fold(const std::string& s);
// Strips backslashes at both ends; "" is the root of the hive.
std::string normalPath(const std::string& path);

// Parses text whose sections must all lie under rootName ("HKEY_CURRENT_USER").
// False with a reason (and line number) when the text is not a hive file.
bool parse(const std::string& text, const std::string& rootName, Hive& out, std::string& error);

std::string serialize(const Hive& hive, const std::string& rootName);

}  // namespace plat::hive
