#include "frontend/schedule/window_timers.h"

#include <QTimer>

QtWindowTimers::QtWindowTimers(std::function<void(plat::WPARAM id)> fired) : fired_(std::move(fired)) {}

QtWindowTimers::~QtWindowTimers() = default;

void QtWindowTimers::set(plat::WPARAM id, std::uint32_t periodMs) {
    auto& timer = timers_[id];
    if (!timer) {
        timer = std::make_unique<QTimer>();
        QObject::connect(timer.get(), &QTimer::timeout, [this, id] { fired_(id); });
    }
    timer->start(static_cast<int>(periodMs));
}

bool QtWindowTimers::kill(plat::WPARAM id) {
    auto it = timers_.find(id);
    if (it == timers_.end() || !it->second->isActive()) return false;
    it->second->stop();
    return true;
}
