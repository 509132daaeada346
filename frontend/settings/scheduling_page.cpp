#include "frontend/settings/scheduling_page.h"

#include "frontend/desktop/desktop.h"
#include "frontend/dialogs/controls.h"
#include "frontend/schedule/schedule_state.h"
#include "frontend/settings/validation.h"
#include "shared/registry.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace {

// "label [edit] minutes" in one row.
QHBoxLayout* periodRow(QLabel* label, QLineEdit* edit, QLabel* unit) {
    auto* row = new QHBoxLayout;
    row->addWidget(label);
    row->addWidget(edit);
    row->addWidget(unit);
    row->addStretch(1);
    return row;
}

}  // namespace

SchedulingPage::SchedulingPage(std::function<void()> periodsChanged, const ScheduleState* schedule)
    : PropPage("schedulingPage", tr("Scheduling")), periodsChanged_(std::move(periodsChanged)), schedule_(schedule) {
    offlineMinutes_ = config::readSetting(config::kCheckFreqLO) / 60000;
    onlineMinutes_ = config::readSetting(config::kCheckFreqHI) / 60000;
    deliverAtOnce_ = config::readSetting(config::kSMTPDeliverImm) != 0;

    auto* online = new QGroupBox(tr("Connected"), this);
    onlinePeriod_ = numberEdit(online, "onlinePeriod", 5);
    auto* onlineLayout = new QVBoxLayout(online);
    onlineLayout->addLayout(periodRow(buddyLabel(online, tr("O&nline check every"), onlinePeriod_), onlinePeriod_,
                                      new QLabel(tr("minutes"), online)));

    // The whole group is disabled without a dial-up entry.
    offlineGroup_ = new QGroupBox(tr("Not connected"), this);
    offlineGroup_->setObjectName(QStringLiteral("offlineGroup"));
    offlinePeriod_ = numberEdit(offlineGroup_, "offlinePeriod", 5);
    auto* minutes = new QLabel(tr("minutes"), offlineGroup_);
    auto* note =
        new QLabel(tr("A check while no connection exists dials the Dial-Up Networking entry."), offlineGroup_);
    note->setWordWrap(true);
    auto* offlineLayout = new QVBoxLayout(offlineGroup_);
    offlineLayout->addLayout(periodRow(buddyLabel(offlineGroup_, tr("O&ffline check every"), offlinePeriod_),
                                       offlinePeriod_, minutes));
    offlineLayout->addWidget(note);
    deliverImmediately_ = checkBox(this, "deliverImmediately", tr("Mail items are &delivered immediately"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(online);
    layout->addWidget(offlineGroup_);
    layout->addWidget(deliverImmediately_);
    layout->addStretch(1);
}

void SchedulingPage::activate() {
    offlinePeriod_->setText(QString::number(offlineMinutes_));
    onlinePeriod_->setText(QString::number(onlineMinutes_));
    deliverImmediately_->setChecked(deliverAtOnce_);
    // Without a dial-up entry there is never a connection to make.
    offlineGroup_->setEnabled(!config::readSetting(config::kRasEntry).empty());
}

int SchedulingPage::validate() {
    unsigned online = validation::readNumber(text(onlinePeriod_)).value_or(0);
    unsigned offline = validation::readNumber(text(offlinePeriod_)).value_or(0);
    // A disabled offline period cannot be corrected by the user: it follows a longer online one.
    if (!offlinePeriod_->isEnabled() && offline < online) offline = online;
    std::string problem = validation::checkPeriods(online, offline);
    if (!problem.empty()) {
        messageBox(this, {problem, "Tarnwick", MsgButtons::Ok, IDOK});
        return 0;
    }
    onlineMinutes_ = online;
    offlineMinutes_ = offline;
    deliverAtOnce_ = deliverImmediately_->isChecked();
    return 1;
}

int SchedulingPage::apply() {
    bool changed = false;
    if (offlineMinutes_ != config::readSetting(config::kCheckFreqLO) / 60000) {
        config::writeSetting(config::kCheckFreqLO, offlineMinutes_ * 60000u);
        changed = true;
    }
    if (onlineMinutes_ != config::readSetting(config::kCheckFreqHI) / 60000) {
        config::writeSetting(config::kCheckFreqHI, onlineMinutes_ * 60000u);
        changed = true;
    }
    // The timers restart with the new periods.
    if (changed && schedule_ && schedule_->active == 1 && periodsChanged_) periodsChanged_();
    config::writeSetting(config::kSMTPDeliverImm, deliverAtOnce_ ? 1u : 0u);
    return 1;
}
