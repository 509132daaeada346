// trawlexctl account add|list|show|set|remove and trawlexctl outgoing set: the accounts and the
// outgoing host in user.reg, written as the front end's dialogs write them (each value under
// the registry's lock, a flushed temporary file renamed over user.reg; secrets into the
// desktop's secret store where one is ready). Nothing needs the engine.
#pragma once

#include <string>
#include <vector>

// args: the words after "account" (or "outgoing"). Answer trawlexctl's exit status.
int runAccount(const std::vector<std::string>& args);
int runOutgoing(const std::vector<std::string>& args);

extern const char kAccountUsage[];
