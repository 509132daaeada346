#include "frontend/settings/retrieval_fields.h"

#include "frontend/dialogs/controls.h"
#include "frontend/settings/security_fields.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

QComboBox* protocolRow(QWidget* parent, QFormLayout* form) {
    QComboBox* protocol = listBox(parent, "protocol");
    protocol->setMinimumContentsLength(8);
    protocol->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    protocol->addItem(QStringLiteral("POP3"), config::kProtocolPop3);
    protocol->addItem(QStringLiteral("IMAP"), config::kProtocolImap);
    form->addRow(buddyLabel(parent, RetrievalFields::tr("Pro&tocol:"), protocol), protocol);
    return protocol;
}

void followProtocol(QComboBox* protocol, QComboBox* security, NumberBox* port) {
    QObject::connect(protocol, &QComboBox::currentIndexChanged, port, [=] {
        bool imap = chosenProtocol(protocol) == config::kProtocolImap;
        switchService(security, port, imap ? MailService::Imap : MailService::Pop3);
        if (imap && chosenSecurity(security) == kSecurityNone)
            showSecurity(security, defaultSecurity(config::kProtocolImap));
    });
}

void showProtocol(QComboBox* protocol, std::uint32_t stored) {
    protocol->setCurrentIndex(stored == config::kProtocolImap ? 1 : 0);
}

std::uint32_t chosenProtocol(const QComboBox* protocol) {
    return protocol->currentData().toUInt();
}

RetrievalFields::RetrievalFields(QWidget* parent) : QGroupBox(tr("Fetching mail"), parent) {
    setObjectName(QStringLiteral("retrievalFields"));
    form_ = new QFormLayout(this);
    folders_ = textEdit(this, "imapFolders", 198);
    folders_->setPlaceholderText(QString::fromLatin1(config::kDefaultImapFolders));
    foldersRow_ = form_->rowCount();
    form_->addRow(buddyLabel(this, tr("&Folders to fetch:"), folders_), folders_);
    auto* note = noteLabel(this, tr("Separate several folders with commas. ALL fetches every folder except "
                                    "those that only hold copies (such as All Mail, Trash and Junk)."));
    note->setObjectName(QStringLiteral("imapFoldersNote"));
    form_->addRow(note);

    // The object names are those of the fixed choice the page once showed.
    remove_ = new QRadioButton(tr("&Delete it at the provider"), this);
    remove_->setObjectName(QStringLiteral("removeAlways"));
    keep_ = new QRadioButton(tr("&Leave it at the provider"), this);
    keep_->setObjectName(QStringLiteral("removeNever"));
    later_ = new QRadioButton(tr("Leave it, and delete it &after"), this);
    later_->setObjectName(QStringLiteral("removeLater"));
    days_ = new NumberBox(this, "removeAfterDays", 1, static_cast<int>(kMaxLeaveDays));
    days_->setAccessibleName(tr("Days before deleting"));
    auto* laterRow = new QHBoxLayout;
    laterRow->addWidget(later_);
    laterRow->addWidget(days_);
    laterRow->addWidget(new QLabel(tr("days"), this));
    laterRow->addStretch(1);
    auto* choices = new QVBoxLayout;
    choices->addWidget(remove_);
    choices->addWidget(keep_);
    choices->addLayout(laterRow);
    form_->addRow(new QLabel(tr("Once a message is fetched and stored here:"), this), choices);

    moveFolder_ = textEdit(this, "moveFolder", 198);
    moveFolder_->setPlaceholderText(tr("(none: deleted)"));
    moveFolder_->setToolTip(tr("Instead of deleting fetched mail, move it to this folder, for example an archive."));
    moveRow_ = form_->rowCount();
    form_->addRow(buddyLabel(this, tr("&Move it to this folder instead of deleting it:"), moveFolder_), moveFolder_);
    // Labels above their fields: the texts are long, and the folders want the whole width.
    form_->setRowWrapPolicy(QFormLayout::WrapAllRows);

    for (QRadioButton* b : {remove_, keep_, later_}) connect(b, &QRadioButton::toggled, this, &RetrievalFields::follow);
    remove_->setChecked(true);
    setProtocol(config::kProtocolPop3);
}

void RetrievalFields::showValues(const RetrievalValues& v) {
    setProtocol(v.protocol);
    setText(folders_, v.folders);
    (v.leaveMail == config::kLeaveMailKeep      ? keep_
     : v.leaveMail == config::kLeaveMailForDays ? later_
                                                : remove_)
        ->setChecked(true);
    days_->setText(QString::number(v.leaveDays ? v.leaveDays : kShownLeaveDays));
    setText(moveFolder_, v.moveFolder);
    follow();
}

RetrievalValues RetrievalFields::values(std::uint32_t protocol) const {
    RetrievalValues v;
    v.protocol = protocol;
    v.folders = folders_->text().trimmed().toStdString();
    if (v.folders.empty()) v.folders = config::kDefaultImapFolders;
    v.leaveMail = chosenLeaveMail();
    std::optional<unsigned> days = validation::readNumber(text(days_));
    v.leaveDays = days ? *days : 0;
    v.moveFolder = moveFolder_->text().trimmed().toStdString();
    return v;
}

void RetrievalFields::setProtocol(std::uint32_t protocol) {
    protocol_ = protocol;
    bool imap = protocol == config::kProtocolImap;
    form_->setRowVisible(foldersRow_, imap);
    form_->setRowVisible(foldersRow_ + 1, imap);
    form_->setRowVisible(moveRow_, imap);
}

void RetrievalFields::focusField(validation::AccountField field) {
    switch (field) {
    case validation::AccountField::Folders: folders_->setFocus(); break;
    case validation::AccountField::MoveFolder: moveFolder_->setFocus(); break;
    case validation::AccountField::LeaveDays: days_->setFocus(); break;
    default: break;
    }
}

std::uint32_t RetrievalFields::chosenLeaveMail() const {
    if (keep_->isChecked()) return config::kLeaveMailKeep;
    if (later_->isChecked()) return config::kLeaveMailForDays;
    return config::kLeaveMailDelete;
}

void RetrievalFields::follow() {
    std::uint32_t leave = chosenLeaveMail();
    days_->setEnabled(leave == config::kLeaveMailForDays);
    // Mail left at the provider is never moved.
    moveFolder_->setEnabled(leave != config::kLeaveMailKeep);
    emit leaveMailChosen(leave);
}
