// What the phases of a mail client (the engine's POP3 and SMTP clients) tell the owner that
// runs them: each phase its end, once. The protocols add their own events to these.
#pragma once

// How an item's envelope or text ended at the provider.
enum class ItemOutcome {
    Accepted,
    RefusedForGood,  // a 5xx: the item can never be sent as it is
    Failed,  // anything else: the item may pass later
};

class MailClientObserver {
public:
    virtual ~MailClientObserver() = default;
    virtual void opened(bool ok) = 0;
    virtual void closed() {}
    // After closed, in a turn of the loop of its own: the owner may now delete the client.
    virtual void finished() = 0;
};
