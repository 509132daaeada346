#include "engine/command_line.h"

#include "platform/paths.h"
#include "shared/program_info.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr int kExitCannotStart = 1;
constexpr int kExitUsage = 64;

const char kUsage[] =
    "usage: trawlex [--data-dir DIR]\n"
    "       trawlex --help | --version\n"
    "\n"
    "The mail gateway engine. It runs the local SMTP server (port 25, or $TRAWLEX_SMTP_PORT)\n"
    "and POP3 server (port 110, or $TRAWLEX_POP3_PORT) for the user's e-mail program, and on\n"
    "request (trawlexctl cycle, or the front end tarnwick) a cycle that delivers the outgoing\n"
    "queue to the provider and fetches new mail from every POP3 account. Its settings are in\n"
    "$XDG_CONFIG_HOME/tarnwick/user.reg (default ~/.config/tarnwick/user.reg).\n"
    "\n"
    "  --data-dir DIR  work in DIR (made, mode 0700, when missing): the queue outgoing/, the\n"
    "                  mailboxes under accounts/ and the day logs YYYYMMDD.log are there.\n"
    "                  Default: the current directory.\n"
    "  --help          print this text and exit\n"
    "  --version       print the version and exit\n"
    "\n"
    "SIGTERM and SIGINT end the engine as `trawlexctl shutdown` does: a running cycle is\n"
    "stopped and a line it dialled is hung up.\n"
    "\n"
    "Exit status: 0 after a shutdown; 1 when it cannot start (another engine of this user\n"
    "runs, the data directory cannot be used); 64 on bad usage.\n";

// Reads the options; dataDir stays empty without --data-dir. False on bad usage.
bool parseArgs(int argc, char** argv, std::string& dataDir) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--data-dir") == 0 && i + 1 < argc && argv[i + 1][0] != '\0') {
            dataDir = argv[++i];
        } else if (std::strncmp(argv[i], "--data-dir=", 11) == 0 && argv[i][11] != '\0') {
            dataDir = argv[i] + 11;
        } else {
            std::fprintf(stderr, "trawlex: unknown or incomplete option '%s'\n", argv[i]);
            return false;
        }
    }
    return true;
}

}  // namespace

int applyCommandLine(int argc, char** argv) {
    if (answerHelpOrVersion(argc, argv, "trawlex", kUsage)) return 0;
    std::string dataDir;
    if (!parseArgs(argc, argv, dataDir)) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    // Every path of the engine, the log's included, is relative to its working directory.
    if (!dataDir.empty()) {
        if (int err = plat::enterDirectory(dataDir)) {
            std::fprintf(stderr, "trawlex: cannot work in %s: %s\n", dataDir.c_str(), std::strerror(err));
            return kExitCannotStart;
        }
    }
    return kGoOn;
}
