"""A private desktop secret store for one test: a session bus of its own (dbus-daemon with a
private configuration that activates nothing) and gnome-keyring-daemon's Secret Service on it,
its login keyring unlocked with a password read from its standard input. Everything lives in
the test's world: the daemons get its HOME, XDG_DATA_HOME (the keyring files) and
XDG_RUNTIME_DIR. Both are ended by their own process handles.

    keyring = PrivateKeyring(engine.root, engine.env).start()
    engine.env.update(keyring.env)            # the engine and trawlexctl find the store
    keyring.lookup("home", "password")        # secret-tool's answer, or None
    keyring.lock(); keyring.unlock()          # unlock: the daemon starts again
"""

import os
import shutil
import signal
import subprocess
import time

from peer_process import stop_peer

PASSWORD = "keyring-test-password"
LOGIN = "/org/freedesktop/secrets/collection/login"

_CONFIG = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path={socket}</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
"""


def available():
    return all(shutil.which(p) for p in ("dbus-daemon", "gnome-keyring-daemon", "secret-tool", "gdbus"))


def keyring_for(test, engine):
    """A keyring that engine (not started yet) and its trawlexctl will find; stopped at the end
    of test."""
    keyring = PrivateKeyring(engine.root, engine.env).start()
    test.addCleanup(keyring.stop)
    engine.env.update(keyring.env)
    return keyring


class PrivateKeyring:
    def __init__(self, root, env):
        self.dir = os.path.join(root, "keyring-bus")
        os.makedirs(self.dir, mode=0o700, exist_ok=True)
        self.socket = os.path.join(self.dir, "bus")
        self.env = {"DBUS_SESSION_BUS_ADDRESS": "unix:path=" + self.socket}
        self.daemon_env = dict(env, **self.env)
        self.bus = None
        self.keyring = None

    def start(self):
        config = os.path.join(self.dir, "bus.conf")
        with open(config, "w") as f:
            f.write(_CONFIG.format(socket=self.socket))
        self.bus = subprocess.Popen(["dbus-daemon", "--config-file=" + config, "--nofork"],
                                    env=self.daemon_env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            if not self._wait(lambda: os.path.exists(self.socket)):
                raise RuntimeError("private session bus did not start")
            self._start_keyring()
            # The login keyring exists once a first item went in; make it now, then drop the item.
            self.store("setup", "none", "x")
            self.run("secret-tool", "clear", "application", "tarnwick", "account", "setup", "kind", "none")
        except BaseException:
            self.stop()
            raise
        return self

    def _start_keyring(self):
        self.keyring = subprocess.Popen(
            ["gnome-keyring-daemon", "--foreground", "--unlock", "--components=secrets"],
            env=self.daemon_env, stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.keyring.stdin.write(PASSWORD.encode())
        self.keyring.stdin.close()
        if not self._wait(self._serving):
            raise RuntimeError("gnome-keyring-daemon did not take the Secret Service name")

    def _stop_keyring(self):
        self.resume()
        stop_peer(self.keyring)
        self.keyring = None
        self._wait(lambda: not self._serving())

    def stop(self):
        self._stop_keyring()
        stop_peer(self.bus)
        self.bus = None

    def _wait(self, predicate, seconds=10.0):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            if predicate():
                return True
            time.sleep(0.05)
        return False

    def _serving(self):
        r = self.run("gdbus", "call", "--session", "--dest", "org.freedesktop.DBus", "--object-path",
                     "/org/freedesktop/DBus", "--method", "org.freedesktop.DBus.NameHasOwner",
                     "org.freedesktop.secrets", check=False)
        return r.returncode == 0 and "true" in r.stdout

    def run(self, *args, stdin=None, check=True):
        r = subprocess.run(list(args), env=self.daemon_env, input=stdin, capture_output=True, text=True, timeout=20)
        if check and r.returncode != 0:
            raise RuntimeError("%s: %s" % (" ".join(args[:2]), r.stderr))
        return r

    # -- what the store holds ------------------------------------------------------------------
    def lookup(self, account, kind):
        r = self.run("secret-tool", "lookup", "application", "tarnwick", "account", account, "kind", kind,
                     check=False)
        return r.stdout if r.returncode == 0 else None

    def secrets(self, account, kind):
        """Every secret held under these attributes, whoever stored it."""
        r = self.run("secret-tool", "search", "--all", "--unlock", "application", "tarnwick", "account", account,
                     "kind", kind, check=False)
        return [line[len("secret = "):] for line in r.stdout.splitlines() if line.startswith("secret = ")]

    def store(self, account, kind, secret):
        self.run("secret-tool", "store", "--label", "test", "application", "tarnwick", "account", account,
                 "kind", kind, stdin=secret)

    def lock(self):
        self.run("gdbus", "call", "--session", "--dest", "org.freedesktop.secrets", "--object-path",
                 "/org/freedesktop/secrets", "--method", "org.freedesktop.Secret.Service.Lock", "['%s']" % LOGIN)

    def unlock(self):
        """As at the next log-in: the keyring daemon starts again and unlocks the login keyring with
        its password (an unlock through the Secret Service would need a prompt on a display)."""
        self._stop_keyring()
        self._start_keyring()

    def pause(self):
        """The daemon stops (SIGSTOP) with its name on the bus: calls to it go unanswered."""
        os.kill(self.keyring.pid, signal.SIGSTOP)

    def resume(self):
        if self.keyring and self.keyring.poll() is None:
            os.kill(self.keyring.pid, signal.SIGCONT)

    def stop_service(self):
        """The bus stays, nobody serves the Secret Service on it."""
        self._stop_keyring()
