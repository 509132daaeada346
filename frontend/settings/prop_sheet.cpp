#include "frontend/settings/prop_sheet.h"

#include "frontend/dialogs/center_on_screen.h"
#include "frontend/dialogs/controls.h"
#include "frontend/dialogs/modal.h"
#include "frontend/settings/settings_model.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

// The page's first field the Tab key reaches: the focus chain follows the fields from top
// to bottom.
void focusFirstField(QWidget* page) {
    for (QWidget* w = page->nextInFocusChain(); w && w != page; w = w->nextInFocusChain()) {
        if (page->isAncestorOf(w) && w->isEnabled() && w->isVisibleTo(page) && (w->focusPolicy() & Qt::TabFocus)) {
            w->setFocus();
            return;
        }
    }
}

}  // namespace

PropPage::PropPage(const char* name, const QString& title, SettingsModel& model) : model_(model), title_(title) {
    setObjectName(QLatin1String(name));
}

PropSheet::PropSheet(QWidget* parent, const QString& caption, SettingsModel& model)
    : QDialog(parent), model_(model), tabs_(new QTabWidget(this)) {
    setObjectName(QStringLiteral("sheet"));
    setWindowTitle(caption);
    tabs_->setObjectName(QStringLiteral("tabs"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("ok"));
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &PropSheet::ok);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(tabs_, &QTabWidget::currentChanged, this, &PropSheet::changeTo);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_);
    layout->addWidget(buttons);
}

void PropSheet::addPage(PropPage* page) {
    QSignalBlocker block(tabs_);
    pages_.push_back(page);
    visited_.push_back(false);
    tabs_->addTab(page, page->title());
}

bool PropSheet::run() {
    if (pages_.empty()) return false;
    setTab(0);
    enter(0);
    focusFirstField(pages_[0]);
    adjustSize();
    centerOnScreen(this);
    return execModal(*this) == QDialog::Accepted;
}

void PropSheet::enter(int index) {
    current_ = index;
    visited_[static_cast<std::size_t>(index)] = true;
    pages_[static_cast<std::size_t>(index)]->load();
}

void PropSheet::setTab(int index) {
    QSignalBlocker block(tabs_);
    tabs_->setCurrentIndex(index);
}

// The tab bar has already switched: the old page stays in front while it is checked (its
// messages appear over it), and keeps the focus when it refuses.
void PropSheet::changeTo(int index) {
    if (index == current_ || index < 0) return;
    setTab(current_);
    if (!pages_[static_cast<std::size_t>(current_)]->save()) return;
    setTab(index);
    enter(index);
}

void PropSheet::ok() {
    if (!pages_[static_cast<std::size_t>(current_)]->save()) return;
    if (!model_.store()) {
        tellUser(this, QT_TRANSLATE_NOOP("Tarnwick", "The settings could not be stored (refer to log file for further info)."),
                 MsgIcon::Warning);
        return;
    }
    for (std::size_t i = 0; i < pages_.size(); ++i)
        if (visited_[i]) pages_[i]->stored();
    accept();
}
