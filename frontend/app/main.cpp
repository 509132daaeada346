// Tarnwick, the front end: a tray icon and a main window over the engine Trawlex, which it
// starts (or finds) and drives with link messages.
#include "frontend/app/shell.h"
#include "frontend/app/translation.h"
#include "platform/console.h"
#include "platform/event_loop.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarnwick"));
    QApplication::setDesktopFileName(QStringLiteral("tarnwick"));
    QApplication::setQuitOnLastWindowClosed(false);   // the tray icon keeps the program alive
    installTranslation(app, QLocale::system(), translationsDir());
    plat::prepareProcess();

    Shell shell;
    if (!shell.startUp()) return 0;
    int code = plat::runMessageLoop();
    shell.shutDown();
    return code;
}
