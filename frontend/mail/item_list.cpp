#include "frontend/mail/item_list.h"

#include "frontend/desktop/desktop.h"
#include "frontend/icons/icons.h"
#include "frontend/mail/item_viewer.h"
#include "frontend/mail/mail_dates.h"
#include "frontend/mail/row_cells.h"
#include "platform/files.h"
#include "log/debug.h"
#include "store/smtp_queue.h"

#include <QAbstractTableModel>
#include <QCoreApplication>
#include <QDateTime>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QScrollBar>
#include <QSortFilterProxyModel>

#include <algorithm>
#include <numeric>

namespace views {

namespace {

QString trList(const char* text) {
    return QCoreApplication::translate("MailList", text);
}

// The list's texts, under its one context.
class MailList {
    Q_DECLARE_TR_FUNCTIONS(MailList)
};

struct Column {
    const char* title;
    int width;
    Qt::Alignment alignment;
    std::optional<std::string> HeaderCells::*field;  // null: the size or the account
};

const Column kColumns[] = {
    {QT_TRANSLATE_NOOP("MailList", "Received"), 80, Qt::AlignRight, &HeaderCells::received},
    {QT_TRANSLATE_NOOP("MailList", "Date"), 80, Qt::AlignRight, &HeaderCells::date},
    {QT_TRANSLATE_NOOP("MailList", "From"), 120, Qt::AlignLeft, &HeaderCells::from},
    {QT_TRANSLATE_NOOP("MailList", "Subject"), 120, Qt::AlignLeft, &HeaderCells::subject},
    {QT_TRANSLATE_NOOP("MailList", "To"), 120, Qt::AlignLeft, &HeaderCells::to},
    {QT_TRANSLATE_NOOP("MailList", "Size"), 80, Qt::AlignRight, nullptr},
    {QT_TRANSLATE_NOOP("MailList", "Account"), 77, Qt::AlignLeft, nullptr},
};
constexpr int kAutoSized[] = {0, 1, 5, 6};
// The columns that give up room when the list is narrow: From and To.
constexpr int kYielding[] = {2, 4};
constexpr int kSizeColumn = 5;
constexpr int kSortRole = Qt::UserRole;

}  // namespace

// The row table behind the view: every cell is produced when the view asks for it.
class MailListModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    void reset(FolderKind kind, std::vector<MailRow> rows) {
        beginResetModel();
        kind_ = kind;
        rows_ = std::move(rows);
        now_ = QDateTime::currentSecsSinceEpoch();
        endResetModel();
    }
    FolderKind kind() const { return kind_; }
    const std::vector<MailRow>& rows() const { return rows_; }

    QString text(int r, int c) const {
        const MailRow& row = rows_[static_cast<std::size_t>(r)];
        const Column& col = kColumns[c];
        if (c == kSizeColumn) return QString::fromStdString(sizeCell(row.bytes));
        if (const std::optional<std::int64_t>* at = moment(row, c); at && *at) return listDateText(**at, now_, locale_);
        const std::optional<std::string>& cell = col.field ? row.header.*col.field : row.account;
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
        case Qt::ToolTipRole: return text(index.row(), index.column());
        case kSortRole: return sortKey(index.row(), index.column());
        case Qt::DecorationRole:
            if (index.column() != 0) return {};
            return rows_[static_cast<std::size_t>(index.row())].header.read ? readIcon_ : unreadIcon_;
        case Qt::TextAlignmentRole: return QVariant::fromValue(kColumns[index.column()].alignment | Qt::AlignVCenter);
        default: return {};
        }
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || section < 0 || section >= 7) return {};
        if (role == Qt::DisplayRole) return trList(kColumns[section].title);
        if (role == Qt::TextAlignmentRole) return QVariant::fromValue(kColumns[section].alignment | Qt::AlignVCenter);
        return {};
    }
    // Label editing is always refused.
    Qt::ItemFlags flags(const QModelIndex& index) const override {
        return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
    }

