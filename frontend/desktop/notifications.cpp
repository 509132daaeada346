#include "frontend/desktop/notifications.h"

#include "config/settings.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QPointer>
#include <QVariantMap>

#include <algorithm>

namespace {

constexpr char kService[] = "org.freedesktop.Notifications";
constexpr char kPath[] = "/org/freedesktop/Notifications";
constexpr char kInterface[] = "org.freedesktop.Notifications";
constexpr char kOpenKey[] = "open";
constexpr char kReadKey[] = "read-mail";
// The service's own default action (a click on the notification) opens the window too.
constexpr char kDefaultKey[] = "default";
// One-off notices remembered for their actions; the service forgets old ones too.
constexpr std::size_t kNoticesKept = 16;

}  // namespace

DesktopNotifications::DesktopNotifications(Sender sender, QObject* parent)
    : QObject(parent),
      sender_(std::move(sender)) {
    if (sender_) return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    bus.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                SLOT(onActionInvoked(uint, QString)));
    bus.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                SLOT(onNotificationClosed(uint, uint)));
    askCapabilities();
}

DesktopNotifications::~DesktopNotifications() = default;

bool DesktopNotifications::enabled() {
    return config::readSetting(config::kNotifyDesktop) != 0;
}

void DesktopNotifications::itemArrived(const std::string& from, const std::string& subject, std::int64_t when) {
    arrivals_.push_back({from, subject, when});
}

void DesktopNotifications::cycleFinished(bool failed, const std::string& failedStep, const std::string& logPath) {
    std::vector<notify::Arrival> arrivals;
    arrivals.swap(arrivals_);
    if (!arrivals.empty()) send(Kind::NewMail, notify::newMailText(arrivals), true);
    if (failed) send(Kind::CycleFailure, notify::cycleFailureText(failedStep, logPath), false);
}

void DesktopNotifications::deliveryFailure(const std::string& to, const std::string& subject,
                                           const std::string& reply) {
    send(Kind::DeliveryFailure, notify::deliveryFailureText(to, subject, reply), false);
}

void DesktopNotifications::showNotice(const QString& title, const QString& body) {
    send(Kind::Notice, {title, body}, false);
}

void DesktopNotifications::send(Kind kind, notify::Text text, bool readMailAction) {
    if (!enabled()) return;
    Request r;
    r.kind = kind;
    r.text = std::move(text);
    r.actions << QLatin1String(kDefaultKey) << tr("Open") << QLatin1String(kOpenKey) << tr("Open");
    if (readMailAction) r.actions << QLatin1String(kReadKey) << tr("Read mail");
    // One-off notices never replace each other.
    r.replacesId = kind == Kind::Notice ? 0 : ids_[static_cast<std::size_t>(kind)];
    QPointer<DesktopNotifications> self(this);
    auto done = [self, kind](quint32 id) {
        if (!self || id == 0) return;
        if (kind == Kind::Notice) {
            self->noticeIds_.push_back(id);
            if (self->noticeIds_.size() > kNoticesKept) self->noticeIds_.erase(self->noticeIds_.begin());
        } else self->ids_[static_cast<std::size_t>(kind)] = id;
    };
    if (sender_) sender_(r, done);
    else sendOverBus(r, done);
}

void DesktopNotifications::sendOverBus(const Request& r, std::function<void(quint32)> done) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("tarnwick"));
    hints.insert(QStringLiteral("category"),
                 r.kind == Kind::NewMail ? QStringLiteral("email.arrived") : QStringLiteral("email"));
    QString body = markup_ ? notify::markup(r.text.body) : notify::plainSafe(r.text.body);
    call << QStringLiteral("Tarnwick") << r.replacesId << QStringLiteral("tarnwick") << r.text.summary << body
         << r.actions << hints << qint32(-1);
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [done = std::move(done)](QDBusPendingCallWatcher* w) {
        QDBusPendingReply<uint> reply = *w;
        if (!reply.isError()) done(reply.value());
        w->deleteLater();
    });
}

// Services that do not read markup show the text as it is, so escaping is only for the others.
void DesktopNotifications::askCapabilities() {
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("GetCapabilities"));
    auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        QDBusPendingReply<QStringList> reply = *w;
        if (!reply.isError()) markup_ = reply.value().contains(QStringLiteral("body-markup"));
        w->deleteLater();
    });
}

void DesktopNotifications::actionInvoked(quint32 id, const QString& key) {
    bool ours = std::find(ids_.begin(), ids_.end(), id) != ids_.end() ||
                std::find(noticeIds_.begin(), noticeIds_.end(), id) != noticeIds_.end();
    if (id == 0 || !ours) return;  // another program's notification
    if (key == QLatin1String(kOpenKey) || key == QLatin1String(kDefaultKey)) {
        emit openWindowRequested();
    } else if (key == QLatin1String(kReadKey)) {
        emit readMailRequested();
    }
}

void DesktopNotifications::notificationClosed(quint32 id) {
    if (id == 0) return;
    for (quint32& shown : ids_) {
        if (shown == id) shown = 0;
    }
    noticeIds_.erase(std::remove(noticeIds_.begin(), noticeIds_.end(), id), noticeIds_.end());
}

void DesktopNotifications::onActionInvoked(uint id, const QString& key) {
    actionInvoked(id, key);
}

void DesktopNotifications::onNotificationClosed(uint id, uint) {
    notificationClosed(id);
}
