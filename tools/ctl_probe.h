// trawlexctl probe: checks a mail server as an account (or the outgoing host) would use it and
// reports every step (see autoconfig/server_probe.h). Exit status 0 when all went well, 3 when
// a step failed.
#pragma once

#include <string>
#include <vector>

int runProbe(const std::vector<std::string>& args);
