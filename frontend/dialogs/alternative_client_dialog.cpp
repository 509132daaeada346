#include "frontend/dialogs/alternative_client_dialog.h"

#include "frontend/dialogs/center_on_screen.h"
#include "frontend/dialogs/modal.h"
#include "frontend/dialogs/browse.h"
#include "frontend/dialogs/controls.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

AlternativeClientDialog::AlternativeClientDialog(std::string& commandLine, QWidget* owner)
    : QDialog(owner), commandLine_(commandLine) {
    setObjectName(QStringLiteral("alternativeClientDialog"));
    setWindowTitle(tr("Alternative e-mail client"));
    edit_ = textEdit(this, "commandLine");
    edit_->setMinimumWidth(360);
    setText(edit_, commandLine_);
    auto* browseButton = pushButton(this, "browseCommandLine", tr("&Browse..."));
    connect(browseButton, &QPushButton::clicked, this, [this] { browse(); });
    auto* row = new QHBoxLayout;
    row->addWidget(edit_, 1);
    row->addWidget(browseButton);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("ok"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, [this] { ok(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(buddyLabel(this, tr("&Command line:"), edit_));
    layout->addLayout(row);
    layout->addWidget(buttons);
}

void AlternativeClientDialog::browse() {
    std::string path = browseForFile(this, kFilterAll, true);
    if (!path.empty()) commandLine_ = commandLineForPath(path);
    setText(edit_, commandLine_);
}

void AlternativeClientDialog::ok() {
    commandLine_ = edit_->text().left(259).toStdString();
    done(1);
}

int editAlternativeClient(std::string& commandLine, QWidget* owner) {
    AlternativeClientDialog dialog(commandLine, owner);
    dialog.adjustSize();
    centerOnScreen(&dialog);
    return execModal(dialog) == 1 ? 1 : 0;
}
