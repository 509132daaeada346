// Desktop notifications through the session's notification service
// (org.freedesktop.Notifications): new mail at the end of a cycle, a refused outgoing item, a
// failed cycle, and one-off notices. Each kind replaces the notification it showed last rather
// than piling up. Their action "Open" (and "Read mail" on new mail) is signalled for the main
// window's commands.
//
// Nothing is shown while the setting "NotifyDesktop" is 0. Without a session bus or a service
// every call simply does nothing: calls are asynchronous, so a service that hangs never holds up
// the window.
#pragma once

#include "frontend/desktop/notification_texts.h"

#include <QObject>
#include <QStringList>

#include <array>
#include <functional>
#include <string>
#include <vector>

class DesktopNotifications : public QObject {
    Q_OBJECT

public:
    enum class Kind { NewMail, DeliveryFailure, CycleFailure, Notice };

    // One call of the service's Notify.
    struct Request {
        Kind kind = Kind::Notice;
        notify::Text text;
        QStringList actions;  // key, label, key, label...
        quint32 replacesId = 0;  // the notification it replaces; 0: a new one
    };
    // Sends a request; done is called with the id the service gave it (never for a failure).
    using Sender = std::function<void(const Request&, std::function<void(quint32 id)> done)>;

    // sender: unset, the session bus.
    explicit DesktopNotifications(Sender sender = {}, QObject* parent = nullptr);
    ~DesktopNotifications() override;

    // A message came in during the cycle under way (decoded sender and subject).
    // when: its date, as the mail list sorts it (0: none).
    void itemArrived(const std::string& from, const std::string& subject, std::int64_t when = 0);
    // The cycle ended: one notification for the mail it brought, and one when it failed.
    void cycleFinished(bool failed, const std::string& failedStep, const std::string& logPath);
    // An outgoing item was refused; reply: the provider's refusal.
    void deliveryFailure(const std::string& to, const std::string& subject, const std::string& reply);
    // A notice of its own that replaces nothing (for example a sign-in that has expired).
    void showNotice(const QString& title, const QString& body);

    // What the service reports: an action chosen, a notification gone.
    void actionInvoked(quint32 id, const QString& key);
    void notificationClosed(quint32 id);

    // The id the service gave the last notification of a kind; 0 when none shows.
    quint32 shownId(Kind kind) const { return ids_[static_cast<std::size_t>(kind)]; }

signals:
    // A notification's "Open": the main window; its "Read mail": the e-mail program, as the
    // tray's Read mail.
    void openWindowRequested();
    void readMailRequested();

private slots:
    void onActionInvoked(uint id, const QString& key);
    void onNotificationClosed(uint id, uint reason);

private:
    static bool enabled();
    void send(Kind kind, notify::Text text, bool readMailAction);
    void sendOverBus(const Request& request, std::function<void(quint32)> done);
    void askCapabilities();

    Sender sender_;
    std::vector<notify::Arrival> arrivals_;
    std::array<quint32, 4> ids_{};
    std::vector<quint32> noticeIds_;
    bool markup_ = true;  // until the service says otherwise
};
