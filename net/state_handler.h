// One protocol phase of a mail client. Its client makes it current and starts it; the client
// then passes each event to dispatch. The phase tells the client's observer how it ended.
#pragma once

#include "net/mail_client_observer.h"

class Connection;

class StateHandler {
public:
    explicit StateHandler(Connection* client) : client_(client) {}
    virtual ~StateHandler() = default;
    StateHandler(const StateHandler&) = delete;
    StateHandler& operator=(const StateHandler&) = delete;

    // Non-zero when the event was handled.
    virtual int dispatch(Connection::Event event, long arg) = 0;

    int state() const { return state_; }
    void setObserver(MailClientObserver* observer) { observer_ = observer; }
    Connection* client() const { return client_; }

protected:
    int state_ = 0;  // 0 inactive, 1 and up per phase
    MailClientObserver* observer_ = nullptr;  // the owner's; may be null (nobody listens)
    Connection* client_;
};
