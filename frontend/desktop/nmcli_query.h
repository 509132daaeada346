// The two questions the front end asks NetworkManager's nmcli (is the dial-up entry's line up,
// which entries exist), run through QProcess on the loop: the answer comes back as a call from
// the loop, and the GUI thread never waits for nmcli. Each question ends within the same few
// seconds as the engine's (RASStatus::kQueryTimeoutMs): an nmcli that hangs is killed and
// counts as "not connected" or "cannot be listed".
#pragma once

#include <QObject>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace dialup {

// Whether a connection of entry (letter case ignored) is active and activated. answer is called
// once from the loop, never before this returns, and never once context is gone (the nmcli
// still running is killed with it).
void askConnected(QObject* context, const std::string& entry, std::function<void(bool up)> answer);

// The entries NetworkManager knows, in its order; nothing when they cannot be listed (no nmcli,
// a failure, no answer in time). Called back as askConnected's answer is.
void listEntries(QObject* context, std::function<void(std::optional<std::vector<std::string>>)> answer);

}  // namespace dialup
