// The wizard's manual server page: the POP3 log-in (fields "popServer", kept in lower case,
// "popSecurity", "popPort", "popUser", "popPassword"), and how Tarnwick logs in there: with that
// password, or with OAuth 2.0 (fields "oauth", "oauthPreset", "oauthClientId"), the password
// then being the one the e-mail program logs in to Tarnwick with. Next waits for the three
// mandatory fields and a usable port.
#pragma once

#include "frontend/settings/security_fields.h"

#include <QWizardPage>

struct FoundState;
class QLabel;

class WizardServerPage : public QWizardPage {
    Q_OBJECT

public:
    explicit WizardServerPage(const FoundState* state);

    void initializePage() override;
    bool isComplete() const override;
    bool validatePage() override;

private:
    const FoundState* state_;
    QLabel* why_;
    PopLogin pop_;
};
