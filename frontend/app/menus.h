// The menus "TARNWICK" (the main window's menu bar) and "TARNWICKTRAY" (the tray icon's popup),
// built from tables; every item is a QAction carrying its command id.
#pragma once

#include <QAction>
#include <QObject>

#include <functional>
#include <map>

class QMenu;
class QMenuBar;
class QString;

// The object name of a menu item from its text: "&Cycle Now" is "cycleNow".
QString actionName(const char* text);

// The actions of both menus by command id (an id may have an action in each menu).
class CommandActions {
public:

    void buildMainMenu(QMenuBar* bar);
    // The tray popup; the caller owns the menu.
    QMenu* buildTrayMenu();

    // Enables or grays every action of the id.
    void setEnabled(int id, bool enabled);
    // The first action of the id (for tests and the e2e screenshots), or null.
    QAction* action(int id) const;
    // Called before any of the menus opens (the menus' WM_INITMENU).
    std::function<void()> onAboutToShow;

    // Every action of the command triggers slot of receiver.
    template <class Receiver>
    void connectCommand(int id, Receiver* receiver, void (Receiver::*slot)()) {
        auto range = actions_.equal_range(id);
        for (auto it = range.first; it != range.second; ++it)
            QObject::connect(it->second, &QAction::triggered, receiver, slot);
    }

    struct Item;   // one row of a menu table

private:
    void fill(QMenu* menu, const Item* items, std::size_t count);
    std::multimap<int, QAction*> actions_;
};
