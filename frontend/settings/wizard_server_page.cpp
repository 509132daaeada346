#include "frontend/settings/wizard_server_page.h"

#include "frontend/dialogs/controls.h"
#include "frontend/settings/sign_in_fields.h"
#include "frontend/settings/validation.h"
#include "frontend/settings/wizard_pages.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

WizardServerPage::WizardServerPage(const FoundState* state) : state_(state) {
    setObjectName(QStringLiteral("serverPage"));
    auto* form = new QFormLayout;
    // Why the look-up led here, when it did.
    why_ = noteLabel(this, {});
    why_->setObjectName(QStringLiteral("manualReason"));
    why_->hide();
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
    registerField(QStringLiteral("popPort"), pop_.port->edit());
    registerField(QStringLiteral("popSecurity"), pop_.security, "currentData");
    connect(pop_.port->edit(), &QLineEdit::textChanged, this, &QWizardPage::completeChanged);
    auto* signIn = new SignInFields(this, form, {});
    signIn->registerFields(
        [this](const QString& name, QWidget* widget, const char* property) { registerField(name, widget, property); });
    connect(signIn, &SignInFields::oauthChosen, this, [this](bool on) {
        pop_.password->setToolTip(on ? tr("The password your e-mail program logs in to Tarnwick with; the "
                                          "provider asks for yours on its own sign-in page, after Finish.")
                                     : QString());
    });
    layOut(this,
           tr("Enter the POP3 server of your provider, the security it asks for, and the user name and "
              "password of your mailbox there."),
           form);
    static_cast<QVBoxLayout*>(layout())->insertWidget(0, why_);
}

void WizardServerPage::initializePage() {
    why_->setText(state_->why);
    why_->setVisible(!state_->why.isEmpty());
    // Most providers take the address as the user name.
    if (state_->haveAddress && pop_.user->text().isEmpty())
        pop_.user->setText(QString::fromStdString(state_->address.text()));
}

bool WizardServerPage::isComplete() const {
    return QWizardPage::isComplete() && validation::readPort(text(pop_.port)).has_value();
}

bool WizardServerPage::validatePage() {
    return noProblems(this, validation::checkAccountServer(pop_.server->text().toLower().toStdString(), text(pop_.user),
                                                           text(pop_.password), text(pop_.port)));
}
