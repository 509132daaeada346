#include "frontend/settings/account_wizard.h"

#include "frontend/desktop/desktop.h"
#include "frontend/desktop/mail_client.h"
#include "frontend/dialogs/controls.h"
#include "frontend/dialogs/modal.h"
#include "frontend/dialogs/new_account_dialog.h"
#include "frontend/settings/security_fields.h"
#include "frontend/settings/sign_in_fields.h"
#include "frontend/settings/validation.h"
#include "oauth/oauth_settings.h"
#include "config/settings.h"
#include "secrets/secret_moves.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QCoreApplication>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressDialog>
#include <QVBoxLayout>
#include <QWizard>

#include <functional>
#include <memory>

namespace {

// Shows each message in its own warning box; answers whether there was none.
bool noProblems(QWidget* owner, const std::vector<std::string>& problems) {
    for (const std::string& p : problems) tellUser(owner, p, QMessageBox::Warning);
    return problems.empty();
}

// A page's explanation above its form, a note below it, and room under both.
void layOut(QWizardPage* page, const QString& intro, QFormLayout* form, const QString& note = {}) {
    page->setTitle(QCoreApplication::translate("AccountWizard", "Add account wizard"));
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(noteLabel(page, intro));
    layout->addLayout(form);
    if (!note.isEmpty()) layout->addWidget(noteLabel(page, note));
    layout->addStretch(1);
}

QString fieldText(const QWizard* wizard, const char* name) {
    return wizard->field(QLatin1String(name)).toString();
}

// The account's title (field "accountTitle").
class WizardTitlePage : public QWizardPage {
    Q_OBJECT

public:
    WizardTitlePage() {
        setObjectName(QStringLiteral("titlePage"));
        accountTitle_ = textEdit(this, "accountTitle", 199);
        registerField(QStringLiteral("accountTitle*"), accountTitle_);
        auto* form = new QFormLayout;
        form->addRow(buddyLabel(this, tr("Account &title:"), accountTitle_), accountTitle_);
        layOut(this,
               tr("Give the new POP3 account a title. Your e-mail program logs in to Tarnwick with this title as "
                  "its user name."),
               form);
    }

    bool validatePage() override {
        // The registry would hand out an account whose title differs only in letter case.
        auto exists = [](const std::string& title) {
            plat::RegKey accounts;
            return config::openAccountsKey(accounts) &&
                   (config::findAccount(accounts, title) >= 0 || config::accountExists(title));
        };
        return noProblems(this, validation::checkAccountTitle(text(accountTitle_), exists));
    }

private:
    QLineEdit* accountTitle_;
};

// The POP3 log-in (fields "popServer", kept in lower case, "popSecurity", "popPort", "popUser",
// "popPassword"), and how Tarnwick logs in there: with that password, or with OAuth 2.0 (fields
// "oauth", "oauthPreset", "oauthClientId"), the password then being the one the e-mail program
// logs in to Tarnwick with. Next waits for the three mandatory fields and a usable port.
class WizardServerPage : public QWizardPage {
    Q_OBJECT

public:
    WizardServerPage() {
        setObjectName(QStringLiteral("serverPage"));
        auto* form = new QFormLayout;
        pop_ = popLoginRows(this, form, tr("POP3 &server:"), tr("&Password:"));
        // The server is kept in lower case as it is typed.
        QLineEdit* server = pop_.server;
        connect(server, &QLineEdit::textEdited, server, [server](const QString& t) {
            QString lower = t.toLower();
            if (lower == t) return;
            int at = server->cursorPosition();
            server->setText(lower);
            server->setCursorPosition(at);
        });
        registerField(QStringLiteral("popServer*"), pop_.server);
        registerField(QStringLiteral("popUser*"), pop_.user);
        registerField(QStringLiteral("popPassword*"), pop_.password);
        registerField(QStringLiteral("popPort"), pop_.port);
        registerField(QStringLiteral("popSecurity"), pop_.security, "currentData");
        connect(pop_.port, &QLineEdit::textChanged, this, &QWizardPage::completeChanged);
        auto* signIn = new SignInFields(this, form, {});
        signIn->registerFields([this](const QString& name, QWidget* widget, const char* property) {
            registerField(name, widget, property);
        });
        connect(signIn, &SignInFields::oauthChosen, this, [this](bool on) {
            pop_.password->setToolTip(on ? tr("The password your e-mail program logs in to Tarnwick with; the "
                                              "provider asks for yours on its own sign-in page, after Finish.")
                                         : QString());
        });
        layOut(this,
               tr("Enter the POP3 server of your provider, the security it asks for, and the user name and "
                  "password of your mailbox there."),
               form);
    }

