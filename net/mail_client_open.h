// The opening phase of the mail clients: connect, and tell the owner how it went (opened).
// It always ends so: when the time-out strikes before the look-up or the connect has ended,
// the attempt is abandoned and the opening failed.
#pragma once

#include "net/state_handler.h"

class MailClient_Open : public StateHandler {
public:
    using StateHandler::StateHandler;

    // State 1, the inactivity timer armed, the connection started.
    void start();
    int dispatch(Connection::Event event, long arg) override;

protected:
    // Logged when the connection failed, before the owner is told.
    virtual void logOpenFailure();
};

// The shared start of the opening phases (this one and the POP3 client's).
void startOpeningPhase(int& state, Connection& client);

// Logs what the user needs to mend a failed opening: the server, its host and port, and the
// system's reason ("Cannot connect to POP3 server pop.example.net:110: connection refused").
// event is the one that ended the phase: a time-out reads "timed out".
void logConnectFailure(const char* server, const Connection& client, int event);
