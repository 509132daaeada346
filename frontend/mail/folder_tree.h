// The folder tree: "Incoming" with one node per account (unread counts in brackets) and
// "Outgoing" with the queue's count. Selecting a node fills the item list; a right click on an
// account asks for its properties, a double click starts its e-mail program and closes the
// main window to the tray. Rebuilt from the settings and directories on every fill.
#pragma once

#include "frontend/mail/folders.h"

#include <QTreeWidget>

#include <string>

namespace views {

class ItemList;

class FolderTree : public QTreeWidget {
    Q_OBJECT

public:
    explicit FolderTree(ItemList& list, QWidget* parent = nullptr);

    // Rebuilds every node, selects "Incoming" and shows all incoming items.
    void fill();
    // Rebuilds every node and returns to the folder selected before (the same account, found
    // by its title, or the same root), highlighted and listed.
    void refresh();
    // The selection handler: what selecting a node with this text and item data shows.
    void select(const std::string& nodeText, int itemData);

    const std::string& selectedFolderText() const { return folderText_; }
    int selectedAccountIndex() const { return accountIndex_; }

    // What the tree's right click and double click do for a node.
    void rightClicked(QTreeWidgetItem* node);
    void doubleClicked(QTreeWidgetItem* node);

    // The node of account index; null when none.
    QTreeWidgetItem* accountNode(int index) const;
    QTreeWidgetItem* incomingRoot() const { return incoming_; }
    QTreeWidgetItem* outgoingRoot() const { return outgoing_; }

signals:
    // A right click on an account: its properties (it is the selected one now).
    void propertiesRequested();
    // A double click on an account started its e-mail program.
    void mailProgramStarted();

private:
    void rebuild(Listings& listings);
    void onCurrentChanged(QTreeWidgetItem* node);

    ItemList& list_;
    QTreeWidgetItem* incoming_ = nullptr;
    QTreeWidgetItem* outgoing_ = nullptr;
    std::string folderText_;
    int accountIndex_ = -1;
    bool quiet_ = false;  // while rebuilding: selection changes list nothing
    Listings* listings_ = nullptr;  // those of the fill or refresh under way
};

}  // namespace views
