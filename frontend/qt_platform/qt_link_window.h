// A message window of the front end whose messages arrive as Qt signals: the link message
// other programs post it and the records they copy to it (platform/link.h), and its end.
#pragma once

#include "platform/link.h"
#include "platform/window.h"

#include <QByteArray>
#include <QObject>

namespace plat {

class LinkWindow : public QObject {
    Q_OBJECT

public:
    // Creates a top-level window of className (registered on first use) and title; hwnd() is 0
    // when it could not be made. linkMessage is the message that becomes linkMessageArrived.
    LinkWindow(const char* className, const char* title, UINT linkMessage = kLinkMessage);
    // Destroys the window without a windowDestroyed signal.
    ~LinkWindow() override;
    LinkWindow(const LinkWindow&) = delete;
    LinkWindow& operator=(const LinkWindow&) = delete;

    HWND hwnd() const { return hwnd_; }
    // Publishes the window for other programs under its class and title.
    PublishResult publish();
    // Destroys the window now: windowDestroyed is emitted before this returns.
    void destroy();

signals:
    // Emitted while the sender waits, so a reply-less send has been handled when it returns.
    void linkMessageArrived(plat::WPARAM wParam, plat::LPARAM lParam);
    // The bytes of a WM_COPYDATA record, valid only during the call.
    void dataCopied(quintptr kind, const QByteArray& data);
    void windowDestroyed();

private:
    static LRESULT procedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

    const char* className_;
    const char* title_;
    UINT linkMessage_;
    HWND hwnd_ = 0;
};

}  // namespace plat
