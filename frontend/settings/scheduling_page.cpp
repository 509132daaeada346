#include "frontend/settings/options_pages.h"

#include "frontend/dialogs/controls.h"
#include "frontend/settings/prop_sheet.h"
#include "frontend/settings/settings_model.h"
#include "frontend/settings/validation.h"
#include "config/settings.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace {

// "label [edit] minutes" in one row.
QHBoxLayout* periodRow(QLabel* label, QWidget* edit, QLabel* unit) {
    auto* row = new QHBoxLayout;
    row->addWidget(label);
    row->addWidget(edit);
    row->addWidget(unit);
    row->addStretch(1);
    return row;
}

class SchedulingPage : public PropPage {
    Q_OBJECT

public:
    explicit SchedulingPage(SettingsModel& model);
    void load() override;
    bool save() override;

private:
    NumberBox* onlinePeriod_;
    QGroupBox* offlineGroup_;
    NumberBox* offlinePeriod_;
    QCheckBox* deliverImmediately_;
};

SchedulingPage::SchedulingPage(SettingsModel& model) : PropPage("schedulingPage", tr("Scheduling"), model) {
    auto* online = new QGroupBox(tr("Connected"), this);
    onlinePeriod_ = new NumberBox(online, "onlinePeriod", 1, static_cast<int>(validation::kMaxMinutes));  // minutes
    auto* onlineLayout = new QVBoxLayout(online);
    onlineLayout->addLayout(periodRow(buddyLabel(online, tr("O&nline check every"), onlinePeriod_), onlinePeriod_,
                                      new QLabel(tr("minutes"), online)));

    // The whole group is disabled without a dial-up entry.
    offlineGroup_ = new QGroupBox(tr("Not connected"), this);
    offlineGroup_->setObjectName(QStringLiteral("offlineGroup"));
    offlinePeriod_ = new NumberBox(offlineGroup_, "offlinePeriod", 1, static_cast<int>(validation::kMaxMinutes));
    auto* minutes = new QLabel(tr("minutes"), offlineGroup_);
    auto* note = noteLabel(
        offlineGroup_,
        tr("A check while no connection exists dials the dial-up connection chosen on the Connection page."));
    auto* offlineLayout = new QVBoxLayout(offlineGroup_);
    offlineLayout->addLayout(
        periodRow(buddyLabel(offlineGroup_, tr("O&ffline check every"), offlinePeriod_), offlinePeriod_, minutes));
    offlineLayout->addWidget(note);
    deliverImmediately_ = checkBox(this, "deliverImmediately",
                                   tr("Send mail as soon as the e-mail program &hands it over, if online"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(online);
    layout->addWidget(offlineGroup_);
    layout->addWidget(deliverImmediately_);
    layout->addStretch(1);
}

void SchedulingPage::load() {
    offlinePeriod_->setText(QString::number(model_.minutes(config::kCheckFreqLO)));
    onlinePeriod_->setText(QString::number(model_.minutes(config::kCheckFreqHI)));
    deliverImmediately_->setChecked(model_.flag(config::kSMTPDeliverImm));
    // Without a dial-up entry there is never a connection to make.
    offlineGroup_->setEnabled(!model_.text(config::kRasEntry).empty());
}

bool SchedulingPage::save() {
    unsigned online = validation::readNumber(text(onlinePeriod_)).value_or(0);
    unsigned offline = validation::readNumber(text(offlinePeriod_)).value_or(0);
    // A disabled offline period cannot be corrected by the user: it follows a longer online one.
    if (!offlinePeriod_->isEnabled() && offline < online) offline = online;
    std::string problem = validation::checkPeriods(online, offline);
    if (!problem.empty()) {
        tellUser(this, problem);
        return false;
    }
    // A period is written only when its minutes changed: a stored 90 s shown as 1 minute stays.
    if (offline != model_.minutes(config::kCheckFreqLO)) model_.setMinutes(config::kCheckFreqLO, offline);
    if (online != model_.minutes(config::kCheckFreqHI)) model_.setMinutes(config::kCheckFreqHI, online);
    model_.setFlag(config::kSMTPDeliverImm, deliverImmediately_->isChecked());
    return true;
}

}  // namespace

PropPage* newSchedulingPage(SettingsModel& model) {
    return new SchedulingPage(model);
}

#include "scheduling_page.moc"