    bool isComplete() const override {
        return QWizardPage::isComplete() && validation::readPort(text(pop_.port)).has_value();
    }

    bool validatePage() override {
        return noProblems(this, validation::checkAccountServer(pop_.server->text().toLower().toStdString(),
                                                               text(pop_.user), text(pop_.password), text(pop_.port)));
    }

private:
    PopLogin pop_;
};

// The e-mail program (field "emailProgram"), the desktop's default one chosen first.
class WizardClientPage : public QWizardPage {
    Q_OBJECT

public:
    WizardClientPage() {
        setObjectName(QStringLiteral("clientPage"));
        emailProgram_ = listBox(this, "emailProgram");
        registerField(QStringLiteral("emailProgram"), emailProgram_, "currentText");
        auto* form = new QFormLayout;
        form->addRow(buddyLabel(this, tr("E-mail &program:"), emailProgram_), emailProgram_);
        layOut(this, tr("Choose the e-mail program you read this account's mail with."), form,
               tr("Not listed? Choose it later as an alternative client in the account's properties."));
    }

    void initializePage() override {
        emailProgram_->clear();
        QStringList names;
        for (const std::string& n : listMailClients()) names << QString::fromStdString(n);
        names.sort(Qt::CaseInsensitive);
        emailProgram_->addItems(names);
        int at = emailProgram_->findText(QString::fromStdString(defaultMailClient()), Qt::MatchStartsWith);
        emailProgram_->setCurrentIndex(at >= 0 ? at : 0);
    }

private:
    QComboBox* emailProgram_;
};

class AccountWizard : public QWizard {
    Q_OBJECT

public:
    explicit AccountWizard(QWidget* parent) : QWizard(parent) {
        setObjectName(QStringLiteral("wizard"));
        setWindowTitle(tr("Add Account Wizard"));
        setWizardStyle(QWizard::ClassicStyle);
        setOption(QWizard::NoBackButtonOnStartPage, false);
        addPage(new WizardTitlePage);
        addPage(new WizardServerPage);
        addPage(new WizardClientPage);
        button(QWizard::BackButton)->setObjectName(QStringLiteral("back"));
        button(QWizard::NextButton)->setObjectName(QStringLiteral("next"));
        button(QWizard::FinishButton)->setObjectName(QStringLiteral("finish"));
        button(QWizard::CancelButton)->setObjectName(QStringLiteral("cancel"));
    }

    // The account as the pages hold it, once Finish was accepted. With OAuth 2.0 chosen its
    // "pass" is empty: the password typed is the local one.
    config::NewAccount account() const {
        config::NewAccount a;
        a.title = fieldText(this, "accountTitle").toStdString();
        a.server = fieldText(this, "popServer").toLower().toStdString();
        a.port = validation::readPort(fieldText(this, "popPort").toStdString()).value_or(110);
        a.security = field(QStringLiteral("popSecurity")).toUInt();
        a.user = fieldText(this, "popUser").toStdString();
        a.pass = oauth() ? std::string() : fieldText(this, "popPassword").toStdString();
        a.clientName = fieldText(this, "emailProgram").left(259).toStdString();
        a.clientFile = mailClientCommandLine(a.clientName);
        return a;
    }

