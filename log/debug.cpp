#include "log/debug.h"

#include "platform/append_file.h"
#include "platform/console.h"
#include "platform/named_mutex.h"
#include "platform/owned_handles.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace {

const char kBadLine[] = "---bad debug line (NULL)";
constexpr int kDefaultMutexWaitMs = 10000;

std::unique_ptr<plat::NamedMutex> g_logMutex;
// The day file stays open between lines; it is opened again when the day changes or when
// the file was removed or renamed underneath (retention, the user, a test).
plat::AppendFile g_dayFile;
bool g_failureReported = false;
int g_mutexWaitMs = kDefaultMutexWaitMs;
DebugLogClock g_clock = nullptr;
bool g_toWorkingDirectory = true;
std::optional<std::string> g_folder;  // when not to the working directory

const char* categoryLabel(int category) {
    switch (category) {
    case LOG_NET: return "NET";
    case LOG_APP: return "APP";
    case LOG_MAIL: return "MAIL";
    default: return "---";
    }
}

const char* levelLabel(int level) {
    switch (level) {
    case LOG_HIGH: return "HIGH";
    case LOG_MED: return "MED";
    case LOG_LOW: return "LOW";
    default: return "---";
    }
}

std::time_t now() {
    return g_clock ? g_clock() : std::time(nullptr);
}

// Formats into a heap string sized from the inputs, so that nothing is ever cut.
template <typename... Args>
std::string format(const char* pattern, std::size_t extra, Args... args) {
    std::string out(std::strlen(pattern) + extra + 260, '\0');
    int n = std::snprintf(out.data(), out.size(), pattern, args...);
    if (n < 0) return {};
    if (static_cast<std::size_t>(n) >= out.size()) {
        out.assign(static_cast<std::size_t>(n) + 1, '\0');
        std::snprintf(out.data(), out.size(), pattern, args...);
    }
    out.resize(static_cast<std::size_t>(n));
    return out;
}

}  // namespace

void DebugLogOpen() {
    if (!g_logMutex) g_logMutex = std::make_unique<plat::NamedMutex>("LOGMUTEX");
}

void DebugLogClose() {
    g_logMutex.reset();
    g_dayFile.close();
}

void DebugLogSetClock(DebugLogClock clock) {
    g_clock = clock;
}

void DebugLogSetMutexWait(int milliseconds) {
    g_mutexWaitMs = milliseconds;
}

void DebugLogResetFailureFlag() {
    g_failureReported = false;
}

namespace {

// Text for one log line. Peers' replies and identifiers end up here: a line break inside them
// would start a forged line of its own, so a CR LF pair inside reads as a blank, one at the end
// is dropped, and any other control byte shows as "?".
std::string oneLogLine(const char* text) {
    std::string_view in(text);
    while (!in.empty() && (in.back() == '\n' || in.back() == '\r')) in.remove_suffix(1);
    std::string out;
    out.reserve(in.size());
    for (std::size_t i = 0; i < in.size(); ++i) {
        unsigned char u = static_cast<unsigned char>(in[i]);
        if (in[i] == '\r' && i + 1 < in.size() && in[i + 1] == '\n') {
            out += ' ';
            ++i;
        } else if ((u < 0x20 && in[i] != '\t') || u == 0x7f) {
            out += '?';
        } else {
            out += in[i];
        }
    }
    return out;
}

}  // namespace

void DebugLine(int category, int level, const char* text) {
    if (!text) {
        plat::debugOutput(kBadLine);
        return;
    }
    if (level == LOG_LOW) return;
    std::string safe = oneLogLine(text);
    std::string line = format("%4s %4s %s\n", safe.size(), categoryLabel(category), levelLabel(level), safe.c_str());
    plat::debugOutput(line.c_str());
    OutputDebugToFile(line.c_str());
}

void DebugLinePtr(int category, int level, const char* text, const void* pointer) {
    if (!text) {
        plat::debugOutput(kBadLine);
        return;
    }
    if (level == LOG_LOW) return;
    DebugLine(category, level, format("%s %p", std::strlen(text), text, pointer).c_str());
}

void DebugLineInt(int category, int level, const char* text, long value) {
    if (!text) {
        plat::debugOutput(kBadLine);
        return;
    }
    if (level == LOG_LOW) return;
    DebugLine(category, level, format("%s %ld", std::strlen(text), text, value).c_str());
}

void DebugLineStr(int category, int level, const char* text, const char* second) {
    if (!text || !second) {
        plat::debugOutput(kBadLine);
        return;
    }
    if (level == LOG_LOW) return;
    DebugLine(category, level, format("%s %s", std::strlen(text) + std::strlen(second), text, second).c_str());
}

std::string dayLogFileName(std::time_t when) {
    std::tm local{};
    char name[64];
    if (!localtime_r(&when, &local) || std::strftime(name, sizeof name, "%Y%m%d.log", &local) == 0) return {};
    return name;
}

void OutputDebugToFile(const char* line) {
    if (!line) {
        plat::debugOutput(kBadLine);
        return;
    }
    std::time_t t = now();
    std::tm local{};
    if (!localtime_r(&t, &local)) {
        plat::debugOutput("OutputDebugToFile: filename failure");
        return;
    }
    if (!g_toWorkingDirectory && !g_folder) return;
    std::string fileName = dayLogFileName(t);
    if (fileName.empty()) {
        plat::debugOutput("OutputDebugToFile: filename failure");
        return;
    }
    if (!g_toWorkingDirectory) fileName = *g_folder + "/" + fileName;
    char stamp[260];
    if (std::strftime(stamp, sizeof stamp, "%H%M%S", &local) == 0) {
        plat::debugOutput("OutputDebugToFile: timestamp failure");
        return;
    }

    DebugLogOpen();
    if (!g_logMutex->wait(g_mutexWaitMs)) {
        if (!g_failureReported) {
            plat::debugOutput("MUTEX FAILURE in debug\n");
            plat::messageBox(
                "MUTEX FAILURE - problem has occurred in synchronising access to log "
                "file.\nSubsequent failures will NOT be reported.",
                "OutputDebugToFile");
            g_failureReported = true;
        }
        return;
    }
    std::string whole = std::string(stamp) + "  " + line;
    (void)g_dayFile.append(fileName, whole);  // a line that cannot be written is dropped, as always
    g_logMutex->release();
}

void DebugLogSetFolder(std::optional<std::string> folder) {
    g_toWorkingDirectory = false;
    g_folder = std::move(folder);
}

void DebugLogUseWorkingDirectory() {
    g_toWorkingDirectory = true;
    g_folder.reset();
}
