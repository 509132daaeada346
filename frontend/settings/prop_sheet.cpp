#include "frontend/settings/prop_sheet.h"

#include "frontend/dialogs/controls.h"
#include "frontend/dialogs/modal.h"
#include "frontend/settings/settings_model.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTextBrowser>
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

PropPage::PropPage(const char* name, const QString& title, SettingsModel& model) : model_(model) {
    setObjectName(QLatin1String(name));
    setWindowTitle(title);
}

PropSheet::PropSheet(QWidget* parent, const QString& caption, SettingsModel& model)
    : QDialog(parent),
      model_(model),
      tabs_(new QTabWidget(this)),
      body_(new QHBoxLayout) {
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
    body_->addWidget(tabs_);
    layout->addLayout(body_, 1);
    layout->addWidget(buttons);
}

void PropSheet::addPage(PropPage* page) {
    QSignalBlocker block(tabs_);
    tabs_->addTab(page, page->windowTitle());
}

PropPage* PropSheet::page(int index) const {
    return static_cast<PropPage*>(tabs_->widget(index));
}

void PropSheet::showHelpPanel(const QUrl& page) {
    auto* help = new QTextBrowser(this);
    help->setObjectName(QStringLiteral("helpPanel"));
    help->setOpenExternalLinks(true);
    // Text wraps at the panel's width: the page's table too, whose cells would otherwise keep it
    // wider than the panel (a word longer than a cell breaks), and its command examples.
    help->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    help->document()->setDefaultStyleSheet(QStringLiteral("pre { white-space: pre-wrap; }"));
    help->setSource(page);
    help->setMinimumWidth(320);
    body_->addWidget(help, 1);
}

void PropSheet::start(std::function<void(bool)> done) {
    auto finished = [done = std::move(done)](int result) {
        if (done) done(result == QDialog::Accepted);
    };
    if (tabs_->count() == 0) {
        finished(QDialog::Rejected);
        deleteLater();
        return;
    }
    setTab(0);
    enter(0);
    focusFirstField(page(0));
    if (beside_ && beside_->isVisible()) {
        adjustSize();
        placeSideBySide(this, beside_);
        // Modal for the main window only: the window beside it can still be scrolled and read.
        setWindowModality(Qt::WindowModal);
        openDialog(this, finished);
        return;
    }
    openCentred(this, finished);
}

void PropSheet::enter(int index) {
    current_ = index;
    page(index)->load();
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
    if (!page(current_)->save()) return;
    setTab(index);
    enter(index);
}

void PropSheet::ok() {
    if (!page(current_)->save()) return;
    if (!model_.store()) {
        tellUser(
            this,
            QT_TRANSLATE_NOOP("Tarnwick", "The settings could not be stored (refer to log file for further info)."),
            QMessageBox::Warning);
        return;
    }
    for (int i = 0; i < tabs_->count(); ++i) page(i)->stored();
    accept();
}
