#include "frontend/app/tray.h"

#include "frontend/icons/icons.h"
#include "frontend/schedule/schedule_state.h"
#include "shared/debug.h"

#include <QMenu>
#include <QSystemTrayIcon>

Tray::Tray(bool useSystemTray) {
    if (useSystemTray) icon_ = std::make_unique<QSystemTrayIcon>();
}

Tray::~Tray() = default;

void Tray::initialise(QMenu* menu) {
    frames_.clear();
    for (int i = 0; i < kTrayFrameCount; ++i) frames_.push_back(trayFrameIcon(i));
    menu_.reset(menu);
    if (!menu_) DebugLine(LOG_APP, LOG_MED, "TRAY MENU LOAD FAIL");
    if (icon_ && menu_) icon_->setContextMenu(menu_.get());
    tip_ = kTrayTipName;
}

void Tray::modify() {
    if (!icon_ || frame_ < 0) return;
    icon_->setIcon(frames_[static_cast<std::size_t>(frame_)]);
    icon_->setToolTip(QString::fromStdString(tip_));
    if (!icon_->isVisible()) icon_->show();
}

void Tray::remove() {
    if (!icon_) return;
    icon_->hide();
    icon_.reset();
}

void Tray::setFrame(int index) {
    if (index < 0 || index >= static_cast<int>(frames_.size())) return;
    frame_ = index;
    modify();
}
