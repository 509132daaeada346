#include "frontend/mail/folder_tree.h"
#include "config/account_values.h"

#include "frontend/icons/icons.h"
#include "frontend/desktop/mail_client.h"
#include "frontend/mail/item_list.h"
#include "config/settings.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>

#include <cstring>

namespace views {

namespace {

constexpr int kDataRole = Qt::UserRole;
constexpr int kTextRole = Qt::UserRole + 1;  // the node's text as the folder choice reads it

// A root's name in the user's language ("Outgoing (2)" keeps its count); an account's title
// as it is.
QString shownText(const std::string& text, int data) {
    QString shown = QString::fromStdString(text);
    if (data >= 0) return shown;
    for (const char* root :
         {QT_TRANSLATE_NOOP("FolderTree", "Incoming"), QT_TRANSLATE_NOOP("FolderTree", "Outgoing")}) {
        if (text.rfind(root, 0) == 0)
            return QCoreApplication::translate("FolderTree", root) + shown.mid(static_cast<int>(std::strlen(root)));
    }
    return shown;
}

QTreeWidgetItem* makeNode(const std::string& text, ProgramIcon icon, int data) {
    auto* node = new QTreeWidgetItem;
    node->setText(0, shownText(text, data));
    node->setData(0, kTextRole, QString::fromStdString(text));
    node->setIcon(0, programIcon(icon));
    node->setData(0, kDataRole, data);
    return node;
}

int nodeData(const QTreeWidgetItem* node) {
    return node ? node->data(0, kDataRole).toInt() : -1;
}

std::string nodeKey(const QTreeWidgetItem* node) {
    return node->data(0, kTextRole).toString().toStdString();
}

}  // namespace

FolderTree::FolderTree(ItemList& list, QWidget* parent) : QTreeWidget(parent), list_(list) {
    setObjectName(QStringLiteral("tree"));
    setColumnCount(1);
    setHeaderHidden(true);
    setRootIsDecorated(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setExpandsOnDoubleClick(true);
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* node, QTreeWidgetItem*) { onCurrentChanged(node); });
    connect(this, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) { rightClicked(itemAt(pos)); });
    connect(this, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* node, int) { doubleClicked(node); });
}

void FolderTree::rebuild(Listings& listings) {
    quiet_ = true;
    clear();
    incoming_ = makeNode(kIncomingRoot, ProgramIcon::IncomingRoot, -1);
    addTopLevelItem(incoming_);
    // Each account goes in first, so they stand in reverse index order.
    for (const AccountNode& a : accountNodes(listings))
        incoming_->insertChild(0, makeNode(a.text, ProgramIcon::AccountMailbox, a.index));
    outgoing_ = makeNode(outgoingNodeText(listings), ProgramIcon::OutgoingRoot, -1);
    addTopLevelItem(outgoing_);
    incoming_->setExpanded(true);
    quiet_ = false;
}

void FolderTree::fill() {
    Listings listings;
    listings_ = &listings;
    rebuild(listings);
    // Selecting "Incoming" runs the selection handler; setting it again would not.
    if (currentItem() == incoming_) onCurrentChanged(incoming_);
    else setCurrentItem(incoming_);
    listings_ = nullptr;
}

void FolderTree::refresh() {
    std::string text = folderText_;
    int index = accountIndex_;
    Listings listings;
    listings_ = &listings;
    rebuild(listings);
    // The same account by its title (another may have taken its index meanwhile), else the
    // root the old text names.
    QTreeWidgetItem* node = nullptr;
    if (index >= 0) {
        plat::RegKey accounts;
        node = accountNode(config::openAccountsKey(accounts) ? config::findAccount(accounts, text) : -1);
    }
    if (!node) node = beginsWithRoot(text, kOutgoingRoot) ? outgoing_ : incoming_;
    quiet_ = true;
    setCurrentItem(node);
    quiet_ = false;
    select(nodeKey(node), nodeData(node));
    listings_ = nullptr;
}

void FolderTree::select(const std::string& nodeText, int itemData) {
    FolderChoice c = chooseFolder(nodeText, itemData);
    folderText_ = c.folderText;
    accountIndex_ = c.accountIndex;
    list_.showFolder(c.kind, c.folderText, listings_);
}

void FolderTree::onCurrentChanged(QTreeWidgetItem* node) {
    if (quiet_ || !node) return;
    select(nodeKey(node), nodeData(node));
    listings_ = nullptr;
}

QTreeWidgetItem* FolderTree::accountNode(int index) const {
    if (!incoming_ || index < 0) return nullptr;
    for (int i = 0; i < incoming_->childCount(); ++i) {
        if (nodeData(incoming_->child(i)) == index) return incoming_->child(i);
    }
    return nullptr;
}

void FolderTree::rightClicked(QTreeWidgetItem* node) {
    if (!node || nodeData(node) < 0) return;
    // The account's properties are those of the selected account.
    setCurrentItem(node);
    emit propertiesRequested();
}

void FolderTree::doubleClicked(QTreeWidgetItem* node) {
    int index = nodeData(node);
    if (index < 0) return;
    plat::RegKey accounts;
    if (!config::openAccountsKey(accounts) || config::accountCount(accounts) == 0) return;
    // Started after this event: a failed start shows a message box, whose loop may close the
    // views and with them this tree.
    QTimer::singleShot(0, this, [this, line = config::accountString(accounts, index, config::kClientFileValue)] {
        QPointer<FolderTree> alive(this);
        launchCommandLine(line);
        if (alive) emit mailProgramStarted();
    });
}

}  // namespace views
