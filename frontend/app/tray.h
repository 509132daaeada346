// The tray icon: the 22 frames, the tip "Tarnwick" with the last check time, the popup menu
// "TARNWICKTRAY". Works without a system tray too (nothing is shown then, the state is kept).
#pragma once

#include <QIcon>

#include <memory>
#include <string>
#include <vector>

class QMenu;
class QSystemTrayIcon;

class Tray {
public:
    // The icon is made at once but shown only once it has a frame.
    explicit Tray(bool useSystemTray);
    ~Tray();

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

private:
    std::unique_ptr<QMenu> menu_;
    std::unique_ptr<QSystemTrayIcon> icon_;   // goes first, while its menu still exists
    std::vector<QIcon> frames_;
    std::string tip_;
    int frame_ = -1;
};
