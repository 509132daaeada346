// The message loop of platform/event_loop.h driven by Qt's event loop, for the front end.
// Posted messages are drained from a queued call on the Qt loop; each window timer is a
// QTimer; each watched descriptor a QSocketNotifier. Modal dialogs run nested Qt loops, so
// messages, timers and the link keep flowing while they show.
//
// A QCoreApplication (or QApplication) must exist before any message is posted.
#include "platform/event_loop.h"
#include "platform/fault_hooks.h"
#include "platform/loop_internal.h"
#include "platform/window.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QMetaObject>
#include <QSocketNotifier>
#include <QTimer>

#include <map>
#include <memory>
#include <utility>

namespace plat {
namespace {

struct Watch {
    std::unique_ptr<QSocketNotifier> notifier;
    FdHandler handler;
};

struct QtLoopState {
    std::map<std::pair<HWND, WPARAM>, std::unique_ptr<QTimer>> timers;
    std::map<int, std::unique_ptr<Watch>> watches;
    int nextWatch = 1;
    bool drainScheduled = false;
    bool holdQueue = false;  // collectEvents: let events queue messages without dispatching them
    bool running = false;  // runMessageLoop is inside QCoreApplication::exec
};

QtLoopState& loop() {
    static QtLoopState s;
    return s;
}

void drain();

void scheduleDrain() {
    auto& s = loop();
    if (s.drainScheduled || !QCoreApplication::instance()) return;
    s.drainScheduled = true;
    QMetaObject::invokeMethod(QCoreApplication::instance(), &drain, Qt::QueuedConnection);
}

// Dispatches what was queued when the call ran; later messages get a call of their own, so
// Qt's own events (painting, input) are never starved by a busy queue.
void drain() {
    auto& s = loop();
    s.drainScheduled = false;
    if (s.holdQueue || quitPosted()) return;
    detail::dispatchQueued();
    if (!detail::queueEmpty() && !quitPosted()) scheduleDrain();
}

}  // namespace

namespace detail {

void queueWoken() {
    scheduleDrain();
}

// Only a running loop may be told to exit: Qt remembers an exit asked for with no loop running
// and ends the next modal dialog's loop at once. Without a running loop, runMessageLoop and
// pumpMessages see the posted quit themselves.
void quitWoken(int exitCode) {
    if (loop().running && QCoreApplication::instance()) QCoreApplication::exit(exitCode);
}

// The front end watches no sockets of its own (only the link's descriptors, which call their
// handlers directly), so no socket notification can be queued here.
bool socketTagAlive(WPARAM, std::uint64_t) {
    return false;
}

void killWindowTimers(HWND hwnd) {
    auto& timers = loop().timers;
    for (auto it = timers.lower_bound({hwnd, 0}); it != timers.end() && it->first.first == hwnd;) it = timers.erase(it);
}

}  // namespace detail

int runMessageLoop() {
    int exitCode = 0;
    if (quitPosted(&exitCode)) return exitCode;
    if (!detail::queueEmpty()) scheduleDrain();
    loop().running = true;
    int code = QCoreApplication::exec();
    loop().running = false;
    return quitPosted(&exitCode) ? exitCode : code;
}

void pumpMessages(int ms) {
    QDeadlineTimer deadline(ms > 0 ? ms : 0);
    QTimer wake;  // the wait below ends at the deadline at the latest
    if (ms > 0) {
        wake.setTimerType(Qt::PreciseTimer);
        wake.setSingleShot(true);
        wake.start(ms);
    }
    for (;;) {
        std::size_t n = detail::dispatchQueued();
        if (quitPosted()) return;
        if (ms <= 0) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            if (n == 0 && detail::queueEmpty()) return;
            continue;
        }
        if (deadline.hasExpired() || !wake.isActive()) return;  // a timer may fire a little early
        QCoreApplication::processEvents(detail::queueEmpty() ? QEventLoop::WaitForMoreEvents : QEventLoop::AllEvents);
    }
}

void collectEvents(int ms) {
    auto& s = loop();
    QTimer wake;
    wake.setSingleShot(true);
    wake.start(ms > 0 ? ms : 0);
    s.holdQueue = true;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    s.holdQueue = false;
    s.drainScheduled = false;
    if (!detail::queueEmpty()) scheduleDrain();
}

bool setTimer(HWND hwnd, WPARAM id, unsigned intervalMs) {
    if (!isWindow(hwnd) || detail::isRemote(hwnd) || faults::timerRefused(hwnd, id)) return false;
    auto& slot = loop().timers[std::make_pair(hwnd, id)];
    if (!slot) {
        slot = std::make_unique<QTimer>();
        QObject::connect(slot.get(), &QTimer::timeout, [hwnd, id] { detail::enqueue({hwnd, WM_TIMER, id, 0, 0}); });
    }
    slot->start(static_cast<int>(intervalMs));
    return true;
}

bool killTimer(HWND hwnd, WPARAM id) {
    return loop().timers.erase(std::make_pair(hwnd, id)) != 0;
}

int watchReadable(int fd, FdHandler handler) {
    auto& s = loop();
    int id = s.nextWatch++;
    auto w = std::make_unique<Watch>();
    w->handler = std::move(handler);
    w->notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    QObject::connect(w->notifier.get(), &QSocketNotifier::activated, [id] {
        auto it = loop().watches.find(id);
        if (it == loop().watches.end()) return;
        FdHandler h = it->second->handler;  // the handler may unwatch itself
        h();
    });
    s.watches.emplace(id, std::move(w));
    return id;
}

void unwatch(int watchId) {
    auto it = loop().watches.find(watchId);
    if (it == loop().watches.end()) return;
    // A notifier may be the sender of the signal running now: let Qt delete it afterwards.
    it->second->notifier->setEnabled(false);
    it->second->notifier.release()->deleteLater();
    loop().watches.erase(it);
}

}  // namespace plat
