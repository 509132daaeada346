// The values trawlexctl's account and outgoing commands take, checked before anything is
// written: each check answers false with a message that names the value and what is allowed.
#pragma once

#include <cstdint>
#include <string>

namespace ctl {

// 1 to 65535.
bool parsePort(const std::string& text, const char* what, std::uint32_t& out, std::string& why);
// none|starttls|tls (or 0|1|2), as the settings store it.
bool parseSecurity(const std::string& text, const char* what, std::uint32_t& out, std::string& why);
// pop3|imap (or 0|1).
bool parseProtocol(const std::string& text, std::uint32_t& out, std::string& why);
// How long fetched mail stays on the server: no (or 0: deleted), yes (or 1: left there), or a
// number of days from 1 to 3650 (left, then deleted). days is 0 unless a number was given.
bool parseLeave(const std::string& text, std::uint32_t& mode, std::uint32_t& days, std::string& why);
// password|oauth (or 0|1).
bool parseAuth(const std::string& text, const char* what, std::uint32_t& out, std::string& why);
// A host name or dotted address, without the characters the wizard refuses (blank, "@",
// "?", "*"); lower-cased as the wizard stores it.
bool checkServer(std::string& host, const char* what, std::string& why);
// An account title as the wizard takes it: not empty, no blank, "@", "?", "*", backslash or
// control character, at most 199 characters, not "outgoing".
bool checkTitle(const std::string& title, std::string& why);
// A log-in name: no "/" or control character (user@server names a directory), under 199.
bool checkUser(const std::string& user, const char* what, std::string& why);
// A password: no line end (it would end the command that carries it), under 100 characters.
bool checkPassword(const std::string& password, std::string& why);
// A short text value: no control character, under 199 characters.
bool checkText(const std::string& text, const char* what, std::string& why);
// E-mail addresses separated by commas or blanks; rewritten separated by ", ".
bool checkAddresses(std::string& text, std::string& why);

// The usual port of a protocol ("pop3", "imap", "smtp") for a security value.
std::uint32_t usualPort(const std::string& protocol, std::uint32_t security);

}  // namespace ctl
