#include "frontend/settings/wizard_pages.h"

#include "frontend/dialogs/controls.h"

#include <QCoreApplication>
#include <QFormLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <QWizard>
#include <QWizardPage>

bool noProblems(QWidget* owner, const std::vector<std::string>& problems) {
    for (const std::string& p : problems) tellUser(owner, p, QMessageBox::Warning);
    return problems.empty();
}

QLabel* layOut(QWizardPage* page, const QString& intro, QFormLayout* form, const QString& note) {
    page->setTitle(QCoreApplication::translate("AccountWizard", "Add account wizard"));
    auto* layout = new QVBoxLayout(page);
    QLabel* introLabel = noteLabel(page, intro);
    layout->addWidget(introLabel);
    layout->addLayout(form);
    if (!note.isEmpty()) layout->addWidget(noteLabel(page, note));
    layout->addStretch(1);
    return introLabel;
}

void fitHeight(QWizardPage* page, const QWizard* wizard) {
    // The page entered takes the place, and so the width, of the one shown now.
    const QWizardPage* shown = wizard ? wizard->currentPage() : nullptr;
    int width = shown && shown != page ? shown->width() : page->width();
    page->setMinimumHeight(0);
    page->setMinimumHeight(page->layout()->totalHeightForWidth(width));
}
