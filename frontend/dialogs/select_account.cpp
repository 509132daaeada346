#include "frontend/dialogs/select_account.h"
#include "config/account_values.h"

#include "frontend/desktop/desktop.h"
#include "frontend/desktop/mail_client.h"
#include "frontend/dialogs/modal.h"
#include "frontend/dialogs/controls.h"
#include "config/settings.h"

#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstdio>
#include <vector>

namespace {

struct Choice {
    std::string title;
    std::string client;
};

class SelectAccountDialog : public QDialog {
public:
    SelectAccountDialog(QWidget* owner, const std::string& prompt, const std::vector<Choice>& choices)
        : QDialog(owner) {
        setObjectName(QStringLiteral("selectAccountDialog"));
        setWindowTitle(tr("Select account"));
        setMinimumWidth(340);
        auto* text = noteLabel(this, QCoreApplication::translate("Tarnwick", prompt.c_str()));
        text->setObjectName(QStringLiteral("prompt"));
        list_ = new QListWidget(this);
        list_->setObjectName(QStringLiteral("accountList"));
        list_->setSortingEnabled(true);
        text->setBuddy(list_);
        for (std::size_t i = 0; i < choices.size(); ++i) {
            auto* item = new QListWidgetItem(QStringLiteral("%1 (%2)").arg(QString::fromStdString(choices[i].title),
                                                                           QString::fromStdString(choices[i].client)));
            item->setData(Qt::UserRole, static_cast<int>(i));
            list_->addItem(item);
        }
        auto* buttons = new QDialogButtonBox(this);
        auto* select = buttons->addButton(tr("&Select"), QDialogButtonBox::AcceptRole);
        select->setObjectName(QStringLiteral("select"));
        buttons->addButton(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cancel"));
        connect(buttons, &QDialogButtonBox::accepted, this, [this] { choose(); });
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
        connect(list_, &QListWidget::itemDoubleClicked, this, [this] { choose(); });
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(text);
        layout->addWidget(list_);
        layout->addWidget(buttons);
    }

    // The index of the chosen account; -1 unless Select was pressed with an entry selected.
    int chosen() const { return chosen_; }

private:
    void choose() {
        QListWidgetItem* item = list_->currentItem();
        chosen_ = item && item->isSelected() ? item->data(Qt::UserRole).toInt() : -1;
        accept();
    }
    QListWidget* list_;
    int chosen_ = -1;
};

}  // namespace

void selectAccount(QWidget* owner, const std::string& prompt, std::function<void(int)> chosen) {
    // The one dialog open now, which a second request brings to the front.
    static QPointer<QDialog> open;
    if (open) {
        open->raise();
        open->activateWindow();
        return;
    }
    plat::RegKey accounts;
    int count = config::openAccountsKey(accounts) ? config::accountCount(accounts) : 0;
    if (count <= 0) return chosen(-1);
    if (count == 1) return chosen(0);
    std::vector<Choice> choices;
    bool sameClient = true;
    for (int i = 0; i < count; ++i) {
        Choice c;
        config::accountTitle(accounts, i, c.title);
        c.client = config::accountString(accounts, i, config::kClientNameValue);
        if (!choices.empty() && c.client != choices.front().client) sameClient = false;
        choices.push_back(std::move(c));
    }
    if (sameClient) return chosen(0);
    auto* dialog = new SelectAccountDialog(owner, prompt, choices);
    open = dialog;
    openCentred(dialog, [dialog, count, chosen = std::move(chosen)](int) {
        open = nullptr;
        int index = dialog->chosen();
        chosen(index >= 0 && index < count ? index : -1);
    });
    if (open) {
        dialog->raise();
        dialog->activateWindow();
    }
}

void readMail(QWidget* owner) {
    plat::RegKey accounts;
    if (!config::openAccountsKey(accounts) || config::accountCount(accounts) < 1) return;
    selectAccount(owner, QT_TRANSLATE_NOOP("Tarnwick", "Select account whose mail you wish to read:"), [](int index) {
        // The accounts are read again: they may have changed while the dialog was open.
        plat::RegKey now;
        if (index == -1 || !config::openAccountsKey(now) || index >= config::accountCount(now)) return;
        launchCommandLine(config::accountString(now, index, config::kClientFileValue));
    });
}

bool removeAccount(QWidget* owner, int accountIndex) {
    plat::RegKey accounts;
    std::string title;
    if (accountIndex < 0 || !config::openAccountsKey(accounts) || !config::accountTitle(accounts, accountIndex, title))
        return false;
    QString text = QCoreApplication::translate("Tarnwick",
                                               "Confirm that you wish to remove account '%1'.\nClick YES to remove.")
                       .arg(QString::fromStdString(title));
    if (messageBox(owner, {text.toStdString(), QT_TRANSLATE_NOOP("Tarnwick", "Tarnwick - Account Removal"),
                           QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes}) != QMessageBox::Yes)
        return false;
    return config::deleteAccountKey(accounts, title);
}
