// What the pages of the "Add Account Wizard" share: the state of the set-up from an address,
// which the look-up pages fill and the manual pages read, and the way a page is laid out and
// tells its problems.
#pragma once

#include "autoconfig/discovery.h"
#include "frontend/settings/found_account.h"

#include <QString>

#include <optional>
#include <string>
#include <vector>

class QFormLayout;
class QLabel;
class QWidget;
class QWizard;
class QWizardPage;

// What the pages of the set-up from an address share: the address, what the look-up found and
// the plan made of it, or why the manual pages follow instead.
struct FoundState {
    autoconfig::MailAddress address;
    bool haveAddress = false;
    autoconfig::Discovery discovery;
    std::optional<found::Plan> plan;
    QString why;  // said on the server page when the look-up led there
};

// Shows each message in its own warning box; answers whether there was none.
bool noProblems(QWidget* owner, const std::vector<std::string>& problems);

// A page's explanation above its form (answered), a note below it, and room under both.
QLabel* layOut(QWizardPage* page, const QString& intro, QFormLayout* form, const QString& note = {});

// Wrapped labels and rows leave a page's height to its width, which the wizard's window does
// not ask its pages for: this sets the page's minimum height to what the wizard's present width
// needs, so that the window grows to show it whole. Called as the page is entered.
void fitHeight(QWizardPage* page, const QWizard* wizard);
