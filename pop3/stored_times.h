// When each message a POP3 account leaves on the server for some days was first stored, kept
// beside its identifier file ("<identifier file>.days", the same file format), one entry per
// message: the time in seconds since 1970 UTC, a blank, the identifier.
//
// A time is written only after the message's identifier is recorded, so a session that ends in
// between leaves a recorded message without one; it is then given the time of the check that
// finds it. Either way a message is removed from the server later than its days, never earlier.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>

class StoredTimes {
public:
    void load(const std::string& identifierFile);
    // When the message was first stored, or -1 when no time is known.
    long long when(const std::string& identifier) const;
    void note(const std::string& identifier, long long when);
    // Forgets every message for which keep answers false.
    template <typename Keep>
    void keepOnly(Keep keep) {
        std::erase_if(times_, [&](const auto& kv) { return !keep(kv.first) && (changed_ = true); });
    }
    // Writes the file when anything changed since it was loaded or saved; false when it could
    // not be written (why() says why).
    bool save();
    std::string why() const { return why_; }
    static std::string fileFor(const std::string& identifierFile) { return identifierFile + ".days"; }

private:
    std::unordered_map<std::string, long long> times_;
    std::string fileName_;
    std::string why_;
    bool changed_ = false;
};