private:
    static const std::optional<std::int64_t>* moment(const MailRow& row, int c) {
        if (c == 0) return &row.header.receivedAt;
        if (c == kDateColumn) return &row.header.dateAt;
        return nullptr;
    }
    // Dates sort by their moment (unknown ones oldest), the size by bytes, the rest by text.
    QVariant sortKey(int r, int c) const {
        const MailRow& row = rows_[static_cast<std::size_t>(r)];
        if (const std::optional<std::int64_t>* at = moment(row, c)) return QVariant::fromValue<qint64>(at->value_or(0));
        if (c == kSizeColumn) return QVariant::fromValue<qulonglong>(row.bytes);
        // Folded, as the locale's collation in the C locale would put "Z" before "a".
        return text(r, c).toCaseFolded();
    }

    FolderKind kind_ = FolderKind::AllAccounts;
    std::vector<MailRow> rows_;
    std::int64_t now_ = 0;
    QLocale locale_ = QLocale::system();
    QIcon unreadIcon_ = programIcon(ProgramIcon::UnreadItem);
    QIcon readIcon_ = programIcon(ProgramIcon::ReadItem);
};

ItemList::ItemList(HeaderCache& cache, QWidget* parent)
    : QTreeView(parent),
      cache_(cache),
      model_(new MailListModel(this)),
      sorted_(new QSortFilterProxyModel(this)) {
    setObjectName(QStringLiteral("list"));
    if (std::optional<config::ListColumns> stored = config::readListColumns()) {
        if (std::optional<ColumnLayout> layout = decodeColumnLayout(*stored)) layout_ = *layout;
    }
    // The rows in the order the user chose.
    sorted_->setSortRole(kSortRole);
    sorted_->setSortLocaleAware(true);
    sorted_->setSourceModel(model_);
    setModel(sorted_);
    setSortingEnabled(true);
    setRootIsDecorated(false);
    setUniformRowHeights(true);  // a big mailbox scrolls without measuring every row
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setAllColumnsShowFocus(true);
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(true);
    connect(header(), &QHeaderView::sectionResized, this, [this](int c, int, int width) {
        if (applying_ || width <= 0) return;
        layout_.widths[static_cast<std::size_t>(c)] = width;
        if (c != kSubjectColumn) fitColumns();
    });
    connect(header(), &QHeaderView::sectionMoved, this, [this] {
        if (!applying_) columnMoved();
    });
    connect(header(), &QHeaderView::sortIndicatorChanged, this, [this](int c, Qt::SortOrder order) {
        if (applying_ || c < 0) return;
        layout_.sortColumn = c;
        layout_.descending = order == Qt::DescendingOrder;
    });
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, &ItemList::openContextMenu);
    connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (!index.isValid()) return;
        viewItem(row(index.row()).path, window());
    });
}

int ItemList::rows() const {
    return static_cast<int>(model_->rows().size());
}

int ItemList::sourceRow(int i) const {
    return sorted_->mapToSource(sorted_->index(i, 0)).row();
}

const MailRow& ItemList::row(int i) const {
    return model_->rows().at(static_cast<std::size_t>(sourceRow(i)));
}

QString ItemList::cellText(int i, int c) const {
    return model_->text(sourceRow(i), c);
}

void ItemList::storeLayout() const {
    config::writeListColumns(encodeColumnLayout(layout_));
}

// The columns fill the list's width: the subject takes the room the others leave, never less
// than its own width. Where that is too little, From and To (unless the user sized them) give up
// room in proportion to their widths, each down to its title's width; only then does the list
// scroll sideways. A list not shown has no width to fit into.
void ItemList::fitColumns() {
    auto own = [this](int c) {
        int stored = layout_.widths[static_cast<std::size_t>(c)];
        return stored > 0 ? stored : kColumns[c].width;
    };
    std::vector<int> yielding;
    int fixed = 0;
    int preferred = 0;
    for (int c = 0; c < model_->columnCount({}); ++c) {
        if (c == kSubjectColumn) continue;
        bool userSized = layout_.widths[static_cast<std::size_t>(c)] > 0;
        if (!userSized && std::find(std::begin(kYielding), std::end(kYielding), c) != std::end(kYielding)) {
            yielding.push_back(c);
            preferred += own(c);
        } else {
            fixed += header()->sectionSize(c);
        }
    }
    int room = viewport()->width() - fixed - own(kSubjectColumn);  // for the yielding columns
    bool was = applying_;
    applying_ = true;
    int others = fixed;
    for (int c : yielding) {
        int width = own(c);
        if (isVisible() && room < preferred && preferred > 0)
            width = std::max(header()->sectionSizeHint(c),
                             static_cast<int>(static_cast<long long>(own(c)) * std::max(room, 0) / preferred));
        header()->resizeSection(c, width);
        others += width;
    }
    header()->resizeSection(kSubjectColumn, std::max(own(kSubjectColumn), viewport()->width() - others));
    applying_ = was;
}

void ItemList::resizeEvent(QResizeEvent* event) {
    QTreeView::resizeEvent(event);
    fitColumns();
}

