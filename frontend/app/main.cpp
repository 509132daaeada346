// Tarnwick, the front end: a tray icon and a main window over the engine Trawlex, which it
// starts (or finds) and drives with link messages.
#include "frontend/app/shell.h"
#include "frontend/app/translation.h"
#include "platform/console.h"
#include "platform/event_loop.h"
#include "frontend/qt_platform/qt_wayland_seat.h"
#include "platform/spawn.h"
#include "log/debug.h"
#include "shared/program_info.h"

#include <QApplication>

#include <cstdlib>

namespace {

const char kUsage[] =
    "usage: tarnwick [--help | --version]\n"
    "\n"
    "The tray front end of the Trawlex mail gateway. It starts the engine trawlex that lies\n"
    "beside it, in its own working directory (scripts/run.sh starts it in the data directory\n"
    "~/.local/share/tarnwick), shows a tray icon and a main window with the mailboxes and the\n"
    "queue, runs cycles on its schedule and announces new mail. Settings: Options and the\n"
    "account wizard, kept in ~/.config/tarnwick/user.reg. Qt's own options (-platform NAME,\n"
    "-display DISPLAY, ...) are accepted too.\n"
    "\n"
    "  --help     print this text and exit\n"
    "  --version  print the version and exit\n";

}  // namespace

int main(int argc, char** argv) {
    // Answered before the application object exists, so they work without a display.
    if (answerHelpOrVersion(argc, argv, "tarnwick", kUsage)) return 0;
    // A compositor without a seat has nothing to type with, and Qt's Wayland input context
    // would crash on it: Qt's own compose context serves instead (see qt_wayland_seat.h).
    bool noSeat = plat::startsAsWaylandClient() && !std::getenv("QT_IM_MODULE") &&
                  plat::waylandCompositorHasSeat() == false;
    if (noSeat) ::setenv("QT_IM_MODULE", "compose", 1);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarnwick"));
    QApplication::setDesktopFileName(QStringLiteral("tarnwick"));
    QApplication::setQuitOnLastWindowClosed(false);  // the tray icon keeps the program alive
    installTranslations(app, QLocale::system(), QString::fromStdString(plat::selfExeDir()));
    plat::prepareProcess();

    Shell shell;
    bool failed = false;  // the engine's window never appeared: the loop ends, nothing to shut down
    QObject::connect(&shell, &Shell::startFailed, [&failed] { failed = true; });
    if (!shell.startUp()) return 0;
    if (noSeat)
        DebugLine(LOG_APP, LOG_MED,
                  "Tarnwick: the Wayland compositor offers no seat; typing goes through Qt's compose input context");
    int code = plat::runMessageLoop();
    if (failed) return 0;
    shell.shutDown();
    return code;
}
