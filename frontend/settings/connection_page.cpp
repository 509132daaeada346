#include "frontend/settings/options_pages.h"

#include "frontend/desktop/desktop.h"
#include "frontend/desktop/nmcli_query.h"
#include "frontend/dialogs/browse.h"
#include "frontend/dialogs/controls.h"
#include "frontend/settings/prop_sheet.h"
#include "frontend/settings/security_fields.h"
#include "frontend/settings/settings_model.h"
#include "frontend/settings/sign_in_fields.h"
#include "frontend/settings/validation.h"
#include "oauth/oauth_settings.h"
#include "config/settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <initializer_list>

namespace {

// The first entry of the dial-up list, stored as the empty entry.
constexpr char kNoDialUp[] = QT_TRANSLATE_NOOP("ConnectionPage", "(no dial-up networking)");

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

class ConnectionPage : public PropPage {
    Q_OBJECT

public:
    explicit ConnectionPage(SettingsModel& model);
    void load() override;
    bool save() override;

private:
    void showEntries(const std::vector<std::string>& names, const std::string& chosen);
    void browseCaFile() {
        std::string chosen = browseForFile(this, FileKind::Certificate);
        if (!chosen.empty()) setText(caFile_, chosen);
    }

    QGroupBox* dialUp_;
    QComboBox* dialUpEntry_;
    QCheckBox* establishConnection_;
    QCheckBox* retryDialUp_;
    NumberBox* retryCount_;
    NumberBox* retryPause_;
    QLineEdit* smtpServer_;
    QComboBox* smtpSecurity_;
    NumberBox* smtpPort_;
    QLineEdit* smtpUser_;
    QLineEdit* smtpPassword_;
    SignInFields* signIn_;
    QLineEdit* caFile_;
};

ConnectionPage::ConnectionPage(SettingsModel& model) : PropPage("connectionPage", tr("Connection"), model) {
    auto* dialUp = dialUp_ = new QGroupBox(tr("Dial-up connection"), this);
    dialUp->setObjectName(QStringLiteral("dialUpGroup"));
    dialUpEntry_ = listBox(dialUp, "dialUpEntry");
    establishConnection_ = checkBox(dialUp, "establishConnection", tr("&Establish connection if necessary"));
    retryDialUp_ = checkBox(dialUp, "retryDialUp", tr("&Retry if the dial-up connection fails"));
    retryCount_ = new NumberBox(dialUp, "retryCount", 1, 99999);
    retryPause_ = new NumberBox(dialUp, "retryPause", 1, static_cast<int>(validation::kMaxMinutes));  // minutes
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
    SecurityRow security = securityRow(outgoing, "smtp", MailService::Smtp);
    smtpSecurity_ = security.security;
    smtpPort_ = security.port;
    smtpUser_ = textEdit(outgoing, "smtpUser");
    smtpPassword_ = textEdit(outgoing, "smtpPassword");
    smtpPassword_->setEchoMode(QLineEdit::Password);
    auto* outGrid = new QGridLayout(outgoing);
    outGrid->addWidget(buddyLabel(outgoing, tr("&SMTP server:"), smtpServer_), 0, 0);
    outGrid->addWidget(smtpServer_, 0, 1);
    outGrid->addWidget(buddyLabel(outgoing, tr("Securit&y:"), smtpSecurity_), 1, 0);
    outGrid->addLayout(security.layout, 1, 1);
    outGrid->addWidget(buddyLabel(outgoing, tr("&User name:"), smtpUser_), 2, 0);
    outGrid->addWidget(smtpUser_, 2, 1);
    outGrid->addWidget(buddyLabel(outgoing, tr("Pass&word:"), smtpPassword_), 3, 0);
    outGrid->addWidget(smtpPassword_, 3, 1);
    smtpUser_->setToolTip(tr("Empty when the server takes mail without a log-in."));
    auto* signInForm = new QFormLayout;
    signInForm->setContentsMargins(0, 0, 0, 0);
    signIn_ = new SignInFields(outgoing, signInForm, config::kOutgoingTarget);
    connect(signIn_, &SignInFields::oauthChosen, smtpPassword_, [this](bool on) { smtpPassword_->setEnabled(!on); });
    outGrid->addLayout(signInForm, 4, 0, 1, 2);
    outGrid->setColumnStretch(1, 1);

    auto* certificates = new QGroupBox(tr("Trusted certificates"), this);
    caFile_ = textEdit(certificates, "caFile");
    auto* browse = pushButton(certificates, "browseCaFile", tr("&Browse..."));
    connect(browse, &QPushButton::clicked, this, &ConnectionPage::browseCaFile);
    auto* caGrid = new QGridLayout(certificates);
    caGrid->addWidget(buddyLabel(certificates, tr("C&A file:"), caFile_), 0, 0);
    caGrid->addWidget(caFile_, 0, 1);
    caGrid->addWidget(browse, 0, 2);
    auto* caNote = noteLabel(certificates, tr("Certificates (PEM) trusted besides the system's, for every server."));
    caGrid->addWidget(caNote, 1, 1, 1, 2);
    caGrid->setColumnStretch(1, 1);
    alignLabels({grid, outGrid, caGrid});

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(dialUp);
    layout->addWidget(outgoing);
    layout->addWidget(certificates);
    layout->addStretch(1);
}

// The entries NetworkManager knows, the chosen one current when it is among them.
void ConnectionPage::showEntries(const std::vector<std::string>& names, const std::string& chosen) {
    QComboBox* entry = dialUpEntry_;
    entry->clear();
    for (const std::string& n : names) entry->addItem(QString::fromStdString(n));
    entry->insertItem(0, tr(kNoDialUp), QString::fromLatin1(kNoDialUp));
    int at = entry->findText(QString::fromStdString(chosen), Qt::MatchExactly | Qt::MatchCaseSensitive);
    entry->setCurrentIndex(at > 0 && !chosen.empty() ? at : 0);
    // Without a connection NetworkManager could bring up, the group has nothing to choose from;
    // the focus it held moves on to the next field, as when the page opened without the group.
    QWidget* focus = window()->focusWidget();
    bool held = focus && dialUp_->isAncestorOf(focus);
    dialUp_->setEnabled(!names.empty());
    if (names.empty() && held) smtpServer_->setFocus();
}

void ConnectionPage::load() {
    // Until nmcli has answered, the stored entry alone stands in the list, so that OK keeps it
    // and the group's values; the answer keeps what the user has chosen meanwhile.
    std::string stored = model_.text(config::kRasEntry);
    showEntries(stored.empty() ? std::vector<std::string>{} : std::vector<std::string>{stored}, stored);
    dialUp_->setEnabled(true);
    dialup::listEntries(this, [this](std::optional<std::vector<std::string>> names) {
        bool none = dialUpEntry_->currentData().toString() == QString::fromLatin1(kNoDialUp);
        showEntries(names.value_or(std::vector<std::string>{}),
                    none ? std::string() : dialUpEntry_->currentText().toStdString());
    });
    establishConnection_->setChecked(model_.flag(config::kRASAllowEstab));
    retryDialUp_->setChecked(model_.flag(config::kRASFailRetry));
    retryCount_->setText(QString::number(model_.number(config::kRASRetryLimit)));
    retryPause_->setText(QString::number(model_.minutes(config::kCheckFreqRASRetry)));
    setText(smtpServer_, model_.text(config::kOutHostName));
    // The security first: choosing it proposes a port, which the stored port then replaces.
    showSecurity(smtpSecurity_, model_.number(config::kOutHostSecurity));
    smtpPort_->setText(QString::number(model_.number(kOutHostPortShown)));
    setText(smtpUser_, model_.text(config::kOutHostUser));
    setText(smtpPassword_, model_.text(config::kOutHostPass));
    signIn_->load(model_);
    setText(caFile_, model_.text(config::kCaFile));
}

bool ConnectionPage::save() {
    using validation::ConnectionField;
    // A disabled group has nothing to choose: its retry values are neither checked nor written.
    bool dialUp = dialUp_->isEnabled();
    validation::ConnectionValues values{text(smtpServer_),
                                        text(smtpPort_),
                                        dialUp ? text(retryCount_) : "1",
                                        dialUp ? text(retryPause_) : "1",
                                        text(smtpUser_),
                                        text(smtpPassword_),
                                        text(caFile_)};
    auto readable = [](const std::string& path) { return QFileInfo(QString::fromStdString(path)).isReadable(); };
    if (auto refusal = validation::checkConnection(values, readable)) {
        tellUser(this, refusal->message, QMessageBox::NoIcon, refusal->argument);
        QWidget* focus = refusal->field == ConnectionField::SmtpPort       ? static_cast<QWidget*>(smtpPort_)
                         : refusal->field == ConnectionField::RetryCount   ? static_cast<QWidget*>(retryCount_)
                         : refusal->field == ConnectionField::RetryPause   ? static_cast<QWidget*>(retryPause_)
                         : refusal->field == ConnectionField::SmtpUser     ? smtpUser_
                         : refusal->field == ConnectionField::SmtpPassword ? smtpPassword_
                         : refusal->field == ConnectionField::CaFile       ? caFile_
                                                                           : smtpServer_;
        focus->setFocus();
        return false;
    }
    // The first entry is stored as no entry (its data is the untranslated text); the engine
    // needs the value stored, even empty.
    bool none = dialUpEntry_->currentData().toString() == QString::fromLatin1(kNoDialUp);
    model_.setText(config::kRasEntry, none ? std::string() : dialUpEntry_->currentText().toStdString());
    if (dialUp) {
        model_.setFlag(config::kRASAllowEstab, establishConnection_->isChecked());
        model_.setFlag(config::kRASFailRetry, retryDialUp_->isChecked());
        model_.setNumber(config::kRASRetryLimit, *validation::readNumber(values.retryCount));
        model_.setMinutes(config::kCheckFreqRASRetry, *validation::readNumber(values.retryPause));
    }
    // A host name has no blanks: blanks around it are dropped.
    model_.setText(config::kOutHostName, smtpServer_->text().trimmed().toStdString());
    model_.setNumber(kOutHostPortShown, *validation::readPort(values.smtpPort));
    // The security values are written only where they changed, so a user who never touches
    // them keeps the settings as they were.
    std::uint32_t security = chosenSecurity(smtpSecurity_);
    if (security != shownSecurity(model_.number(config::kOutHostSecurity)))
        model_.setNumber(config::kOutHostSecurity, security);
    for (auto [setting, value] : {std::pair{&config::kOutHostUser, &values.smtpUser},
                                  {&config::kOutHostPass, &values.smtpPassword},
                                  {&config::kCaFile, &values.caFile}}) {
        if (*value != model_.text(*setting)) model_.setText(*setting, *value);
    }
    signIn_->save(model_);
    return true;
}

}  // namespace

PropPage* newConnectionPage(SettingsModel& model) {
    return new ConnectionPage(model);
}

#include "connection_page.moc"
