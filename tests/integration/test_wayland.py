"""Tarnwick as a native Wayland client of a headless Weston without any input device (no seat),
with no X display of its own: its tray item registers over D-Bus with the session's
StatusNotifierItem watcher (an Xfce panel on the side, reached only through the bus), an
activation over D-Bus shows its window, Cycle Now chosen from the item's menu over D-Bus runs a
real cycle of a real engine, and the new mail comes as a desktop notification. The compositor's
screenshots go to the artefacts."""

import os
import re
import shutil
import subprocess
import sys
import time
import unittest

from harness import SETTINGS_KEY, wait_until
from peers.dovecot import available as dovecot_available
from test_desktop import set_up_alice, BOX, INCOMING, SessionDesktop
from test_frontend import ARTEFACTS, TARNWICK, World
from test_frontend_mail import start_mail_peers

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "peers"))
from smtp_provider import available as provider_available  # noqa: E402

SHOTS = os.path.join(os.path.dirname(ARTEFACTS), "wayland")
SOCKET = "wayland-tw"


def _tools_missing():
    tools = ("weston", "weston-screenshooter", "Xvfb", "xfce4-panel", "dunst", "dunstctl", "dbus-daemon", "gdbus")
    missing = [t for t in tools if not shutil.which(t)]
    if not os.path.exists("/usr/lib/x86_64-linux-gnu/qt6/plugins/platforms/libqwayland-generic.so"):
        missing.append("qt6-wayland")
    return missing


