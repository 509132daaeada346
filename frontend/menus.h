// The menus "TARNWICK" (the main window's menu bar) and "TARNWICKTRAY" (the tray icon's popup),
// built from tables; every item is a QAction carrying its command id.
#pragma once

#include <functional>
#include <map>

class QAction;
class QMenu;
class QMenuBar;
class QObject;
class QString;

// The object name of a menu item from its text: "&Cycle Now" is "cycleNow".
QString actionName(const char* text);

// The actions of both menus by command id (an id may have an action in each menu).
class CommandActions {
public:
    using Sink = std::function<void(int id)>;
    explicit CommandActions(Sink sink) : sink_(std::move(sink)) {}

    void buildMainMenu(QMenuBar* bar);
    // The tray popup; the caller owns the menu.
    QMenu* buildTrayMenu();

    // Enables or grays every action of the id.
    void setEnabled(int id, bool enabled);
    // The first action of the id (for tests and the e2e screenshots), or null.
    QAction* action(int id) const;
    // Called before any of the menus opens (the menus' WM_INITMENU).
    std::function<void()> onAboutToShow;

    struct Item;   // one row of a menu table

private:
    void fill(QMenu* menu, const Item* items, std::size_t count);
    Sink sink_;
    std::multimap<int, QAction*> actions_;
};
