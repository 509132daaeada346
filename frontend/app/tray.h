// The tray icon: the 22 frames, the tip "Tarnwick" with the last check time, the popup menu
// "TARNWICKTRAY". Works without a system tray too (nothing is shown then, the state is kept),
// and takes up or drops its icon when a tray appears on the desktop or goes away.
#pragma once

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QMenu;

class Tray : public QObject {
    Q_OBJECT

public:
    // The icon is made at once but shown only once it has a frame.
    explicit Tray(bool useSystemTray);
    ~Tray() override;

    // Draws the frames, takes the popup menu (may be null) and sets the tip to "Tarnwick".
    void initialise(QMenu* menu);
    // Shows the current frame and tip.
    void modify();
    void remove();

    // Makes frame index current and shows it.
    void setFrame(int index);
    // The whole tip, already cut to the tray's length; shown with the next modify.
    void setTipText(std::string tip) { tip_ = std::move(tip); }

    int frame() const { return frame_; }
    const std::string& tip() const { return tip_; }
    // Null without a system tray.
    QSystemTrayIcon* icon() const { return icon_.get(); }
    QMenu* menu() const { return menu_.get(); }

    // Whether the desktop has a tray now. A change makes or drops the icon and is signalled.
    bool available() const { return available_; }
    void setAvailable(bool available);
    // Asks whether a tray is there: the answer may come at once or later, from the loop.
    using Probe = std::function<void(std::function<void(bool available)> answer)>;
    // Asks probe every intervalMs whether a tray is there (a panel started or ended later); a
    // question still unanswered is not asked again.
    void watchAvailability(Probe probe, int intervalMs);

signals:
    // The user's click (Trigger) or double click on the icon.
    void activated(QSystemTrayIcon::ActivationReason reason);
    void availabilityChanged(bool available);

private:
    void makeIcon();

    std::unique_ptr<QMenu> menu_;
    std::unique_ptr<QSystemTrayIcon> icon_;  // goes first, while its menu still exists
    std::vector<QIcon> frames_;
    std::string tip_;
    int frame_ = -1;
    bool available_ = false;
    bool removed_ = false;
    Probe probe_;
    bool probing_ = false;
    QTimer probeTimer_;
};