bool ItemList::viewportEvent(QEvent* event) {
    bool handled = QTreeView::viewportEvent(event);
    if (event->type() == QEvent::Resize) fitColumns();
    return handled;
}

void ItemList::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentIndex().isValid()) {
        viewItem(row(currentIndex().row()).path, window());
        event->accept();
        return;
    }
    QTreeView::keyPressEvent(event);
}

// The user dragged a column: the shown columns' new order, with the account column (absent
// outside the all-accounts view) keeping its place among them.
void ItemList::columnMoved() {
    std::vector<int> order = shownColumnsBy([this](int c) { return header()->visualIndex(c); });
    if (static_cast<int>(order.size()) < kListColumnCount) {
        int last = kListColumnCount - 1;
        auto at = std::min<std::size_t>(static_cast<std::size_t>(layout_.positions[static_cast<std::size_t>(last)]),
                                        order.size());
        order.insert(order.begin() + static_cast<std::ptrdiff_t>(at), last);
    }
    for (std::size_t p = 0; p < order.size(); ++p)
        layout_.positions[static_cast<std::size_t>(order[p])] = static_cast<int>(p);
}

void ItemList::applyOrder() {
    std::vector<int> order = shownColumnsBy([this](int c) { return layout_.positions[static_cast<std::size_t>(c)]; });
    for (std::size_t p = 0; p < order.size(); ++p)
        header()->moveSection(header()->visualIndex(order[p]), static_cast<int>(p));
}

// The shown columns, ordered by a place given to each.
std::vector<int> ItemList::shownColumnsBy(const std::function<int(int)>& place) const {
    std::vector<int> order(static_cast<std::size_t>(model_->columnCount({})));
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](int a, int b) { return place(a) < place(b); });
    return order;
}

FolderKind ItemList::kind() const {
    return model_->kind();
}

// A reset model gives the header fresh sections: the user's widths, order and sort return.
// Columns the user never sized take their default width or their contents'; the subject takes
// what is left.
void ItemList::buildColumns() {
    applying_ = true;
    int shown = model_->columnCount({});
    for (int c = 0; c < shown; ++c) {
        header()->setSectionResizeMode(c, QHeaderView::Interactive);
        int width = layout_.widths[static_cast<std::size_t>(c)];
        header()->resizeSection(c, width > 0 ? width : kColumns[c].width);
    }
    if (!model_->rows().empty()) {
        for (int c : kAutoSized) {
            if (c < shown && layout_.widths[static_cast<std::size_t>(c)] == 0) resizeColumnToContents(c);
        }
    }
    applyOrder();
    fitColumns();
    int sortColumn = layout_.sortColumn < shown ? layout_.sortColumn : kDateColumn;
    sortByColumn(sortColumn, layout_.descending ? Qt::DescendingOrder : Qt::AscendingOrder);
    applying_ = false;
}

void ItemList::showFolder(FolderKind kind, const std::string& title, Listings* listings) {
    // What the user was looking at comes back after the rebuild when it is still there.
    std::string selectedPath;
    QModelIndex current = currentIndex();
    if (current.isValid() && current.row() < rows()) selectedPath = row(current.row()).path;
    int scroll = verticalScrollBar()->value();

    Listings own;
    model_->reset(kind, folderRows(kind, title, cache_, listings ? *listings : own));
    buildColumns();

    if (!selectedPath.empty()) {
        const auto& rows = model_->rows();
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (rows[i].path != selectedPath) continue;
            setCurrentIndex(sorted_->mapFromSource(model_->index(static_cast<int>(i), 0)));
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
    // Made afresh each time and gone once closed.
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("MAILLISTMENU"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addAction(MailList::tr("&View"), this, &ItemList::viewRequested)->setObjectName(QStringLiteral("view"));
    menu->addSeparator();
    menu->addAction(MailList::tr("&Delete"), this, &ItemList::deleteRequested)->setObjectName(QStringLiteral("delete"));
    menu->popup(viewport()->mapToGlobal(pos));
}

bool confirmAndDelete(const MailRow& row, QWidget* owner) {
    QString text = MailList::tr("Confirm deletion of mail item '%1':'%2'.\nClick 'YES' to delete, or 'NO' to cancel.")
                       .arg(QString::fromStdString(row.header.from.value_or("-")),
                            QString::fromStdString(row.header.subject.value_or("-")));
    if (messageBox(owner, {text.toStdString(), "Tarnwick", QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes}) !=
        QMessageBox::Yes)
        return false;
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
