#include "frontend/settings/security_fields.h"

#include "frontend/dialogs/controls.h"
#include "frontend/settings/validation.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include <memory>

const char kPortMessage[] = QT_TRANSLATE_NOOP("Tarnwick", "Please enter a port number from 1 to 65535.");

unsigned proposedPort(MailService service, std::uint32_t security) {
    if (service == MailService::Pop3) return security == kSecurityTls ? 995 : 110;
    if (service == MailService::Imap) return security == kSecurityTls ? 993 : 143;
    switch (security) {
    case kSecurityNone: return 25;
    case kSecurityStartTls: return 587;
    default: return 465;
    }
}

namespace {

// The service a row proposes ports for, kept on its port edit so that it can change.
constexpr char kServiceProperty[] = "mailService";

MailService serviceOf(const QWidget* port) {
    return static_cast<MailService>(port->property(kServiceProperty).toInt());
}

QString trTarnwick(const char* text) {
    return QCoreApplication::translate("Tarnwick", text);
}

QLabel* plainTextWarning(QWidget* parent, QComboBox* combo, const QLineEdit* server) {
    auto* label = new QLabel(trTarnwick(validation::kPlainTextMessage), parent);
    label->setObjectName(QStringLiteral("plainTextWarning"));
    label->setStyleSheet(QStringLiteral("color: #a0400b"));
    auto follow = [=] {
        label->setVisible(validation::sendsInTheClear(chosenSecurity(combo), server->text().toStdString()));
    };
    QObject::connect(combo, &QComboBox::currentIndexChanged, label, follow);
    QObject::connect(server, &QLineEdit::textChanged, label, follow);
    follow();
    return label;
}

QComboBox* securityList(QWidget* parent, const std::string& prefix) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(QString::fromStdString(prefix + "Security"));
    combo->addItem(trTarnwick(QT_TRANSLATE_NOOP("Tarnwick", "None")), kSecurityNone);
    combo->addItem(QStringLiteral("STARTTLS"), kSecurityStartTls);
    combo->addItem(QStringLiteral("TLS"), kSecurityTls);
    combo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    return combo;
}

// The row around the security list and the port box.
QLayout* securityLayout(QWidget* parent, QComboBox* combo, NumberBox* port, MailService service,
                        const QLineEdit* server) {
    port->setText(QString::number(proposedPort(service, kSecurityNone)));
    port->setProperty(kServiceProperty, static_cast<int>(service));
    auto before = std::make_shared<std::uint32_t>(kSecurityNone);
    QObject::connect(combo, &QComboBox::currentIndexChanged, port, [=] {
        std::uint32_t now = chosenSecurity(combo);
        QString held = port->text().trimmed();
        if (held.isEmpty() || held == QString::number(proposedPort(serviceOf(port), *before)))
            port->setText(QString::number(proposedPort(serviceOf(port), now)));
        *before = now;
    });
    auto* row = new QHBoxLayout;
    row->addWidget(combo);
    row->addSpacing(12);
    row->addWidget(buddyLabel(parent, trTarnwick("P&ort:"), port));
    row->addWidget(port);
    row->addStretch(1);
    if (!server) return row;
    QLabel* warning = plainTextWarning(parent, combo, server);
    QSizePolicy policy = warning->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    warning->setSizePolicy(policy);
    auto* column = new QVBoxLayout;
    column->addLayout(row);
    column->addWidget(warning);
    return column;
}

}  // namespace

SecurityRow securityRow(QWidget* parent, const std::string& prefix, MailService service, const QLineEdit* server) {
    QComboBox* combo = securityList(parent, prefix);  // first: Tab goes from it to the port
    auto* port = new NumberBox(parent, (prefix + "Port").c_str(), 1, 65535);
    QLayout* layout = securityLayout(parent, combo, port, service, server);
    return {combo, port, layout};
}

void switchService(const QComboBox* security, NumberBox* port, MailService service) {
    MailService before = serviceOf(port);
    if (before == service) return;
    std::uint32_t chosen = chosenSecurity(security);
    QString held = port->text().trimmed();
    port->setProperty(kServiceProperty, static_cast<int>(service));
    if (held.isEmpty() || held == QString::number(proposedPort(before, chosen)))
        port->setText(QString::number(proposedPort(service, chosen)));
}

PopLogin popLoginRows(QWidget* parent, QFormLayout* form, const QString& serverLabel, const QString& passwordLabel) {
    PopLogin pop;
    pop.server = textEdit(parent, "popServer");
    SecurityRow row = securityRow(parent, "pop", MailService::Pop3, pop.server);
    pop.security = row.security;
    pop.port = row.port;
    pop.user = textEdit(parent, "popUser");
    // The local POP3 server compares passwords of at most 99 characters.
    pop.password = textEdit(parent, "popPassword", 99);
    pop.password->setEchoMode(QLineEdit::Password);
    form->addRow(buddyLabel(parent, serverLabel, pop.server), pop.server);
    form->addRow(buddyLabel(parent, trTarnwick(QT_TRANSLATE_NOOP("Tarnwick", "Securit&y:")), pop.security), row.layout);
    form->addRow(buddyLabel(parent, trTarnwick("&User name:"), pop.user), pop.user);
    form->addRow(buddyLabel(parent, passwordLabel, pop.password), pop.password);
    return pop;
}

std::uint32_t shownSecurity(std::uint32_t stored) {
    return stored <= kSecurityTls ? stored : kSecurityTls;
}

void showSecurity(QComboBox* combo, std::uint32_t stored) {
    combo->setCurrentIndex(combo->findData(shownSecurity(stored)));
}

std::uint32_t chosenSecurity(const QComboBox* combo) {
    return combo->currentData().toUInt();
}
