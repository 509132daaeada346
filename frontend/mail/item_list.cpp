#include "frontend/mail/item_list.h"

#include "frontend/commands.h"
#include "frontend/desktop/desktop.h"
#include "frontend/icons/icons.h"
#include "frontend/mail/item_viewer.h"
#include "platform/files.h"
#include "shared/debug.h"
#include "store/smtp_queue.h"

#include <QAbstractTableModel>
#include <QCoreApplication>
#include <QHeaderView>
#include <QMenu>
#include <QScrollBar>


namespace views {

namespace {

QString trList(const char* text) {
    return QCoreApplication::translate("MailList", text);
}

struct Column {
    const char* title;
    int width;
    Qt::Alignment alignment;
    std::optional<std::string> MailRow::*field;   // null: the size
};

const Column kColumns[] = {
    {"Received", 80, Qt::AlignRight, &MailRow::received},
    {"Date", 80, Qt::AlignRight, &MailRow::date},
    {"From", 120, Qt::AlignLeft, &MailRow::from},
    {"Subject", 120, Qt::AlignLeft, &MailRow::subject},
    {"To", 120, Qt::AlignLeft, &MailRow::to},
    {"Size", 80, Qt::AlignRight, nullptr},
    {"Account", 77, Qt::AlignLeft, &MailRow::account},
};
constexpr int kAccountColumn = 6;
constexpr int kAutoSized[] = {0, 1, 5, 6};

// "MAILLISTMENU": the ids its items carry, and their actions' object names.
struct MenuItem {
    const char* text;   // null: separator
    int id;
    bool grayed;
    const char* name;
};
const MenuItem kMailListMenu[] = {
    {"&View", CMD_VIEW_ITEM, false, "view"},
    {"Qik&Reply", CMD_QIK_REPLY, true, "qikReply"},
    {nullptr, 0, false, nullptr},
    {"&Delete", CMD_DELETE_ITEM, false, "delete"},
};

}  // namespace

// The row table behind the view: every cell is produced when the view asks for it.
class MailListModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    void reset(FolderKind kind, std::vector<MailRow> rows) {
        beginResetModel();
        kind_ = kind;
        rows_ = std::move(rows);
        endResetModel();
    }
    FolderKind kind() const { return kind_; }
    const std::vector<MailRow>& rows() const { return rows_; }

    QString text(int r, int c) const {
        const MailRow& row = rows_[static_cast<std::size_t>(r)];
        const Column& col = kColumns[c];
        if (!col.field) return QString::fromStdString(row.size);
        const std::optional<std::string>& cell = row.*col.field;
        return cell ? QString::fromUtf8(cell->data(), static_cast<qsizetype>(cell->size())) : QStringLiteral("-");
    }

    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>(rows_.size());
    }
    int columnCount(const QModelIndex& parent) const override {
        if (parent.isValid()) return 0;
        return kind_ == FolderKind::AllAccounts ? 7 : 6;
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid()) return {};
        switch (role) {
        case Qt::DisplayRole:
        case Qt::ToolTipRole:
            return text(index.row(), index.column());
        case Qt::DecorationRole:
            if (index.column() != 0) return {};
            return rows_[static_cast<std::size_t>(index.row())].read ? readIcon_ : unreadIcon_;
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(kColumns[index.column()].alignment | Qt::AlignVCenter);
        default:
            return {};
        }
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || section < 0 || section >= 7) return {};
        if (role == Qt::DisplayRole) return trList(kColumns[section].title);
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(kColumns[section].alignment | Qt::AlignVCenter);
        return {};
    }
    // Label editing is always refused.
    Qt::ItemFlags flags(const QModelIndex& index) const override {
        return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
    }

private:
    FolderKind kind_ = FolderKind::AllAccounts;
    std::vector<MailRow> rows_;
    QIcon unreadIcon_ = programIcon(ProgramIcon::UnreadItem);
    QIcon readIcon_ = programIcon(ProgramIcon::ReadItem);
};

