// The shared debug log: one file a day, "%Y%m%d.log" in the working directory (or the folder
// given), appended to by both programs under the named mutex "LOGMUTEX"; every line also goes to
// the debugger output.
// Lines of level LOG_LOW are discarded before anything is formatted.
#pragma once

#include <ctime>
#include <optional>
#include <string>

// Categories.
constexpr int LOG_NET = 1;  // sockets and protocols
constexpr int LOG_APP = 2;  // program flow and internal errors
constexpr int LOG_MAIL = 3;  // what happens to mail and to the cycle, in user terms
// Levels.
constexpr int LOG_HIGH = 0;  // failures
constexpr int LOG_MED = 1;  // notable events
constexpr int LOG_LOW = 2;  // trace, never written

void DebugLine(int category, int level, const char* text);
void DebugLinePtr(int category, int level, const char* text, const void* pointer);  // "%s %p"
void DebugLineInt(int category, int level, const char* text, long value);  // "%s %d"
void DebugLineStr(int category, int level, const char* text, const char* second);  // "%s %s"
// The day file of a moment: "%Y%m%d.log" of its local date, relative to the working
// directory; empty when the date cannot be had.
std::string dayLogFileName(std::time_t when);
// Appends one finished line to the day file, after the time stamp and two blanks.
void OutputDebugToFile(const char* line);

// Where the day files go: the working directory until this is called, then the folder given,
// or, with none, nowhere (lines reach the debugger output only). For a program that may be
// started from any directory.
void DebugLogSetFolder(std::optional<std::string> folder);

// Creates the process's handle of "LOGMUTEX" (the main routine does this first) and closes it.
// A process that never opened it gets one with its first line.
void DebugLogOpen();
void DebugLogClose();

// For tests: the clock of the day file and stamp, and the mutex wait (10 000 ms normally).
using DebugLogClock = std::time_t (*)();
void DebugLogSetClock(DebugLogClock clock);  // null restores the real clock
void DebugLogSetMutexWait(int milliseconds);
void DebugLogResetFailureFlag();
void DebugLogUseWorkingDirectory();  // undoes DebugLogSetFolder
