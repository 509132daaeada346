// Reads the outgoing host, its port and the dial-up entry for a cycle start.
#pragma once

#include "engine/control_window.h"

// Answers null when all three values were read, else the log line of the first that failed.
const char* readCycleConfig(CycleConfig& config);
