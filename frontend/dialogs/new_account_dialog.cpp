#include "frontend/dialogs/new_account_dialog.h"

#include "frontend/desktop/mail_client.h"
#include "frontend/dialogs/controls.h"
#include "frontend/dialogs/modal.h"
#include "config/local_ports.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QLabel* valueLabel(QWidget* parent, const QString& text, const char* name) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return l;
}

}  // namespace

NewAccountSettingsDialog::NewAccountSettingsDialog(QWidget* owner, const std::string& clientName,
                                                   const std::string& commandLine, const std::string& accountTitle,
                                                   bool oauth)
    : QDialog(owner),
      commandLine_(commandLine) {
    setObjectName(QStringLiteral("newAccountSettingsDialog"));
    setWindowTitle(tr("New Account Settings for E-Mail Client"));
    auto* intro = noteLabel(this, tr("Set up an account in your e-mail program with these settings. "
                                     "It then fetches and sends its mail through Tarnwick."));
    auto* form = new QFormLayout;
    form->addRow(tr("E-mail program:"), valueLabel(this, QString::fromStdString(clientName), "emailProgram"));
    form->addRow(tr("Incoming mail server (POP3):"), valueLabel(this, QStringLiteral("127.0.0.1"), "in"));
    form->addRow(tr("Outgoing mail server (SMTP):"), valueLabel(this, QStringLiteral("127.0.0.1"), "out"));
    // The ports the engine really serves: they differ from 110 and 25 on unprivileged set-ups.
    const LocalPorts ports = currentLocalPorts();
    form->addRow(tr("Incoming mail port (POP3):"), valueLabel(this, QString::number(ports.pop3), "inPort"));
    form->addRow(tr("Outgoing mail port (SMTP):"), valueLabel(this, QString::number(ports.smtp), "outPort"));
    // The local servers offer no TLS and take no SMTP log-in: programs that propose either fail.
    form->addRow(tr("Encryption:"), valueLabel(this, tr("None (TLS and STARTTLS off)"), "encryption"));
    form->addRow(tr("Outgoing log-in (SMTP):"), valueLabel(this, tr("None"), "outLogin"));
    form->addRow(tr("User name:"), valueLabel(this, QString::fromStdString(accountTitle), "userName"));
    form->addRow(tr("Password:"), valueLabel(this, QStringLiteral("**********"), "password"));
    auto* note = noteLabel(this, oauth ? tr("Use the local password you gave this account in Tarnwick, not a "
                                            "password of your provider.")
                                       : tr("Use the password of this account at your provider, the one you "
                                            "gave Tarnwick."));
    note->setObjectName(QStringLiteral("passwordNote"));
    // Every account's mail goes to the same local SMTP server; the engine picks the way out.
    auto* outgoingNote = noteLabel(this, tr("One local SMTP server serves every account: Tarnwick sends each "
                                            "message through the outgoing server of the account whose address "
                                            "it comes from."));
    outgoingNote->setObjectName(QStringLiteral("outgoingNote"));

    auto* launch = new QPushButton(tr("&Launch client"), this);
    launch->setObjectName(QStringLiteral("launchClient"));
    // It has the focus first; Return still means OK, not starting a program.
    launch->setAutoDefault(false);
    connect(launch, &QPushButton::clicked, this, [this] { launchCommandLine(commandLine_); });
    QHBoxLayout* buttons = okRow(this, [this] { accept(); }, {launch});

    auto* top = new QVBoxLayout(this);
    top->addWidget(intro);
    top->addLayout(form);
    top->addWidget(note);
    top->addWidget(outgoingNote);
    top->addLayout(buttons);
    setMinimumWidth(400);
}

void showNewAccountSettings(QWidget* owner, const std::string& clientName, const std::string& commandLine,
                            const std::string& accountTitle, bool oauth) {
    auto* dialog = new NewAccountSettingsDialog(owner, clientName, commandLine, accountTitle, oauth);
    openCentred(dialog);
    dialog->raise();
    dialog->activateWindow();
}
