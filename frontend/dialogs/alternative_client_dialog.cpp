#include "frontend/dialogs/alternative_client_dialog.h"

#include "frontend/dialogs/browse.h"
#include "frontend/dialogs/controls.h"
#include "frontend/dialogs/modal.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

class AlternativeClientDialog : public QDialog {
    Q_OBJECT

public:
    AlternativeClientDialog(const std::string& commandLine, QWidget* owner) : QDialog(owner) {
        setObjectName(QStringLiteral("alternativeClientDialog"));
        setWindowTitle(tr("Alternative e-mail client"));
        edit_ = textEdit(this, "commandLine");
        edit_->setMinimumWidth(360);
        setText(edit_, commandLine);
        auto* browseButton = pushButton(this, "browseCommandLine", tr("&Browse..."));
        connect(browseButton, &QPushButton::clicked, this, [this] {
            std::string path = browseForFile(this, FileKind::Any);
            if (!path.empty()) setText(edit_, commandLineForPath(path));
        });
        auto* row = new QHBoxLayout;
        row->addWidget(edit_, 1);
        row->addWidget(browseButton);
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
        buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("ok"));
        buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cancel"));
        connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(buddyLabel(this, tr("&Command line:"), edit_));
        layout->addLayout(row);
        layout->addWidget(buttons);
    }

    std::string commandLine() const { return edit_->text().left(259).toStdString(); }

private:
    QLineEdit* edit_;
};

}  // namespace

bool editAlternativeClient(std::string& commandLine, QWidget* owner) {
    AlternativeClientDialog dialog(commandLine, owner);
    if (execCentred(dialog) != QDialog::Accepted) return false;
    commandLine = dialog.commandLine();
    return true;
}

#include "alternative_client_dialog.moc"
