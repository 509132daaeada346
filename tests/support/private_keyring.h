// A Secret Service of the test's own: dbus-daemon on a private session bus and
// gnome-keyring-daemon on it, its login keyring unlocked. The bus's address replaces
// DBUS_SESSION_BUS_ADDRESS while the object lives.
#pragma once

#include <string>
#include <sys/types.h>

namespace testsupport {

class PrivateKeyring {
public:
    // Whether the programs it needs are installed.
    static bool available();

    PrivateKeyring() = default;
    ~PrivateKeyring();
    PrivateKeyring(const PrivateKeyring&) = delete;
    PrivateKeyring& operator=(const PrivateKeyring&) = delete;

    // Starts both daemons and waits (at most about ten seconds) until the keyring takes an
    // item; false when it never does.
    bool start();
    // Locks the login keyring, as a user's screen lock would.
    bool lock();

private:
    pid_t bus_ = -1;
    pid_t keyring_ = -1;
    std::string oldAddress_;
    bool hadAddress_ = false;
};

}  // namespace testsupport
