#include "frontend/app/tray.h"

#include "frontend/commands.h"
#include "frontend/icons/icons.h"
#include "frontend/schedule/schedule_state.h"
#include "shared/debug.h"

#include <QMenu>
#include <QSystemTrayIcon>

Tray::Tray(bool useSystemTray) : useSystemTray_(useSystemTray) {}

Tray::~Tray() {
    remove();
}

void Tray::add(std::function<void(plat::LPARAM)> mouse) {
    if (!useSystemTray_ || icon_) return;
    icon_ = std::make_unique<QSystemTrayIcon>();
    QObject::connect(icon_.get(), &QSystemTrayIcon::activated,
                     [mouse](QSystemTrayIcon::ActivationReason reason) {
                         // The desktop shows the context menu itself. StatusNotifierItem trays
                         // send one activation for a click and never a double click; XEmbed trays
                         // send an activation for the first press and then the double click.
                         if (!mouse) return;
                         if (reason == QSystemTrayIcon::Trigger) mouse(WM_LBUTTONUP);
                         else if (reason == QSystemTrayIcon::DoubleClick) mouse(WM_LBUTTONDBLCLK);
                     });
}

void Tray::initialise(QMenu* menu) {
    frames_.clear();
    for (int i = 0; i < kTrayFrameCount; ++i) frames_.push_back(trayFrameIcon(i));
    menu_.reset(menu);
    if (!menu_) DebugLine(LOG_APP, LOG_MED, "TRAY MENU LOAD FAIL");
    if (icon_ && menu_) icon_->setContextMenu(menu_.get());
    setTip(nullptr);
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

void Tray::setTip(const char* text) {
    tip_ = trayTipText(text);
}

bool Tray::shown() const {
    return icon_ && icon_->isVisible();
}
