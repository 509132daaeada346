#include "pop3/stored_times.h"

#include "pop3/uidl.h"

#include <charconv>

void StoredTimes::load(const std::string& identifierFile) {
    fileName_ = fileFor(identifierFile);
    times_.clear();
    changed_ = false;
    UIDL file;
    file.load(fileName_);
    for (const UIDLEntry& e : file) {
        std::string_view text = e.identifier;
        std::size_t blank = text.find(' ');
        long long t = 0;
        if (blank == std::string_view::npos) continue;
        auto [end, ec] = std::from_chars(text.data(), text.data() + blank, t);
        if (ec != std::errc() || end != text.data() + blank || t < 0) continue;  // damaged: no time known
        times_[std::string(text.substr(blank + 1))] = t;
    }
}

long long StoredTimes::when(const std::string& identifier) const {
    auto it = times_.find(identifier);
    return it == times_.end() ? -1 : it->second;
}

void StoredTimes::note(const std::string& identifier, long long when) {
    auto [it, added] = times_.try_emplace(identifier, when);
    if (!added && it->second == when) return;
    it->second = when;
    changed_ = true;
}

bool StoredTimes::save() {
    if (!changed_ || fileName_.empty()) return true;
    // The list is written whole, through a temporary file renamed over the old one.
    UIDL file;
    file.load(fileName_);
    file.clear();
    for (const auto& [identifier, t] : times_) file.add(std::to_string(t) + " " + identifier, 0, 0);
    if (!file.save()) {
        why_ = file.failure();
        return false;
    }
    changed_ = false;
    return true;
}
