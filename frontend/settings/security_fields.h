// The fields every connection to a provider's server shares: the kind of security and the
// port, linked so that choosing a security proposes its usual port without overwriting a port
// the user typed.
#pragma once

#include <QString>

#include <cstdint>
#include <optional>

class QComboBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QWidget;

enum class MailService { Pop3, Smtp };

// Stored security values: 0 plain, 1 STARTTLS (STLS for POP3), 2 TLS from the first byte.
constexpr std::uint32_t kSecurityNone = 0;
constexpr std::uint32_t kSecurityStartTls = 1;
constexpr std::uint32_t kSecurityTls = 2;

// The usual port of service with that security: POP3 110, 110, 995; SMTP 25, 587, 465.
unsigned proposedPort(MailService service, std::uint32_t security);

// The list "None", "STARTTLS", "TLS", its item data the stored value.
QComboBox* securityCombo(QWidget* parent, const char* name);
// Chooses the item for a stored value; a value the list does not know is shown as TLS, which
// is how the engine reads it.
void showSecurity(QComboBox* combo, std::uint32_t stored);
// The value of the item showSecurity chooses for stored.
std::uint32_t shownSecurity(std::uint32_t stored);
std::uint32_t chosenSecurity(const QComboBox* combo);

// An edit for a port number (five digits).
QLineEdit* portEdit(QWidget* parent, const char* name);
// From now on, choosing another security in combo puts its proposed port into port, but only
// while port is empty or still holds the port proposed for the security chosen before.
void proposePortsOnChange(QComboBox* combo, QLineEdit* port, MailService service);

// The row "[security]  Port: [port]" with portLabel as the port's label, and a warning after
// them when one is given.
QHBoxLayout* securityPortRow(QComboBox* combo, QWidget* portLabel, QLineEdit* port, QLabel* warning = nullptr);

// A label ("plainTextWarning") that is shown while combo chooses no security for a server
// outside this machine, and follows both fields as they change.
QLabel* plainTextWarning(QWidget* parent, QComboBox* combo, QLineEdit* server);

// The port in the edit when it is a number from 1 to 65535.
std::optional<unsigned> readPort(const QLineEdit* port);
// What a page says about any other port.
extern const char kPortMessage[];

