// The fields of how an account fetches its mail: the protocol (a row of the log-in form, where
// it makes the port follow it), and a group with the IMAP folders, what becomes of fetched mail
// at the provider and, for IMAP, the folder it is moved to instead of being deleted. The
// values come from and go to RetrievalValues; the checks are validation::checkRetrieval.
#pragma once

#include "frontend/settings/retrieval_values.h"
#include "frontend/settings/validation.h"

#include <QGroupBox>

#include <cstdint>

class NumberBox;
class QComboBox;
class QFormLayout;
class QLineEdit;
class QRadioButton;

// The protocol list ("protocol": "POP3", "IMAP", the stored value as item data) as a row of
// form.
QComboBox* protocolRow(QWidget* parent, QFormLayout* form);
// Makes a change of protocol propose its usual port for the chosen security in port (the
// row of securityRow), unless the user typed a port of their own. IMAP chosen while no
// security is chosen brings TLS, and so port 993: what the engine uses for an IMAP account
// that names neither.
void followProtocol(QComboBox* protocol, QComboBox* security, NumberBox* port);
void showProtocol(QComboBox* protocol, std::uint32_t stored);
std::uint32_t chosenProtocol(const QComboBox* protocol);

class RetrievalFields : public QGroupBox {
    Q_OBJECT

public:
    explicit RetrievalFields(QWidget* parent);

    // Shows values; the IMAP rows only for an IMAP account.
    void showValues(const RetrievalValues& values);
    // What the fields hold, for an account of protocol (the protocol row's choice). Folders
    // left empty are "INBOX"; blanks around names are dropped.
    RetrievalValues values(std::uint32_t protocol) const;
    // Shows or hides the rows that only IMAP has.
    void setProtocol(std::uint32_t protocol);
    // Puts the cursor into the field a refusal names.
    void focusField(validation::AccountField field);

signals:
    // The choice of what becomes of fetched mail changed (a kLeaveMail value).
    void leaveMailChosen(std::uint32_t leaveMail);

private:
    std::uint32_t chosenLeaveMail() const;
    void follow();

    QFormLayout* form_;
    QLineEdit* folders_;
    QRadioButton* remove_;
    QRadioButton* keep_;
    QRadioButton* later_;
    NumberBox* days_;
    QLineEdit* moveFolder_;
    int foldersRow_ = 0;  // with its note under it
    int moveRow_ = 0;
    std::uint32_t protocol_ = config::kProtocolPop3;
};
