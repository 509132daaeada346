// The dial-up connection, on NetworkManager's command-line client nmcli: dial a connection
// profile (the phone-book entry), learn asynchronously how the dial ended, hang up a line this
// process dialled, ask whether an entry is connected, list the entries.
//
// "The library is loaded" when an executable nmcli was on PATH when the object was built
// (RASStatus, which also answers the status questions).
// One dial per process: the owner window, its notice table and the line this process dialled
// are process-wide, and the dial-state callback reaches the owner only through them. The
// callback runs on the loop's thread when the dial's nmcli ends (or is stopped past its bound).
#pragma once

#include "platform/window.h"
#include "shared/ras_status.h"

#include <string>
#include <vector>

// The message number and the two codes a dial reports with, posted to the owner (lParam 0).
struct DialNotices {
    plat::UINT message = plat::WM_USER;
    int connected = 1;
    int failed = 2;
};

class RASConnection : public RASStatus {
public:
    // With an owner window, it and (a copy of) its notice table become the process-wide
    // receivers of dial notices; without one (the front end) they stay as they are.
    RASConnection(plat::HWND owner, const DialNotices* notices);
    // Hangs up when dial was called on this object.
    ~RASConnection();
    RASConnection(const RASConnection&) = delete;
    RASConnection& operator=(const RASConnection&) = delete;

    // Starts connecting entry; exactly one of connected or failed is posted later, except
    // while an earlier dial of this process is still pending (that one reports).
    void dial(const char* entry);
    // Ends the line this process dialled (also a dial still pending) and waits, in steps of
    // 100 ms for at most 10 s, until NetworkManager no longer lists it as active.
    void hangUp();
    // How a dial ended: a connection state and an error (0 for none). Posts the notice.
    static void dialStateCallback(unsigned state, unsigned long error);

    // The bounds: nmcli's own --wait for a dial, when a dial's nmcli that has not ended by
    // itself is stopped, and how long hangUp waits for the line to go. Tests shorten them.
    static void setBounds(int dialWaitSeconds, int dialKillAfterMs, int hangUpWaitMs);
    static constexpr int kHangUpStepMs = 100;

private:
    int dialRequested_ = 0;
};
