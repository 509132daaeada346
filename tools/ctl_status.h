// trawlexctl status: what a script or a user at a terminal needs to know about the gateway.
#pragma once

// Prints whether the engine runs, its data directory, its two ports and whether each listens,
// the queue's size, each account's last check and the last failure in the log. Answers the
// exit status: 0 when the engine runs, 1 when it does not.
int printStatus(bool engineRuns);
