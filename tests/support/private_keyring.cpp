#include "tests/support/private_keyring.h"

#include "platform/secret_store.h"
#include "tests/support/temp_env.h"

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <vector>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

namespace {

constexpr char kKeyringPassword[] = "keyring-test-password";

bool onPath(const char* program) {
    return std::system((std::string("command -v ") + program + " >/dev/null 2>&1").c_str()) == 0;
}

// Starts argv with input on its standard input (then closed); answers its pid.
pid_t startDaemon(const std::vector<std::string>& argv, const std::string& input = {}) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[0], 0);
        close(fds[0]);
        close(fds[1]);
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    close(fds[0]);
    if (!input.empty()) [[maybe_unused]]
        ssize_t n = write(fds[1], input.data(), input.size());
    close(fds[1]);
    return pid;
}

void endDaemon(pid_t& pid) {
    if (pid <= 0) return;
    kill(pid, SIGCONT);
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    pid = -1;
}

}  // namespace

bool PrivateKeyring::available() {
    return onPath("dbus-daemon") && onPath("gnome-keyring-daemon") && onPath("gdbus");
}

PrivateKeyring::~PrivateKeyring() {
    endDaemon(keyring_);
    endDaemon(bus_);
    if (hadAddress_) ::setenv("DBUS_SESSION_BUS_ADDRESS", oldAddress_.c_str(), 1);
    else ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
}

bool PrivateKeyring::start() {
    std::string dir = makeTempDir("keyring-bus-");
    std::string socket = dir + "/bus";
    writeFile(dir + "/bus.conf",
              "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\" "
              "\"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n<busconfig>"
              "<type>session</type><listen>unix:path=" +
                  socket +
                  "</listen><auth>EXTERNAL</auth>"
                  "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                  "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
    bus_ = startDaemon({"dbus-daemon", "--config-file=" + dir + "/bus.conf", "--nofork"});
    for (int i = 0; i < 200 && !std::filesystem::exists(socket); ++i) usleep(25000);
    if (const char* old = std::getenv("DBUS_SESSION_BUS_ADDRESS")) {
        hadAddress_ = true;
        oldAddress_ = old;
    }
    ::setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + socket).c_str(), 1);
    keyring_ = startDaemon({"gnome-keyring-daemon", "--foreground", "--unlock", "--components=secrets"},
                           kKeyringPassword);
    // Ready once the login keyring exists: the first item makes it.
    for (int i = 0; i < 100; ++i) {
        if (plat::storeSecret("setup", plat::SecretKind::Password, "x", "setup", 2000).status == plat::SecretStatus::Ok)
            return true;
        usleep(100000);
    }
    return false;
}

bool PrivateKeyring::lock() {
    return std::system(
               "gdbus call --session --dest org.freedesktop.secrets --object-path "
               "/org/freedesktop/secrets --method org.freedesktop.Secret.Service.Lock "
               "\"['/org/freedesktop/secrets/collection/login']\" >/dev/null") == 0;
}

}  // namespace testsupport
