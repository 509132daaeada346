#include "frontend/options/connection_page.h"

#include "frontend/desktop.h"
#include "frontend/options/browse.h"
#include "frontend/options/controls.h"
#include "frontend/options/security_fields.h"
#include "shared/ras_status.h"
#include "shared/registry.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <initializer_list>

const char* const ConnectionPage::kNoDialUp = "(no dial-up networking)";

namespace {

constexpr char kNoHostMessage[] =
    "Please enter the address of your SMTP mail server for outgoing mail to be delivered. (smtp.example.net)";

int say(QWidget* owner, const std::string& text) {
    return messageBox(owner, {text, "Tarnwick", MsgButtons::Ok, IDOK});
}

// The label columns of the page's groups get one width, so their fields line up.
void alignLabels(std::initializer_list<QGridLayout*> grids) {
    int widest = 0;
    for (QGridLayout* grid : grids) {
        for (int row = 0; row < grid->rowCount(); ++row) {
            QLayoutItem* item = grid->itemAtPosition(row, 0);
            if (!item || !item->widget()) continue;
            int r = 0, c = 0, rows = 0, columns = 0;
            grid->getItemPosition(grid->indexOf(item), &r, &c, &rows, &columns);
            if (columns == 1) widest = std::max(widest, item->widget()->sizeHint().width());
        }
    }
    for (QGridLayout* grid : grids) grid->setColumnMinimumWidth(0, widest);
}

}  // namespace

ConnectionPage::ConnectionPage() : PropPage(620, tr("Connection")) {
    rasEntry_ = config::readSetting(config::kRasEntry);
    outHost_ = config::readSetting(config::kOutHostName);
    allowEstab_ = config::readSetting(config::kRASAllowEstab) != 0;
    failRetry_ = config::readSetting(config::kRASFailRetry) != 0;
    retryLimit_ = config::readSetting(config::kRASRetryLimit);
    pauseMinutes_ = config::readSetting(config::kCheckFreqRASRetry) / 60000;
    outPort_ = config::readOutHostPort().value_or(25);
    loaded_ = {config::readSetting(config::kOutHostSecurity), config::readSetting(config::kOutHostUser),
               config::readSetting(config::kOutHostPass), config::readSetting(config::kCaFile)};
    secure_ = loaded_;

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
    auto* security = securityCombo(outgoing, 628);
    auto* port = portEdit(outgoing, 627);
    proposePortsOnChange(security, port, MailService::Smtp);
    auto* user = numberedEdit(outgoing, 629);
    auto* password = numberedEdit(outgoing, 630);
    password->setEchoMode(QLineEdit::Password);
    auto* outGrid = new QGridLayout(outgoing);
    outGrid->addWidget(buddyLabel(outgoing, tr("&SMTP server:"), host), 0, 0);
    outGrid->addWidget(host, 0, 1);
    outGrid->addWidget(buddyLabel(outgoing, tr("Securit&y:"), security), 1, 0);
    outGrid->addLayout(securityPortRow(security, buddyLabel(outgoing, tr("P&ort:"), port), port), 1, 1);
    outGrid->addWidget(buddyLabel(outgoing, tr("&User name:"), user), 2, 0);
    outGrid->addWidget(user, 2, 1);
    outGrid->addWidget(buddyLabel(outgoing, tr("Pass&word:"), password), 3, 0);
    outGrid->addWidget(password, 3, 1);
    user->setToolTip(tr("Empty when the server takes mail without a log-in."));
    outGrid->setColumnStretch(1, 1);

    auto* certificates = new QGroupBox(tr("Trusted certificates"), this);
    auto* caFile = numberedEdit(certificates, 631);
    auto* browse = numberedButton(certificates, 632, tr("&Browse..."));
    connect(browse, &QPushButton::clicked, this, [this] { command(632); });
    auto* caGrid = new QGridLayout(certificates);
    caGrid->addWidget(buddyLabel(certificates, tr("C&A file:"), caFile), 0, 0);
    caGrid->addWidget(caFile, 0, 1);
    caGrid->addWidget(browse, 0, 2);
    auto* caNote = new QLabel(tr("Certificates (PEM) trusted besides the system's, for every server."),
                              certificates);
    caNote->setWordWrap(true);
    caGrid->addWidget(caNote, 1, 1, 1, 2);
    caGrid->setColumnStretch(1, 1);
    alignLabels({grid, outGrid, caGrid});

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(dialUp);
    layout->addWidget(outgoing);
    layout->addWidget(certificates);
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
    // The security first: choosing it proposes a port, which the stored port then replaces.
    showSecurity(control<QComboBox>(this, 628), secure_.security);
    control<QLineEdit>(this, 627)->setText(QString::number(outPort_));
    setText(control<QLineEdit>(this, 629), secure_.user);
    setText(control<QLineEdit>(this, 630), secure_.pass);
    setText(control<QLineEdit>(this, 631), secure_.caFile);
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
        say(this, kNoHostMessage);
        return 0;
    }
    std::optional<unsigned> port = readPort(control<QLineEdit>(this, 627));
    if (!port) {
        say(this, kPortMessage);
        control<QLineEdit>(this, 627)->setFocus();
        return 0;
    }
    if (!retriesOk || retries == 0 || !pauseOk || pause == 0 || pause > kMaxMinutes) return 0;
    for (auto [id, what] : {std::pair{629, "user name"}, {630, "password"}, {631, "CA file name"}}) {
        if (!fitsSetting(control<QLineEdit>(this, id)->text())) {
            say(this, std::string("The ") + what + " is too long: at most 259 bytes can be stored.");
            control<QLineEdit>(this, id)->setFocus();
            return 0;
        }
    }
    // Without its CA file the engine would refuse every server the file is meant for.
    QString caFile = control<QLineEdit>(this, 631)->text();
    if (!caFile.isEmpty() && !QFileInfo(caFile).isReadable()) {
        say(this, "The CA file cannot be read: " + caFile.toStdString());
        control<QLineEdit>(this, 631)->setFocus();
        return 0;
    }
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
    outPort_ = *port;
    secure_ = {chosenSecurity(control<QComboBox>(this, 628)), text(control<QLineEdit>(this, 629)),
               text(control<QLineEdit>(this, 630)), caFile.toStdString()};
    return 1;
}

int ConnectionPage::apply() {
    config::writeSetting(config::kRasEntry, rasEntry_);
    config::writeSetting(config::kOutHostName, outHost_);
    config::writeOutHostPort(outPort_);
    config::writeSetting(config::kRASAllowEstab, allowEstab_ ? 1u : 0u);
    config::writeSetting(config::kRASFailRetry, failRetry_ ? 1u : 0u);
    config::writeSetting(config::kRASRetryLimit, retryLimit_);
    config::writeSetting(config::kCheckFreqRASRetry, pauseMinutes_ * 60000u);
    if (secure_.security != shownSecurity(loaded_.security)) config::writeSetting(config::kOutHostSecurity, secure_.security);
    if (secure_.user != loaded_.user) config::writeSetting(config::kOutHostUser, secure_.user);
    if (secure_.pass != loaded_.pass) config::writeSetting(config::kOutHostPass, secure_.pass);
    if (secure_.caFile != loaded_.caFile) config::writeSetting(config::kCaFile, secure_.caFile);
    return 1;
}

void ConnectionPage::command(int controlId) {
    if (controlId != 632) return;
    std::string chosen = browseForCertificate(this);
    if (!chosen.empty()) setText(control<QLineEdit>(this, 631), chosen);
}
