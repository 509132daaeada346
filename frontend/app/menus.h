// The program's commands as actions, each made once and offered by every menu that has it: the
// main window's menu bar "TARNWICK" and the tray icon's popup "TARNWICKTRAY". An action's
// object name says what it does ("cycleNow"), so tests and tools can find it.
#pragma once

#include <QAction>
#include <QObject>

class QMenu;
class QMenuBar;

class CommandActions : public QObject {
    Q_OBJECT

public:
    void buildMainMenu(QMenuBar* bar);
    // The tray popup; the caller owns the menu.
    QMenu* buildTrayMenu();

    QAction* cycleNow = make(tr("&Cycle Now"), "cycleNow");
    QAction* open = make(tr("&Open"), "open");
    QAction* resume = make(tr("Re&sume"), "resume");
    QAction* suspend = make(tr("S&uspend"), "suspend");
    QAction* close = make(tr("C&lose"), "close");
    QAction* exit = make(tr("&Exit"), "exit");
    QAction* readMail = make(tr("&Read mail"), "readMail");
    QAction* log = make(tr("Log"), "log");
    QAction* options = make(tr("O&ptions"), "options");
    QAction* addAccount = make(tr("&Add"), "add");
    QAction* removeAccount = make(tr("&Remove"), "remove");
    QAction* accountProperties = make(tr("&Properties"), "properties");
    QAction* helpContents = make(tr("&Contents"), "contents");
    QAction* homepage = make(tr("&Homepage"), "homepage");
    QAction* emailSupport = make(tr("&Email support"), "emailSupport");
    QAction* about = make(tr("&About"), "about");

signals:
    // Before any of the menus opens: the time to gray what does not apply now.
    void aboutToShow();

private:
    QAction* make(const QString& text, const char* name);
    void watch(QMenu* menu);
};