class Weston:
    """A headless Weston (software rendering, so that it can take screenshots) on SOCKET in the
    world's runtime directory."""

    def __init__(self, env, log):
        self.env = dict(env, WAYLAND_DISPLAY=SOCKET)
        self.env.pop("DISPLAY", None)
        with open(log, "ab") as f:
            self.proc = subprocess.Popen(["weston", "--backend=headless-backend.so", "--use-pixman", "--width=1024",
                                          "--height=768", "--socket=" + SOCKET, "--idle-time=0", "--debug"],
                                         env=self.env, stdout=f, stderr=f, stdin=subprocess.DEVNULL)
        path = os.path.join(self.env["XDG_RUNTIME_DIR"], SOCKET)
        if not wait_until(lambda: os.path.exists(path) or self.proc.poll() is not None, 20, 0.1) or self.proc.poll():
            raise RuntimeError("weston did not start")

    def shot(self, name):
        """A screenshot of the compositor's output saved as name; its bytes."""
        shots = os.path.join(self.env["HOME"], "weston-shots")
        os.makedirs(shots, exist_ok=True)
        for f in os.listdir(shots):
            os.unlink(os.path.join(shots, f))
        subprocess.run(["weston-screenshooter"], cwd=shots, env=self.env, capture_output=True, timeout=10)
        made = os.listdir(shots)
        if not made:
            return b""
        os.makedirs(SHOTS, exist_ok=True)
        shutil.copy(os.path.join(shots, made[0]), os.path.join(SHOTS, name))
        with open(os.path.join(SHOTS, name), "rb") as f:
            return f.read()

    def close(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()


@unittest.skipUnless(os.path.exists(TARNWICK), "the front end is not built (no Qt 6)")
@unittest.skipIf(_tools_missing(), "needs %s" % ", ".join(_tools_missing()))
@unittest.skipUnless(dovecot_available() and provider_available(), "needs Dovecot and aiosmtpd")
class TarnwickOnWayland(unittest.TestCase):
    def setUp(self):
        self.world = World()
        self.addCleanup(self.world.close)
        self.desk = SessionDesktop(self.world.root)
        self.addCleanup(self.desk.close)
        self.weston = Weston(dict(self.desk.env), os.path.join(self.world.root, "weston.log"))
        self.addCleanup(self.weston.close)
        self.dovecot, self.provider = start_mail_peers(self, INCOMING, {})
        set_up_alice(self.world, self.dovecot, self.provider)

    def menu_item(self, item, label):
        """The id of the item's menu entry whose label, without its mnemonic, is label."""
        service, _, _ = item.partition("/")
        path = re.search(r"objectpath '([^']+)'", self.desk.item_call(
            item, "org.freedesktop.DBus.Properties.Get", "org.kde.StatusNotifierItem", "Menu").stdout).group(1)
        r = self.desk.gdbus(service, path, "com.canonical.dbusmenu.GetLayout", "0", "5", "@as []")
        layout = r.stdout + r.stderr
        for m in re.finditer(r"\((\d+), \{([^}]*)\}", layout):
            found = re.search(r"'label': <'([^']*)'>", m.group(2))
            if found and found.group(1).replace("_", "").replace("&", "") == label:
                return service, path, int(m.group(1))
        raise AssertionError("no %r in %s" % (label, layout))

    def start_cycles(self):
        return sum(1 for t in self.world.log_texts() if t == "MAIL  MED Start cycle")

    def test_window_tray_item_notification_and_cycle_now_on_a_compositor_without_a_seat(self):
        env = dict(self.desk.env, QT_QPA_PLATFORM="wayland", WAYLAND_DISPLAY=SOCKET,
                   TRAWLEX_SMTP_PORT=str(self.world.smtp_port), TRAWLEX_POP3_PORT=str(self.world.pop3_port),
                   TRAWLEX_NET_TIMEOUT_MS="5000")
        env.pop("DISPLAY")   # nothing of X11: the tray, the notifications and the engine link go without it
        fe = self.world.start_front_end(env)
        self.assertTrue(wait_until(lambda: self.desk.status_items(), 15), self.desk.logs())
        self.assertTrue(wait_until(self.world._smtp_listening, 10), "no engine")
        item = self.desk.status_items()[0]
        time.sleep(0.5)
        before = self.weston.shot("1-tray-only.png")

        # An activation over D-Bus (a click in a StatusNotifierItem tray) shows the window.
        self.desk.item_call(item, "org.kde.StatusNotifierItem.Activate", "0", "0")
        self.assertTrue(wait_until(lambda: self.weston.shot("2-window-opened.png") != before, 5, 0.5),
                        "the compositor shows no window")
        self.assertIsNone(fe.poll())

        # Cycle Now from the item's menu, as the tray shows it, runs a cycle of the engine, and
        # the mail it brings is announced by a desktop notification.
        service, path, cycle_now = self.menu_item(item, "Cycle Now")
        r = self.desk.gdbus(service, path, "com.canonical.dbusmenu.Event", str(cycle_now), "clicked", "<0>", "0")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertTrue(wait_until(lambda: self.start_cycles() >= 1, 10), self.world.log_texts())
        mailbox = os.path.join(self.world.work, "accounts", BOX)
        self.assertTrue(wait_until(lambda: len(os.listdir(mailbox)) == 3, 20), self.world.log_texts())
        self.assertTrue(wait_until(lambda: "3 unread" in self.desk.item_tooltip(item), 10), self.desk.item_tooltip(item))
        self.assertTrue(wait_until(lambda: any("new message" in n[0] for n in self.desk.notifications()), 10),
                        self.desk.logs())
        time.sleep(0.5)
        self.weston.shot("3-after-cycle-now.png")
        self.assertIsNone(fe.poll())
        # The compositor offers no seat: the program says how it types instead of crashing.
        self.assertTrue(any("offers no seat" in t for t in self.world.log_texts()), self.world.log_texts())

    def test_at_first_start_the_help_shows_inside_the_sheet(self):
        # Nothing configured and no browser: the set-up help would be a window of its own, which
        # the compositor may put under the sheet; it shows inside the sheet instead.
        self.world.write_hive({SETTINGS_KEY: {"outhostname": ""}})
        env = dict(self.desk.env, QT_QPA_PLATFORM="wayland", WAYLAND_DISPLAY=SOCKET,
                   TRAWLEX_SMTP_PORT=str(self.world.smtp_port), TRAWLEX_POP3_PORT=str(self.world.pop3_port))
        env.pop("DISPLAY")
        fe = self.world.start_front_end(env)
        self.assertTrue(wait_until(lambda: any("help shows inside the Options sheet" in t for t in self.world.log_texts()),
                                   15), self.world.log_texts())
        time.sleep(1)
        self.assertTrue(self.weston.shot("4-first-start-help-inside-the-sheet.png"))
        self.assertIsNone(fe.poll())


if __name__ == "__main__":
    unittest.main()
