// The mail list: one row per item of the folder the tree selected, seven columns (six outside
// the all-accounts view), texts supplied on demand from the row table, read and unread icons,
// the context menu "MAILLISTMENU", a double click or Enter to view. A click on a column's
// header sorts by it (the newest date first at the start); the sort, the columns' widths and
// their order stay across refreshes and are kept in the registry by storeLayout.
//
// The context menu's View and Delete are signals to the main window, which views or deletes
// the remembered row. That row is kept whole, not by its place, so a refresh between the click and
// the command cannot point it at another item.
#pragma once

#include "frontend/mail/column_layout.h"
#include "frontend/mail/folders.h"

#include <QTreeView>

class QSortFilterProxyModel;

#include <functional>
#include <optional>
#include <vector>

namespace views {

class MailListModel;

class ItemList : public QTreeView {
    Q_OBJECT

public:
    explicit ItemList(HeaderCache& cache, QWidget* parent = nullptr);

    // Fills the list with a folder's items (title: the account for FolderKind::OneAccount),
    // from the listings of the refresh under way, or new ones. The selected row stays
    // selected when its item is still listed.
    void showFolder(FolderKind kind, const std::string& title, Listings* listings = nullptr);

    // Rows count in the order they are shown (sorted).
    int rows() const;
    const MailRow& row(int i) const;
    // The cell the view shows for row i, column c.
    QString cellText(int i, int c) const;

    // The columns as the user left them; storeLayout writes them to the registry.
    const ColumnLayout& layout() const { return layout_; }
    void storeLayout() const;
    FolderKind kind() const;

    // Remembers row i as the right click does, without showing the menu.
    void rememberRow(int i);
    const std::optional<MailRow>& rememberedRow() const { return remembered_; }
    void forgetRow() { remembered_.reset(); }

    // The context menu, opened at a point of the viewport (also what a right click does).
    void openContextMenu(const QPoint& pos);

signals:
    // The context menu's View and Delete, for the remembered row.
    void viewRequested();
    void deleteRequested();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    // The viewport narrows when the vertical scroll bar comes, without a resize of the list.
    bool viewportEvent(QEvent* event) override;

private:
    void buildColumns();
    void applyOrder();
    void fitColumns();
    void columnMoved();
    std::vector<int> shownColumnsBy(const std::function<int(int)>& place) const;
    int sourceRow(int i) const;

    HeaderCache& cache_;
    MailListModel* model_;
    QSortFilterProxyModel* sorted_;
    std::optional<MailRow> remembered_;
    ColumnLayout layout_;
    bool applying_ = false;  // our own changes to the header are no user's choice
};

// The list's Delete: asks "Confirm deletion of mail item ..." (owned by owner) and on Yes
// deletes the item. True when the item was deleted. The question runs a local loop; it
// touches no view, so the views may close meanwhile.
bool confirmAndDelete(const MailRow& row, QWidget* owner);

// Deletes one item without asking: the read mark is cleared, then the routing file (if any)
// and the item go. False, with the item left, when the mark cannot be cleared or the item
// cannot be removed.
bool deleteItemFiles(const std::string& path);

}  // namespace views
