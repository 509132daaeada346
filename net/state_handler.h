// One protocol phase of a mail client. The owner sets the notify window, makes the handler
// its client's current handler and starts it; the client then passes each event to dispatch.
#pragma once

#include "platform/window.h"

class Client;

class StateHandler {
public:
    explicit StateHandler(Client* client) : client_(client) {}
    virtual ~StateHandler() = default;
    StateHandler(const StateHandler&) = delete;
    StateHandler& operator=(const StateHandler&) = delete;

    // Non-zero when the event was handled.
    virtual int dispatch(int event, long arg) = 0;

    int state() const { return state_; }
    void setNotifyWindow(plat::HWND window) { notifyWindow_ = window; }
    plat::HWND notifyWindow() const { return notifyWindow_; }
    Client* client() const { return client_; }

protected:
    // Sends a mail-client notice to the owner; its reaction runs before this returns.
    plat::LRESULT notify(int code, plat::LPARAM lParam = 0);

    int state_ = 0;   // 0 inactive, 1 and up per phase
    plat::HWND notifyWindow_ = 0;
    Client* client_;
};