ItemList::ItemList(HeaderCache& cache, CommandSink sendCommand, QWidget* parent)
    : QTreeView(parent), cache_(cache), sendCommand_(std::move(sendCommand)), model_(new MailListModel(this)) {
    setObjectName(QStringLiteral("list"));
    setModel(model_);
    setRootIsDecorated(false);
    setUniformRowHeights(true);   // a big mailbox scrolls without measuring every row
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setAllColumnsShowFocus(true);
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, &ItemList::openContextMenu);
    connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (!index.isValid()) return;
        viewItem(row(index.row()).path, window());
    });
}

ItemList::~ItemList() = default;

int ItemList::rows() const {
    return static_cast<int>(model_->rows().size());
}

const MailRow& ItemList::row(int i) const {
    return model_->rows().at(static_cast<std::size_t>(i));
}

QString ItemList::cellText(int i, int c) const {
    return model_->text(i, c);
}

FolderKind ItemList::kind() const {
    return model_->kind();
}

void ItemList::buildColumns() {
    for (int c = 0; c < model_->columnCount({}); ++c) header()->resizeSection(c, kColumns[c].width);
    if (model_->rows().empty()) return;
    for (int c : kAutoSized) {
        if (c < model_->columnCount({})) resizeColumnToContents(c);
    }
}

void ItemList::showFolder(FolderKind kind, const std::string& title, Listings* listings) {
    // What the user was looking at comes back after the rebuild when it is still there.
    std::string selectedPath;
    QModelIndex current = currentIndex();
    if (current.isValid()) selectedPath = row(current.row()).path;
    int scroll = verticalScrollBar()->value();

    Listings own;
    model_->reset(kind, folderRows(kind, title, cache_, listings ? *listings : own));
    buildColumns();

    if (!selectedPath.empty()) {
        const auto& rows = model_->rows();
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (rows[i].path != selectedPath) continue;
            setCurrentIndex(model_->index(static_cast<int>(i), 0));
            verticalScrollBar()->setValue(scroll);
            break;
        }
    }
}

void ItemList::rememberRow(int i) {
    if (i >= 0 && i < rows()) remembered_ = row(i);
}

void ItemList::openContextMenu(const QPoint& pos) {
    QModelIndex index = indexAt(pos);
    if (!index.isValid()) return;
    rememberRow(index.row());
    // Made afresh each time and gone once closed; its commands reach the main window.
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("MAILLISTMENU"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    for (const MenuItem& item : kMailListMenu) {
        if (!item.text) {
            menu->addSeparator();
            continue;
        }
        QAction* a = menu->addAction(trList(item.text));
        a->setObjectName(QLatin1String(item.name));
        a->setEnabled(!item.grayed);
        int id = item.id;
        connect(a, &QAction::triggered, this, [this, id] {
            if (sendCommand_) sendCommand_(id);
        });
    }
    menu->popup(viewport()->mapToGlobal(pos));
}

bool confirmAndDelete(const MailRow& row, QWidget* owner) {
    QString text = trList("Confirm deletion of mail item '%1':'%2'.\nClick 'YES' to delete, or 'NO' to cancel.")
                       .arg(QString::fromStdString(row.from.value_or("-")), QString::fromStdString(row.subject.value_or("-")));
    if (messageBox(owner, {text.toStdString(), "Tarnwick", MsgButtons::YesNo, IDYES}) != IDYES) return false;
    return deleteItemFiles(row.path);
}

bool deleteItemFiles(const std::string& path) {
    if (int err = plat::setReadOnly(path, false); err != 0) {
        DebugLineInt(LOG_APP, LOG_HIGH, "unable to set file to UNREAD", err);
        return false;
    }
    // The routing file goes first: the queue lists routing files, so the item leaves the
    // queue at once and no routing file is ever left without its item. An incoming item
    // has none; that failure is ignored.
    plat::deleteFile(path + store::kRouteExtension);
    return plat::deleteFile(path) == 0;
}

}  // namespace views
