// What an engine killed while it took in or sent mail leaves behind, removed at start-up before
// the local servers open: items and routing files the local SMTP server had not yet moved into
// the queue, and queued items without their routing file (never sent, but listed by the front
// end). Only time-stamped item names and their routing files are touched; each removal is
// logged (MAIL, MED) with its path.
#pragma once

#include <string>

// workDirectory: where the local SMTP server writes ("" for the working directory);
// queueDirectory: the outgoing queue ("outgoing/").
void removeStartupLeftovers(const std::string& workDirectory, const std::string& queueDirectory);
