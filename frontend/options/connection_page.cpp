#include "frontend/options/connection_page.h"

#include "frontend/desktop.h"
#include "frontend/options/controls.h"
#include "shared/ras_status.h"
#include "shared/registry.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

const char* const ConnectionPage::kNoDialUp = "(no dial-up networking)";

namespace {

constexpr char kNoHostMessage[] =
    "Please enter the address of your SMTP mail server for outgoing mail to be delivered. (smtp.example.net)";

}  // namespace

ConnectionPage::ConnectionPage() : PropPage(620, tr("Connection")) {
    rasEntry_ = config::readSetting(config::kRasEntry);
    outHost_ = config::readSetting(config::kOutHostName);
    allowEstab_ = config::readSetting(config::kRASAllowEstab) != 0;
    failRetry_ = config::readSetting(config::kRASFailRetry) != 0;
    retryLimit_ = config::readSetting(config::kRASRetryLimit);
    pauseMinutes_ = config::readSetting(config::kCheckFreqRASRetry) / 60000;

    auto* dialUp = new QGroupBox(tr("Dial-Up Networking"), this);
    auto* entry = numberedCombo(dialUp, 621);
    auto* retries = numberEdit(dialUp, 624, 5);
    auto* pause = numberEdit(dialUp, 625, 5);
    auto* grid = new QGridLayout(dialUp);
    grid->addWidget(buddyLabel(dialUp, tr("&Connect with:"), entry), 0, 0);
    grid->addWidget(entry, 0, 1, 1, 3);
    grid->addWidget(numberedCheck(dialUp, 1031, tr("&Establish connection if necessary")), 1, 0, 1, 4);
    grid->addWidget(numberedCheck(dialUp, 623, tr("&Retry if DUN connect fails")), 2, 0, 1, 4);
    grid->addWidget(buddyLabel(dialUp, tr("Re&tries:"), retries), 3, 0);
    grid->addWidget(retries, 3, 1);
    grid->addWidget(buddyLabel(dialUp, tr("&Pause:"), pause), 4, 0);
    grid->addWidget(pause, 4, 1);
    grid->addWidget(new QLabel(tr("minutes"), dialUp), 4, 2);
    grid->setColumnStretch(3, 1);

    auto* outgoing = new QGroupBox(tr("Outgoing mail"), this);
    auto* host = numberedEdit(outgoing, 626);
    host->setPlaceholderText(QStringLiteral("smtp.example.net"));
    auto* hostLayout = new QVBoxLayout(outgoing);
    hostLayout->addWidget(buddyLabel(outgoing, tr("&SMTP server for outgoing mail:"), host));
    hostLayout->addWidget(host);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(dialUp);
    layout->addWidget(outgoing);
    layout->addStretch(1);
}

void ConnectionPage::activate() {
    auto* entry = control<QComboBox>(this, 621);
    entry->clear();
    std::vector<std::string> names;
    RASStatus().listEntries(names);
    for (const std::string& n : names) entry->addItem(QString::fromStdString(n));
    entry->insertItem(0, tr(kNoDialUp), QString::fromLatin1(kNoDialUp));
    int at = entry->findText(QString::fromStdString(rasEntry_), Qt::MatchExactly | Qt::MatchCaseSensitive);
    entry->setCurrentIndex(at > 0 && !rasEntry_.empty() ? at : 0);
    control<QCheckBox>(this, 1031)->setChecked(allowEstab_);
    control<QCheckBox>(this, 623)->setChecked(failRetry_);
    control<QLineEdit>(this, 624)->setText(QString::number(retryLimit_));
    control<QLineEdit>(this, 625)->setText(QString::number(pauseMinutes_));
    setText(control<QLineEdit>(this, 626), outHost_);
}

int ConnectionPage::validate() {
    auto* entry = control<QComboBox>(this, 621);
    // A host name has no blanks: blanks around it are dropped, blanks alone are no host.
    std::string host = control<QLineEdit>(this, 626)->text().trimmed().toStdString();
    unsigned retries = 0;
    unsigned pause = 0;
    bool retriesOk = readNumber(control<QLineEdit>(this, 624), retries);
    bool pauseOk = readNumber(control<QLineEdit>(this, 625), pause);
    if (host.empty()) {
        messageBox(this, {kNoHostMessage, "Tarnwick", MsgButtons::Ok, IDOK});
        return 0;
    }
    if (!retriesOk || retries == 0 || !pauseOk || pause == 0 || pause > kMaxMinutes) return 0;
    // The first entry is stored as no entry (its data is the untranslated text).
    std::string chosen = entry->currentData().toString() == QString::fromLatin1(kNoDialUp)
                             ? std::string(kNoDialUp)
                             : entry->currentText().toStdString();
    rasEntry_ = chosen == kNoDialUp ? std::string() : chosen;
    outHost_ = host;
    allowEstab_ = control<QCheckBox>(this, 1031)->isChecked();
    failRetry_ = control<QCheckBox>(this, 623)->isChecked();
    retryLimit_ = retries;
    pauseMinutes_ = pause;
    return 1;
}

int ConnectionPage::apply() {
    config::writeSetting(config::kRasEntry, rasEntry_);
    config::writeSetting(config::kOutHostName, outHost_);
    config::writeOutHostPort(25);
    config::writeSetting(config::kRASAllowEstab, allowEstab_ ? 1u : 0u);
    config::writeSetting(config::kRASFailRetry, failRetry_ ? 1u : 0u);
    config::writeSetting(config::kRASRetryLimit, retryLimit_);
    config::writeSetting(config::kCheckFreqRASRetry, pauseMinutes_ * 60000u);
    return 1;
}
