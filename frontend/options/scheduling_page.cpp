#include "frontend/options/scheduling_page.h"

#include "frontend/commands.h"
#include "frontend/desktop.h"
#include "frontend/options/connection_page.h"
#include "frontend/options/controls.h"
#include "frontend/schedule_state.h"
#include "shared/registry.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace {

constexpr char kPeriodMessage[] =
    "Minimum value is 1 minute. Offline period must not be less than online period.";
constexpr char kTooLongMessage[] = "Maximum value is 35791 minutes.";

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

SchedulingPage::SchedulingPage(plat::HWND mainWindow, const ScheduleState* schedule)
    : PropPage(660, tr("Scheduling")), mainWindow_(mainWindow), schedule_(schedule) {
    offlineMinutes_ = config::readSetting(config::kCheckFreqLO) / 60000;
    onlineMinutes_ = config::readSetting(config::kCheckFreqHI) / 60000;
    deliverImmediately_ = config::readSetting(config::kSMTPDeliverImm) != 0;

    auto* online = new QGroupBox(tr("Connected"), this);
    auto* onlineEdit = numberEdit(online, 662, 5);
    auto* onlineLayout = new QVBoxLayout(online);
    onlineLayout->addLayout(periodRow(buddyLabel(online, tr("O&nline check every"), onlineEdit), onlineEdit,
                                      new QLabel(tr("minutes"), online)));

    auto* offline = new QGroupBox(tr("Not connected"), this);
    offline->setObjectName(controlName(1023));
    auto* offlineEdit = numberEdit(offline, 661, 5);
    auto* minutes = new QLabel(tr("minutes"), offline);
    minutes->setObjectName(controlName(1025));
    auto* note = new QLabel(tr("A check while no connection exists dials the Dial-Up Networking entry."), offline);
    note->setObjectName(controlName(1026));
    note->setWordWrap(true);
    auto* offlineLayout = new QVBoxLayout(offline);
    offlineLayout->addLayout(
        periodRow(buddyLabel(offline, tr("O&ffline check every"), offlineEdit, 1024), offlineEdit, minutes));
    offlineLayout->addWidget(note);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(online);
    layout->addWidget(offline);
    layout->addWidget(numberedCheck(this, 663, tr("Mail items are &delivered immediately")));
    layout->addStretch(1);
}

void SchedulingPage::activate() {
    control<QLineEdit>(this, 661)->setText(QString::number(offlineMinutes_));
    control<QLineEdit>(this, 662)->setText(QString::number(onlineMinutes_));
    control<QCheckBox>(this, 663)->setChecked(deliverImmediately_);
    // Without a dial-up entry there is never a connection to make.
    bool dialUp = !config::readSetting(config::kRasEntry).empty();
    for (int id : {1023, 1024, 1025, 1026, 661}) {
        if (auto* w = control<QWidget>(this, id)) w->setEnabled(dialUp);
    }
}

int SchedulingPage::validate() {
    unsigned online = 0;
    unsigned offline = 0;
    readNumber(control<QLineEdit>(this, 662), online);
    readNumber(control<QLineEdit>(this, 661), offline);
    // A disabled offline period cannot be corrected by the user: it follows a longer online one.
    if (!control<QLineEdit>(this, 661)->isEnabled() && offline < online) offline = online;
    if (online == 0 || offline < online) {
        messageBox(this, {kPeriodMessage, "Tarnwick", MsgButtons::Ok, IDOK});
        return 0;
    }
    if (offline > ConnectionPage::kMaxMinutes) {
        // Its milliseconds would not fit the timer.
        messageBox(this, {kTooLongMessage, "Tarnwick", MsgButtons::Ok, IDOK});
        return 0;
    }
    onlineMinutes_ = online;
    offlineMinutes_ = offline;
    deliverImmediately_ = control<QCheckBox>(this, 663)->isChecked();
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
    if (changed && schedule_ && schedule_->active == 1)
        plat::postMessage(mainWindow_, WM_COMMAND, CMD_RESUME, 0);
    config::writeSetting(config::kSMTPDeliverImm, deliverImmediately_ ? 1u : 0u);
    return 1;
}
