// The tray icon: the 22 frames, the tip "Tarnwick" with the last check time, the popup menu
// "TARNWICKTRAY". Works without a system tray too (nothing is shown then, the state is kept).
#pragma once

#include "platform/window.h"

#include <QIcon>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QMenu;
class QSystemTrayIcon;

class Tray {
public:
    explicit Tray(bool useSystemTray);
    ~Tray();
    Tray(const Tray&) = delete;
    Tray& operator=(const Tray&) = delete;

    // Registers the icon (not yet shown: it has no frame yet); mouse gets the tray's mouse
    // messages: WM_LBUTTONUP for an activation (a click), WM_LBUTTONDBLCLK for a double click.
    void add(std::function<void(plat::LPARAM)> mouse);
    // Draws the frames, takes the popup menu (may be null) and sets the tip to "Tarnwick".
    void initialise(QMenu* menu);
    // Shows the current frame and tip.
    void modify();
    void remove();

    // Makes frame index current and shows it.
    void setFrame(int index);
    // "Tarnwick" and the text, or "Tarnwick" alone; shown with the next modify.
    void setTip(const char* text);
    // The whole tip, already cut to the tray's length; shown with the next modify.
    void setTipText(std::string tip) { tip_ = std::move(tip); }

    int frame() const { return frame_; }
    const std::string& tip() const { return tip_; }
    QSystemTrayIcon* icon() const { return icon_.get(); }
    QMenu* menu() const { return menu_.get(); }
    bool shown() const;

private:
    bool useSystemTray_;
    std::unique_ptr<QSystemTrayIcon> icon_;
    std::unique_ptr<QMenu> menu_;
    std::vector<QIcon> frames_;
    std::string tip_;
    int frame_ = -1;
};
