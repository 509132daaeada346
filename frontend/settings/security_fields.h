// The fields every connection to a provider's server shares: the kind of security and the
// port, linked so that choosing a security proposes its usual port without overwriting a port
// the user typed.
#pragma once

#include <QString>

#include <cstdint>
#include <string>

class QComboBox;
class QFormLayout;
class QLayout;
class QLineEdit;
class NumberBox;
class QWidget;

enum class MailService { Pop3, Smtp, Imap };

// Stored security values: 0 plain, 1 STARTTLS (STLS for POP3), 2 TLS from the first byte.
constexpr std::uint32_t kSecurityNone = 0;
constexpr std::uint32_t kSecurityStartTls = 1;
constexpr std::uint32_t kSecurityTls = 2;

// The usual port of service with that security: POP3 110, 110, 995; SMTP 25, 587, 465;
// IMAP 143, 143, 993.
unsigned proposedPort(MailService service, std::uint32_t security);

// A server's security list ("<prefix>Security": "None", "STARTTLS", "TLS", the stored value as
// item data) and port spin box from 1 to 65535 ("<prefix>Port", holding the port proposed for
// None), and the row "[security]  Port: [port]". Choosing a security puts its proposed port
// into the box while it is empty or still holds the port proposed for the security chosen
// before. With a server edit, a label ("plainTextWarning") under the row is shown while no
// security is chosen for a server outside this machine; its room is kept while it is hidden,
// so that a dialog sized without it still shows it whole.
struct SecurityRow {
    QComboBox* security;
    NumberBox* port;
    QLayout* layout;
};
SecurityRow securityRow(QWidget* parent, const std::string& prefix, MailService service,
                        const QLineEdit* server = nullptr);
// Makes the row of security and port propose the ports of service from now on (an account
// switched between POP3 and IMAP): the port changes to service's usual one while it is empty
// or holds the port proposed before; a port the user typed stays.
void switchService(const QComboBox* security, NumberBox* port, MailService service);

// A POP3 account's log-in as rows of form, each with its label as buddy: the server, its
// security and port ("popServer", "popSecurity", "popPort", with the plain-text warning), the
// user name ("popUser") and the hidden password ("popPassword").
struct PopLogin {
    QLineEdit* server;
    QComboBox* security;
    NumberBox* port;
    QLineEdit* user;
    QLineEdit* password;
};
PopLogin popLoginRows(QWidget* parent, QFormLayout* form, const QString& serverLabel, const QString& passwordLabel);

// Chooses the item for a stored value; a value the list does not know is shown as TLS, which
// is how the engine reads it.
void showSecurity(QComboBox* combo, std::uint32_t stored);
// The value of the item showSecurity chooses for stored.
std::uint32_t shownSecurity(std::uint32_t stored);
std::uint32_t chosenSecurity(const QComboBox* combo);
// What a page says about a port that is not a number from 1 to 65535.
extern const char kPortMessage[];
