#include "frontend/desktop/tray_probe.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QGuiApplication>

#ifdef TW_HAVE_XCB
#include <xcb/xcb.h>

#include <cstdlib>
#include <string>
#endif

namespace {

constexpr int kBusTimeoutMs = 1500;  // below the 2 s between two questions

}  // namespace

TrayProbe::TrayProbe(QObject* parent) : QObject(parent) {}

void TrayProbe::ask(std::function<void(bool)> answer) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        QMetaObject::invokeMethod(
            this, [answer = std::move(answer)] { answer(xembedTrayPresent()); }, Qt::QueuedConnection);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
    call << QStringLiteral("org.kde.StatusNotifierWatcher");
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, kBusTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [answer = std::move(answer)](QDBusPendingCallWatcher* w) {
                QDBusPendingReply<bool> reply = *w;
                w->deleteLater();
                bool watcherThere = !reply.isError() && reply.value();
                answer(watcherThere || xembedTrayPresent());
            });
}

bool TrayProbe::xembedTrayPresent() {
#ifdef TW_HAVE_XCB
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* c = x11 ? x11->connection() : nullptr;
    if (!c) return false;
    // The tray of the default screen, as XEmbed trays announce themselves.
    int screen = 0;
    if (const char* display = std::getenv("DISPLAY")) {
        std::string d(display);
        std::size_t dot = d.rfind('.');
        if (dot != std::string::npos && d.find(':') < dot) screen = std::atoi(d.c_str() + dot + 1);
    }
    std::string name = "_NET_SYSTEM_TRAY_S" + std::to_string(screen);
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 1, static_cast<std::uint16_t>(name.size()), name.c_str()), nullptr);
    if (!atom) return false;
    bool owned = false;
    if (atom->atom != XCB_ATOM_NONE) {
        if (xcb_get_selection_owner_reply_t* owner = xcb_get_selection_owner_reply(
                c, xcb_get_selection_owner(c, atom->atom), nullptr)) {
            owned = owner->owner != XCB_WINDOW_NONE;
            std::free(owner);
        }
    }
    std::free(atom);
    return owned;
#else
    return false;
#endif
}
