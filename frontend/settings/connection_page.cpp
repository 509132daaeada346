#include "frontend/settings/connection_page.h"

#include "frontend/desktop/desktop.h"
#include "frontend/dialogs/browse.h"
#include "frontend/dialogs/controls.h"
#include "frontend/settings/security_fields.h"
#include "frontend/settings/validation.h"
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

ConnectionPage::ConnectionPage() : PropPage("connectionPage", tr("Connection")) {
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
    dialUpEntry_ = listBox(dialUp, "dialUpEntry");
    establishConnection_ = checkBox(dialUp, "establishConnection", tr("&Establish connection if necessary"));
    retryDialUp_ = checkBox(dialUp, "retryDialUp", tr("&Retry if DUN connect fails"));
    retryCount_ = numberEdit(dialUp, "retryCount", 5);
    retryPause_ = numberEdit(dialUp, "retryPause", 5);
    auto* grid = new QGridLayout(dialUp);
    grid->addWidget(buddyLabel(dialUp, tr("&Connect with:"), dialUpEntry_), 0, 0);
    grid->addWidget(dialUpEntry_, 0, 1, 1, 3);
    grid->addWidget(establishConnection_, 1, 0, 1, 4);
    grid->addWidget(retryDialUp_, 2, 0, 1, 4);
    grid->addWidget(buddyLabel(dialUp, tr("Re&tries:"), retryCount_), 3, 0);
    grid->addWidget(retryCount_, 3, 1);
    grid->addWidget(buddyLabel(dialUp, tr("&Pause:"), retryPause_), 4, 0);
    grid->addWidget(retryPause_, 4, 1);
    grid->addWidget(new QLabel(tr("minutes"), dialUp), 4, 2);
    grid->setColumnStretch(3, 1);

    auto* outgoing = new QGroupBox(tr("Outgoing mail"), this);
    smtpServer_ = textEdit(outgoing, "smtpServer");
    smtpServer_->setPlaceholderText(QStringLiteral("smtp.example.net"));
    smtpSecurity_ = securityCombo(outgoing, "smtpSecurity");
    smtpPort_ = portEdit(outgoing, "smtpPort");
    proposePortsOnChange(smtpSecurity_, smtpPort_, MailService::Smtp);
    smtpUser_ = textEdit(outgoing, "smtpUser");
    smtpPassword_ = textEdit(outgoing, "smtpPassword");
    smtpPassword_->setEchoMode(QLineEdit::Password);
    auto* outGrid = new QGridLayout(outgoing);
    outGrid->addWidget(buddyLabel(outgoing, tr("&SMTP server:"), smtpServer_), 0, 0);
    outGrid->addWidget(smtpServer_, 0, 1);
    outGrid->addWidget(buddyLabel(outgoing, tr("Securit&y:"), smtpSecurity_), 1, 0);
    outGrid->addLayout(
        securityPortRow(smtpSecurity_, buddyLabel(outgoing, tr("P&ort:"), smtpPort_), smtpPort_), 1, 1);
    outGrid->addWidget(buddyLabel(outgoing, tr("&User name:"), smtpUser_), 2, 0);
    outGrid->addWidget(smtpUser_, 2, 1);
    outGrid->addWidget(buddyLabel(outgoing, tr("Pass&word:"), smtpPassword_), 3, 0);
    outGrid->addWidget(smtpPassword_, 3, 1);
    smtpUser_->setToolTip(tr("Empty when the server takes mail without a log-in."));
    outGrid->setColumnStretch(1, 1);

    auto* certificates = new QGroupBox(tr("Trusted certificates"), this);
    caFile_ = textEdit(certificates, "caFile");
    auto* browse = pushButton(certificates, "browseCaFile", tr("&Browse..."));
    connect(browse, &QPushButton::clicked, this, &ConnectionPage::browseCaFile);
    auto* caGrid = new QGridLayout(certificates);
    caGrid->addWidget(buddyLabel(certificates, tr("C&A file:"), caFile_), 0, 0);
    caGrid->addWidget(caFile_, 0, 1);
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
    QComboBox* entry = dialUpEntry_;
    entry->clear();
    std::vector<std::string> names;
    RASStatus().listEntries(names);
    for (const std::string& n : names) entry->addItem(QString::fromStdString(n));
    entry->insertItem(0, tr(kNoDialUp), QString::fromLatin1(kNoDialUp));
    int at = entry->findText(QString::fromStdString(rasEntry_), Qt::MatchExactly | Qt::MatchCaseSensitive);
    entry->setCurrentIndex(at > 0 && !rasEntry_.empty() ? at : 0);
    establishConnection_->setChecked(allowEstab_);
    retryDialUp_->setChecked(failRetry_);
    retryCount_->setText(QString::number(retryLimit_));
    retryPause_->setText(QString::number(pauseMinutes_));
    setText(smtpServer_, outHost_);
    // The security first: choosing it proposes a port, which the stored port then replaces.
    showSecurity(smtpSecurity_, secure_.security);
    smtpPort_->setText(QString::number(outPort_));
    setText(smtpUser_, secure_.user);
    setText(smtpPassword_, secure_.pass);
    setText(caFile_, secure_.caFile);
}

int ConnectionPage::validate() {
    using validation::ConnectionField;
    validation::ConnectionValues values{text(smtpServer_),   text(smtpPort_),     text(retryCount_), text(retryPause_),
                                        text(smtpUser_),     text(smtpPassword_), text(caFile_)};
    auto readable = [](const std::string& path) { return QFileInfo(QString::fromStdString(path)).isReadable(); };
    if (auto refusal = validation::checkConnection(values, readable)) {
        if (!refusal->message.empty()) say(this, refusal->message);
        QLineEdit* focus = refusal->field == ConnectionField::SmtpPort       ? smtpPort_
                           : refusal->field == ConnectionField::SmtpUser     ? smtpUser_
                           : refusal->field == ConnectionField::SmtpPassword ? smtpPassword_
                           : refusal->field == ConnectionField::CaFile       ? caFile_
                                                                             : nullptr;
        if (focus) focus->setFocus();
        return 0;
    }
    // The first entry is stored as no entry (its data is the untranslated text).
    QComboBox* entry = dialUpEntry_;
    std::string chosen = entry->currentData().toString() == QString::fromLatin1(kNoDialUp)
                             ? std::string(kNoDialUp)
                             : entry->currentText().toStdString();
    rasEntry_ = chosen == kNoDialUp ? std::string() : chosen;
    // A host name has no blanks: blanks around it are dropped.
    outHost_ = smtpServer_->text().trimmed().toStdString();
    allowEstab_ = establishConnection_->isChecked();
    failRetry_ = retryDialUp_->isChecked();
    retryLimit_ = *validation::readNumber(values.retryCount);
    pauseMinutes_ = *validation::readNumber(values.retryPause);
    outPort_ = *validation::readPort(values.smtpPort);
    secure_ = {chosenSecurity(smtpSecurity_), values.smtpUser, values.smtpPassword, values.caFile};
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

void ConnectionPage::browseCaFile() {
    std::string chosen = browseForCertificate(this);
    if (!chosen.empty()) setText(caFile_, chosen);
}
