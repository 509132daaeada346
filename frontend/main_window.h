// The visible main window: the menu bar "TARNWICK", the views (a blank band at the top, the
// folder tree and the item list side by side) and the two-part status bar. It holds no logic:
// user actions go to the shell as commands and window messages.
#pragma once

#include "frontend/placement.h"

#include <QMainWindow>

#include <functional>
#include <memory>

class QLabel;
class QTreeWidget;
class ViewsFrame;

class MainWindow : public QMainWindow {
public:
    struct Hooks {
        std::function<void()> closeRequested;   // the window's close button: WM_CLOSE
        std::function<void()> minimized;        // the user minimised it: SC_MINIMIZE
        std::function<void()> restored;         // restored from the task bar: SC_RESTORE
    };
    explicit MainWindow(Hooks hooks);
    ~MainWindow() override;

    // Closed: hidden or minimised, without views.
    bool isClosed() const;
    bool viewsOpen() const { return views_ != nullptr; }

    // The child views; createViews replaces existing ones.
    void createViews();
    void destroyViews();
    // Status bar part 0 ("Last check: ...") and part 1 (the status); nothing while closed.
    void setStatusParts(const QString& lastCheck, const QString& status);
    QString statusPart(int part) const;

    // Opening and closing (the shell decides when). openWindow restores the saved size and
    // the normal state, still hidden, so the window appears where it belongs; closeWindow
    // minimises instead of hiding when there is no tray to come back from.
    void openWindow(const std::optional<Placement>& placement);
    void closeWindow(bool hide);
    Placement currentPlacement() const;
    void centerWindow();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    Hooks hooks_;
    ViewsFrame* views_ = nullptr;
    QLabel* statusLeft_ = nullptr;
    QLabel* statusRight_ = nullptr;
    bool ownStateChange_ = false;   // a state change we make ourselves is no user request
};
