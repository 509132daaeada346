// Whether the desktop has a system tray now, asked without waiting on the GUI thread.
//
// A tray is there when a StatusNotifierItem watcher owns its name on the session bus (asked with
// an asynchronous call, so a bus or watcher that hangs never holds up the window) or, on X11,
// when an XEmbed tray owns the screen's tray selection. These are the two trays Qt's tray icon
// can show itself in.
#pragma once

#include <QObject>

#include <functional>

class TrayProbe : public QObject {
    Q_OBJECT

public:
    explicit TrayProbe(QObject* parent = nullptr);

    // Asks once; answer(available) is called later from the loop, never after the probe is gone.
    // Without a session bus only the XEmbed tray is looked for.
    void ask(std::function<void(bool available)> answer);

    // The X11 part alone: an XEmbed tray owns the selection of the default screen. False on
    // other platforms.
    static bool xembedTrayPresent();
};
