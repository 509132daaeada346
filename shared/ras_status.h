// What both programs may ask of the dial-up networking without dialling: whether it is there
// (an executable nmcli on PATH when the object was built), whether an entry is connected, and
// which entries exist. Each question runs nmcli to its end within a few seconds.
#pragma once

#include <string>
#include <vector>

class RASStatus {
public:
    RASStatus();

    bool loaded() const { return !program_.empty(); }

    // Whether a connection of entry (letter case ignored) is active and activated.
    bool isConnected(const char* entry) const;
    // Replaces names by the entries NetworkManager knows, in its order; false (names left as
    // they were) when they cannot be listed.
    bool listEntries(std::vector<std::string>& names) const;

    // How long one status question may take.
    static constexpr int kQueryTimeoutMs = 5000;

protected:
    const std::string& program() const { return program_; }

private:
    std::string program_;  // the nmcli found on PATH; empty when dial-up networking is missing
};
