#include "frontend/app/tray.h"

#include "frontend/icons/icons.h"
#include "frontend/schedule/schedule_state.h"
#include "log/debug.h"

#include <QMenu>

Tray::Tray(bool useSystemTray) : available_(useSystemTray) {
    if (available_) makeIcon();
    connect(&probeTimer_, &QTimer::timeout, this, [this] {
        if (!probe_ || probing_) return;
        probing_ = true;
        probe_([self = QPointer<Tray>(this)](bool available) {
            if (!self) return;
            self->probing_ = false;
            self->setAvailable(available);
        });
    });
}

Tray::~Tray() = default;

void Tray::makeIcon() {
    icon_ = std::make_unique<QSystemTrayIcon>();
    connect(icon_.get(), &QSystemTrayIcon::activated, this, &Tray::activated);
    if (menu_) icon_->setContextMenu(menu_.get());
}

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

// At exit: the icon goes and no tray that appears later brings it back.
void Tray::remove() {
    removed_ = true;
    probeTimer_.stop();
    if (!icon_) return;
    icon_->hide();
    icon_.reset();
}

void Tray::setAvailable(bool available) {
    if (available == available_ || removed_) return;
    available_ = available;
    // A fresh icon registers with the tray that is there now; an old one may still be tied to
    // a tray that has gone.
    if (icon_) icon_->hide();
    icon_.reset();
    if (available_) {
        makeIcon();
        modify();
    }
    DebugLine(LOG_APP, LOG_MED, available_ ? "Tarnwick: a system tray is there" : "Tarnwick: no system tray");
    emit availabilityChanged(available_);
}

void Tray::watchAvailability(Probe probe, int intervalMs) {
    probe_ = std::move(probe);
    probeTimer_.start(intervalMs);
}

void Tray::setFrame(int index) {
    if (index < 0 || index >= static_cast<int>(frames_.size())) return;
    frame_ = index;
    modify();
}