    bool oauth() const { return field(QStringLiteral("oauth")).toUInt() == config::kAuthOAuth; }

    // Finish stores the account, its way of logging in and its secret, then closes the wizard;
    // created() says whether the account could be made.
    void accept() override {
        config::NewAccount a = account();
        plat::RegKey accounts;
        created_ = config::openAccountsKey(accounts) && config::createAccount(accounts, a);
        if (created_ && oauth()) {
            config::writeAccountDword(accounts, a.title, config::kAuthValue, config::kAuthOAuth);
            config::writeSecretFromEditing(a.title, plat::SecretKind::LocalPass,
                                           fieldText(this, "popPassword").toStdString());
        } else if (created_) {
            // Into the secret store, where there is one.
            config::writeSecretFromEditing(a.title, plat::SecretKind::Password, a.pass);
        }
        QWizard::accept();
    }
    bool created() const { return created_; }

private:
    bool created_ = false;
};

// Runs the sign-in of a new account while a small dialog, which can cancel it, says what to
// do; then() follows once it has ended, after a failure has been told.
void signInNewAccount(QWidget* owner, const std::string& title, const signin::Choice& choice,
                      std::function<void()> then) {
    auto* waiting = new QProgressDialog(
        QCoreApplication::translate("Tarnwick", "Sign in on the provider's page in your browser."),
        QCoreApplication::translate("Tarnwick", "Cancel"), 0, 0, owner);
    waiting->setObjectName(QStringLiteral("signInWaiting"));
    waiting->setWindowTitle(QStringLiteral("Tarnwick"));
    waiting->setAutoReset(false);
    waiting->setAutoClose(false);
    auto* run = new SignInRun(waiting);  // goes with the dialog
    struct Outcome {
        bool ok = false;
        QString why;
    };
    auto outcome = std::make_shared<Outcome>();
    QObject::connect(run, &SignInRun::finished, waiting, [waiting, outcome](bool good, const QString& message) {
        outcome->ok = good;
        outcome->why = message;
        waiting->accept();
    });
    QObject::connect(waiting, &QProgressDialog::canceled, run, &SignInRun::cancel);
    auto ended = [owner = QPointer<QWidget>(owner), outcome, then = std::move(then)](int) {
        if (!outcome->ok)
            tellUser(owner,
                     QT_TRANSLATE_NOOP("Tarnwick",
                                       "The account is not signed in yet: %1 Sign in with Sign in… on its "
                                       "Account page."),
                     QMessageBox::Warning, outcome->why.toStdString());
        if (then) then();
    };
    if (!run->start(title, choice)) {
        // finished() has come already, or comes from the loop: either way nothing to wait for.
        ended(0);
        waiting->deleteLater();
        return;
    }
    openDialog(waiting, std::move(ended));
}

}  // namespace

bool runAddAccountWizard(QWidget* owner) {
    AccountWizard wizard(owner);
    wizard.restart();
    if (execCentred(wizard) != QDialog::Accepted) return false;
    if (!wizard.created()) {
        // Settings for an account that does not exist would mislead the user.
        tellUser(
            owner,
            QT_TRANSLATE_NOOP("Tarnwick", "The account could not be created (refer to log file for further info)."),
            QMessageBox::Warning);
        return false;
    }
    // What follows Finish once the wizard has closed: the provider's sign-in, then the settings
    // for the e-mail program.
    config::NewAccount account = wizard.account();
    bool oauth = wizard.oauth();
    auto showSettings = [owner = QPointer<QWidget>(owner), account, oauth] {
        showNewAccountSettings(owner, account.clientName, account.clientFile, account.title, oauth);
    };
    if (oauth)
        signInNewAccount(
            owner, account.title,
            {fieldText(&wizard, "oauthPreset").toStdString(), fieldText(&wizard, "oauthClientId").toStdString(), {}},
            showSettings);
    else showSettings();
    return true;
}

#include "account_wizard.moc"
