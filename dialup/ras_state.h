// Names and texts for the dial-up connection's log lines: the connection states of a dial and
// the meanings of nmcli's exit codes, which stand for the dial errors.
#pragma once

// Connection states a dial reports. Only these two arrive from nmcli: the dial ended connected,
// or it ended without a connection.
constexpr unsigned kRasConnected = 0x2000;
constexpr unsigned kRasDisconnected = 0x2001;
// Set in both of them: the dial has ended.
constexpr unsigned kRasDoneBit = 0x2000;

// The state's name, "**unknown**" for a value outside the table.
const char* rasStateName(unsigned state);

// The text of a dial error (an nmcli exit code, or 128 + the signal that ended it); null when
// the error has no text.
const char* rasErrorText(unsigned long error);
