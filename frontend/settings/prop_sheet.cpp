#include "frontend/settings/prop_sheet.h"

#include "frontend/dialogs/center_on_screen.h"
#include "frontend/dialogs/modal.h"

#include <QAbstractButton>
#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QWizard>

namespace {

void activatePage(PropPage* page) {
    page->activate();
    page->activated();
}

// Tabs with OK and Cancel (no Apply). A page is validated when it is left and before OK; OK
// applies every page that has been active.
class TabbedSheet : public QDialog {
public:
    TabbedSheet(QWidget* parent, const QString& caption, const std::vector<PropPage*>& pages)
        : QDialog(parent), pages_(pages), visited_(pages.size(), false) {
        setObjectName(QStringLiteral("sheet"));
        setWindowTitle(caption);
        tabs_ = new QTabWidget(this);
        tabs_->setObjectName(QStringLiteral("tabs"));
        for (PropPage* p : pages_) tabs_->addTab(p, p->title());
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
        buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("ok"));
        buttons->button(QDialogButtonBox::Ok)->setDefault(true);
        buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cancel"));
        connect(buttons, &QDialogButtonBox::accepted, this, [this] { ok(); });
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
        connect(tabs_, &QTabWidget::currentChanged, this, [this](int index) { changeTo(index); });
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(tabs_);
        layout->addWidget(buttons);
    }

    void start() {
        if (pages_.empty()) return;
        current_ = 0;
        enter(0);
    }
    int current() const { return current_; }

private:
    void enter(int index) {
        visited_[static_cast<std::size_t>(index)] = true;
        activatePage(pages_[static_cast<std::size_t>(index)]);
    }
    void setTab(int index) {
        QSignalBlocker block(tabs_);
        tabs_->setCurrentIndex(index);
    }
    // The tab bar has already switched: the old page stays in front while it is validated
    // (its messages appear over it), and keeps the focus when it is invalid.
    void changeTo(int index) {
        if (index == current_ || index < 0) return;
        setTab(current_);
        if (!pages_[static_cast<std::size_t>(current_)]->validate()) return;
        current_ = index;
        setTab(index);
        enter(index);
    }
    void ok() {
        if (!pages_[static_cast<std::size_t>(current_)]->validate()) return;
        for (std::size_t i = 0; i < pages_.size(); ++i) {
            if (!visited_[i] || pages_[i]->apply()) continue;
            // Not stored: that page comes to the front and the sheet stays.
            int index = static_cast<int>(i);
            if (index != current_) {
                current_ = index;
                setTab(index);
                enter(index);
            }
            return;
        }
        accept();
    }

    std::vector<PropPage*> pages_;
    std::vector<bool> visited_;
    QTabWidget* tabs_ = nullptr;
    int current_ = 0;
};

// One wizard step holding a page.
class WizardStep : public QWizardPage {
public:
    explicit WizardStep(PropPage* page) : page_(page) {
        setTitle(page->title());
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(page);
    }
    bool validatePage() override { return page_->validate() != 0; }
    PropPage* page() const { return page_; }

private:
    PropPage* page_;
};

// Back, Next, Finish and Cancel. A page is validated on Next and Finish; Back leaves it as it
// is. Finish tells the page it was pressed on.
class WizardSheet : public QWizard {
public:
    WizardSheet(QWidget* parent, const QString& caption, const std::vector<PropPage*>& pages) : QWizard(parent) {
        setObjectName(QStringLiteral("wizard"));
        setWindowTitle(caption);
        setWizardStyle(QWizard::ClassicStyle);
        setOption(QWizard::NoBackButtonOnStartPage, false);
        for (PropPage* p : pages) addPage(new WizardStep(p));
        button(QWizard::BackButton)->setObjectName(QStringLiteral("back"));
        button(QWizard::NextButton)->setObjectName(QStringLiteral("next"));
        button(QWizard::FinishButton)->setObjectName(QStringLiteral("finish"));
        button(QWizard::CancelButton)->setObjectName(QStringLiteral("cancel"));
        connect(this, &QWizard::currentIdChanged, this, [this](int id) {
            if (auto* step = dynamic_cast<WizardStep*>(page(id))) activatePage(step->page());
        });
    }

    void start() { restart(); }

    void done(int result) override {
        if (result != QDialog::Accepted) {
            QWizard::done(result);
            return;
        }
        if (!validateCurrentPage()) return;
        if (auto* step = dynamic_cast<WizardStep*>(currentPage())) step->page()->finish();
        QDialog::done(result);   // validated already
    }
};

}  // namespace

PropPage::PropPage(const char* name, const QString& title) : title_(title) {
    setObjectName(QLatin1String(name));
}

void PropPage::setWizardButtons(int flags) {
    if (sheet_) sheet_->setWizardButtons(flags);
}

PropSheet::PropSheet(QWidget* parent, const QString& caption) : parent_(parent), caption_(caption) {}

void PropSheet::addPage(PropPage* page) {
    pages_.push_back(page);
}

int PropSheet::show(bool wizard) {
    for (PropPage* p : pages_) p->sheet_ = this;
    int result = wizard ? run<WizardSheet>() : run<TabbedSheet>();
    for (PropPage* p : pages_) p->sheet_ = nullptr;
    return result;
}

// Builds the dialog, lets the first page in and runs it; the pages leave the dialog before it
// is destroyed.
template <class Dialog>
int PropSheet::run() {
    Dialog sheet(parent_, caption_, pages_);
    dialog_ = &sheet;
    sheet.start();
    sheet.adjustSize();
    centerOnScreen(&sheet);
    int result = execModal(sheet);
    for (PropPage* p : pages_) p->setParent(nullptr);
    dialog_ = nullptr;
    return result == QDialog::Accepted ? 1 : 0;
}

int PropSheet::currentIndex() const {
    if (auto* w = dynamic_cast<QWizard*>(dialog_)) {
        auto* step = dynamic_cast<WizardStep*>(w->currentPage());
        for (std::size_t i = 0; step && i < pages_.size(); ++i)
            if (pages_[i] == step->page()) return static_cast<int>(i);
        return -1;
    }
    if (auto* t = dynamic_cast<TabbedSheet*>(dialog_)) return t->current();
    return -1;
}

void PropSheet::setWizardButtons(int flags) {
    auto* w = dynamic_cast<QWizard*>(dialog_);
    if (!w) return;
    w->button(QWizard::BackButton)->setEnabled((flags & PSWIZB_BACK) != 0);
    w->button(QWizard::NextButton)->setEnabled((flags & PSWIZB_NEXT) != 0);
    w->button(QWizard::FinishButton)->setEnabled((flags & PSWIZB_FINISH) != 0);
}
