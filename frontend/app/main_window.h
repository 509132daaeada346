// The visible main window: the menu bar "TARNWICK", the views (a blank band at the top, the
// folder tree and the item list side by side) and the two-part status bar. It holds no logic:
// what the user asks of the window and its views goes out as signals.
#pragma once

#include "frontend/app/placement.h"
#include "frontend/mail/header_cache.h"
#include "frontend/mail/refresh_pacer.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QTimer>

#include <memory>

class QLabel;

namespace views {
class FolderTree;
class ItemList;
}  // namespace views

class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    MainWindow();

    // Closed: hidden or minimised, its views hidden.
    bool isClosed() const;
    bool viewsOpen() const { return views_ != nullptr && viewsShown_; }
    // Open and what the user looks at: the active window, or brought to the front by us and
    // not left for another window since (a desktop may not report the activation at all).
    bool inFront() const;
    void broughtToFront() { inFront_ = true; }

    // The child views; createViews replaces existing ones and fills the folder tree.
    void createViews();
    void destroyViews();
    // A closed window keeps its views hidden; shown again, they are filled afresh (made first
    // when there are none).
    void hideViews();
    void showViews();

    // The folder tree and the item list while the views are open, else null.
    views::FolderTree* folderTree() const { return viewsOpen() ? tree_ : nullptr; }
    views::ItemList* itemList() const { return viewsOpen() ? list_ : nullptr; }
    // Rebuilds the tree and the list, keeping the selected folder; nothing while closed.
    // Paced: while refreshes of a big mailbox follow each other closely, the notices that
    // come meanwhile are served by one refresh a little later (see RefreshPacer).
    void refreshViews();
    // The account selected in the folder tree, or -1 (also while closed).
    int selectedAccountIndex() const;
    // View and Delete on the row the list's context menu was opened on. Delete refreshes the
    // views when it removed the item.
    void viewRememberedItem();
    void deleteRememberedItem();
    // The status bar's left field ("Last check: ...") and right field (the status); nothing while closed.
    void setStatusParts(const QString& lastCheck, const QString& status);
    // A passing word in the status bar (in the status field's place, for half a minute); kept
    // for the next opening while the window is closed.
    void showNotice(const QString& text);
    QString statusPart(int part) const;

    // Opening and closing (the shell decides when). openWindow restores the saved size and
    // the normal state, still hidden, so the window appears where it belongs; closeWindow
    // minimises instead of hiding when there is no tray to come back from.
    void openWindow(const std::optional<Placement>& placement);
    void closeWindow(bool hide);
    Placement currentPlacement() const;

signals:
    void closeRequested();  // the window's close button
    void minimized();  // by the user
    void restored();  // from the task bar
    // From the folder tree: an account's properties; its e-mail program was started.
    void accountPropertiesRequested();
    void mailProgramStarted();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // Headers of listed items, kept while the program runs so that reopening is quick.
    views::HeaderCache headerCache_;
    QWidget* views_ = nullptr;  // the band, the tree and the list
    bool viewsShown_ = false;
    views::FolderTree* tree_ = nullptr;
    views::ItemList* list_ = nullptr;
    QLabel* statusLeft_ = nullptr;
    QLabel* statusRight_ = nullptr;
    bool ownStateChange_ = false;  // a state change we make ourselves is no user request
    Qt::WindowStates requested_;  // the state we asked for last
    void stateSettled();
    bool inFront_ = false;
    QString pendingNotice_;
    QString notice_;
    QString status_;
    QTimer noticeTimer_;
    static constexpr int kNoticeMs = 30000;
    void runRefresh();
    views::RefreshPacer pacer_;
    QElapsedTimer clock_;
    QTimer refreshTimer_;
};
