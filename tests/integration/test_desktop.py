"""Tarnwick on a desktop of today: an X display (Xvfb) with a D-Bus session of its own, an Xfce
panel whose status tray shows StatusNotifierItem icons, and dunst as the notification service;
a real engine, a private Dovecot and an aiosmtpd provider. A click on the icon in the panel
opens the main window and an activation over D-Bus hides it again; a cycle that brings three
messages (one with encoded sender and subject) gives one desktop notification naming them,
decoded, whose action opens the main window; the list shows the decoded subject first (newest first); a real POP3 client collecting
the mail through the local POP3 server changes the counts and envelopes within 2 s; a refused
item gives the failure notice and a notification with the provider's reply. Screenshots of
each step go to the artefacts."""

import json
import os
import poplib
import re
import shutil
import smtplib
import subprocess
import sys
import time
import unittest

from harness import SETTINGS_KEY, private_env, wait_until
from peers.dovecot import available as dovecot_available
from test_frontend import ARTEFACTS, TARNWICK, World, screenshot, start_xvfb
from test_frontend_mail import start_mail_peers

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "peers"))
from smtp_provider import available as provider_available  # noqa: E402

SHOTS = os.path.join(os.path.dirname(ARTEFACTS), "desktop")
BOX = "alice@127.0.0.1"
INCOMING = [
    b"From: Ann Example <ann@example.org>\r\nTo: alice@example.net\r\nSubject: Lunch on Friday?\r\n"
    b"Date: Mon, 7 Dec 2026 11:58:00 +0000\r\n\r\nThe usual place.\r\n",
    b"From: =?ISO-8859-1?Q?J=FCrgen_M=FCller?= <juergen@example.de>\r\nTo: alice@example.net\r\n"
    b"Subject: =?UTF-8?Q?Gr=C3=BC=C3=9Fe_aus_K=C3=B6ln?=\r\n"
    b"Date: Tue, 8 Dec 2026 09:30:00 +0000\r\n\r\nBis bald.\r\n",
    b"From: Bob Sample <bob@example.com>\r\nTo: alice@example.net\r\nSubject: Minutes of the meeting\r\n"
    b"Date: Sun, 6 Dec 2026 08:00:00 +0000\r\n\r\nAttached, as promised.\r\n",
]
NEWEST_SUBJECT = "Grüße aus Köln"
SENT = (b"From: Alice <alice@example.net>\r\nTo: Friend <friend@example.org>\r\nSubject: Hello\r\n"
        b"Date: Tue, 8 Dec 2026 09:40:00 +0000\r\n\r\nHi.\r\n")
REFUSED = (b"From: Alice <alice@example.net>\r\nTo: Nobody <nobody@example.net>\r\n"
           b"Subject: Are you still there?\r\nDate: Tue, 8 Dec 2026 09:45:00 +0000\r\n\r\nHello?\r\n")
REPLY = "550 5.1.1 no such user"

# The panel: one panel along the top with the status tray only.
PANEL_CONFIG = """<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-panel" version="1.0">
  <property name="configver" type="int" value="2"/>
  <property name="panels" type="array">
    <value type="int" value="1"/>
    <property name="panel-1" type="empty">
      <property name="position" type="string" value="p=6;x=0;y=0"/>
      <property name="length" type="uint" value="100"/>
      <property name="position-locked" type="bool" value="true"/>
      <property name="size" type="uint" value="32"/>
      <property name="plugin-ids" type="array">
        <value type="int" value="1"/>
      </property>
    </property>
  </property>
  <property name="plugins" type="empty">
    <property name="plugin-1" type="string" value="systray"/>
  </property>
</channel>
"""

# A session bus that starts only the panel's settings service on demand: nothing of the
# machine's own session (accessibility, key rings) comes up inside the test.
BUS_CONFIG = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path={root}/bus</listen>
  <servicedir>{root}/dbus-services</servicedir>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
"""
XFCONF_SERVICE = "/usr/share/dbus-1/services/org.xfce.Xfconf.service"


def _tools_missing():
    tools = ("Xvfb", "xfce4-panel", "dunst", "dunstctl", "dbus-daemon", "gdbus", "xdotool", "xwininfo", "import")
    missing = [t for t in tools if not shutil.which(t)]
    if not os.path.exists(XFCONF_SERVICE):
        missing.append("xfconfd")
    return missing


def set_up_alice(world, dovecot, provider):
    """The settings of a world whose one account alice is on dovecot, sending through provider.
    Checked an instant ago: the schedule's first cycle is an hour away, so each cycle is the one
    a test starts."""
    world.write_hive({
        SETTINGS_KEY: {"outhostname": "127.0.0.1", "outhostport": provider.port, "rasentry": "",
                       "LastCheckTime": int(time.time()), "CheckFreqHI": 3600000, "CheckFreqLO": 3600000,
                       "NotifyDisDialog": 0},
        SETTINGS_KEY + "\\Accounts\\alice": {
            "server": "127.0.0.1", "port": dovecot.port, "user": "alice", "pass": "secret",
            "uidlfile": BOX + ".uidl", "destmailbox": BOX, "dropdir": "accounts/%s/" % BOX},
    })
    os.makedirs(os.path.join(world.work, "accounts", BOX))


class SessionDesktop:
    """Xvfb, a private session bus, the panel with its status tray and dunst, all in the world
    at root; what was started is ended again, by its process, when the desktop closes. With
    tray=False a window manager (openbox) takes the panel's place: a desktop without a tray
    and without a task bar."""

    def __init__(self, root, tray=True):
        self.procs = []
        self.tray = tray
        try:
            self._start(root)
        except BaseException:
            self.close()
            raise

    def _spawn(self, args, log, **kw):
        with open(os.path.join(self.root, log), "ab") as f:
            p = subprocess.Popen(args, env=self.env, stdout=f, stderr=f, **kw)
        self.procs.append(p)
        return p

    def _start(self, root):
        self.root = root
        xvfb, display = start_xvfb()
        self.procs.append(xvfb)
        services = os.path.join(root, "dbus-services")
        os.makedirs(services)
        shutil.copy(XFCONF_SERVICE, services)
        with open(os.path.join(root, "session.conf"), "w") as f:
            f.write(BUS_CONFIG.format(root=root))
        self.env = private_env(root, DISPLAY=display, DBUS_SESSION_BUS_ADDRESS="unix:path=%s/bus" % root,
                               NO_AT_BRIDGE="1")
        panel_dir = os.path.join(self.env["XDG_CONFIG_HOME"], "xfce4", "xfconf", "xfce-perchannel-xml")
        os.makedirs(panel_dir)
        with open(os.path.join(panel_dir, "xfce4-panel.xml"), "w") as f:
            f.write(PANEL_CONFIG)
        self._spawn(["dbus-daemon", "--nofork", "--config-file", os.path.join(root, "session.conf")], "bus.log")
        if not wait_until(lambda: os.path.exists(os.path.join(root, "bus")), 10):
            raise RuntimeError("the session bus did not start")
        if self.tray:
            self._spawn(["xfce4-panel", "--disable-wm-check"], "panel.log")
        else:
            self._spawn(["openbox", "--sm-disable"], "panel.log")
            if not wait_until(lambda: self.run("xprop", "-root", "_NET_SUPPORTING_WM_CHECK").stdout.find("window id") >= 0,
                              30, 0.2):
                raise RuntimeError("openbox did not start: " + self.logs())
        self._spawn(["dunst"], "dunst.log")
        names = ("org.kde.StatusNotifierWatcher", "org.freedesktop.Notifications") if self.tray \
            else ("org.freedesktop.Notifications",)
        for name in names:
            if not wait_until(lambda: name in self.bus_names(), 60, 0.2):
                raise RuntimeError("%s did not appear on the bus: %s" % (name, self.logs()))

    def logs(self):
        out = []
        for name in ("bus.log", "panel.log", "dunst.log"):
            try:
                with open(os.path.join(self.root, name), errors="replace") as f:
                    out.append(name + ": " + f.read()[-1500:])
            except OSError:
                pass
        return "\n".join(out)

    def run(self, *args, timeout=10):
        return subprocess.run(list(args), env=self.env, capture_output=True, text=True, timeout=timeout)

    def gdbus(self, dest, path, method, *args):
        return self.run("gdbus", "call", "--session", "--dest", dest, "--object-path", path, "--method", method, *args)

    def bus_names(self):
        return self.gdbus("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus.ListNames").stdout

    def status_items(self):
        """The items registered with the panel's watcher: ['service/path', ...]."""
        r = self.gdbus("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher", "org.freedesktop.DBus.Properties.Get",
                       "org.kde.StatusNotifierWatcher", "RegisteredStatusNotifierItems")
        return re.findall(r"'([^']+)'", r.stdout)

    def item_call(self, item, method, *args):
        service, _, path = item.partition("/")
        return self.gdbus(service, "/" + path, method, *args)

    def item_tooltip(self, item):
        service, _, path = item.partition("/")
        r = self.gdbus(service, "/" + path, "org.freedesktop.DBus.Properties.Get", "org.kde.StatusNotifierItem", "ToolTip")
        return r.stdout

    def notifications(self):
        """Every notification dunst has shown, once those on screen are closed: [(summary, body)]."""
        self.run("dunstctl", "close-all")
        r = self.run("dunstctl", "history")
        if r.returncode != 0:
            return []
        data = json.loads(r.stdout)["data"][0]
        return [(n["summary"]["data"], n["body"]["data"]) for n in data]

    def tree(self):
        return self.run("xwininfo", "-root", "-tree").stdout

    def windows(self, name):
        """Viewable top-level windows of the program titled name: (id, width, height, x, y)."""
        out = []
        for line in self.tree().splitlines():
            m = re.match(r'^\s{5}(0x[0-9a-f]+) "%s": \("tarnwick" "Tarnwick"\)\s+(\d+)x(\d+)\+-?\d+\+-?\d+\s+\+(-?\d+)\+(-?\d+)'
                         % re.escape(name), line)
            if m and self.run("xwininfo", "-id", m.group(1)).stdout.find("IsViewable") >= 0:
                out.append((m.group(1), int(m.group(2)), int(m.group(3)), int(m.group(4)), int(m.group(5))))
        return out

    def panel(self):
        """The panel's window: (x, y, width, height), or None."""
        m = re.search(r'"xfce4-panel": \("xfce4-panel" "Xfce4-panel"\)\s+(\d+)x(\d+)\+-?\d+\+-?\d+\s+\+(-?\d+)\+(-?\d+)',
                      self.tree())
        if not m:
            return None
        w, h, x, y = map(int, m.groups())
        return x, y, w, h

    def shot(self, name, crop=None):
        with open(screenshot(self.env, os.path.join(SHOTS, name), crop), "rb") as f:
            return f.read()

    def close(self):
        for p in reversed(self.procs):
            if p.poll() is None:
                p.terminate()
                try:
                    p.wait(5)
                except subprocess.TimeoutExpired:
                    p.kill()
                    p.wait()


@unittest.skipUnless(os.path.exists(TARNWICK), "the front end is not built (no Qt 6)")
@unittest.skipIf(_tools_missing(), "needs %s" % ", ".join(_tools_missing()))
@unittest.skipUnless(dovecot_available() and provider_available(), "needs Dovecot and aiosmtpd")
class TarnwickOnTodaysDesktop(unittest.TestCase):
    def setUp(self):
        self.world = World()
        self.addCleanup(self.world.close)
        self.desk = SessionDesktop(self.world.root)
        self.addCleanup(self.desk.close)
        self.dovecot, self.provider = start_mail_peers(self, INCOMING, {"nobody@example.net": REPLY})
        set_up_alice(self.world, self.dovecot, self.provider)
        self.sound_log = os.path.join(self.world.root, "sounds.log")

    def main_window(self):
        found = [w for w in self.desk.windows("Tarnwick") if w[1] > 300]
        return found[0] if found else None

    def main_window_focused(self):
        window = self.main_window()
        focus = self.desk.run("xdotool", "getwindowfocus").stdout.strip()
        return window is not None and focus.isdigit() and int(focus) == int(window[0], 16)

    def shot_window(self, title, name):
        found = self.desk.windows(title)
        _, w, h, x, y = found[0]
        time.sleep(0.3)
        return self.desk.shot(name, (w, h, x, y))

    def hand_over(self, message, to):
        with smtplib.SMTP("127.0.0.1", self.world.smtp_port, timeout=10) as client:
            client.sendmail("alice@example.net", [to], message)

    def test_tray_notifications_list_and_watching_on_a_desktop_of_today(self):
        env = dict(self.desk.env, QT_QPA_PLATFORM="xcb", TARNWICK_SOUND_LOG=self.sound_log,
                   TRAWLEX_SMTP_PORT=str(self.world.smtp_port), TRAWLEX_POP3_PORT=str(self.world.pop3_port),
                   TRAWLEX_NET_TIMEOUT_MS="5000")
        self.world.start_front_end(env)
        self.assertTrue(wait_until(lambda: self.desk.status_items(), 15), self.desk.logs())
        item = self.desk.status_items()[0]
        self.assertTrue(wait_until(self.world._smtp_listening, 10), "no engine")
        px, py, pw, ph = self.desk.panel()
        time.sleep(0.5)
        self.desk.shot("1-panel-with-the-icon.png", (240, ph, px, py))

        # A click on the icon in the panel's tray (the panel calls the item's Activate).
        self.desk.run("xdotool", "mousemove", str(px + 10), str(py + ph // 2), "click", "1")
        self.assertTrue(wait_until(self.main_window, 5), self.desk.tree())
        self.assertTrue(wait_until(self.main_window_focused, 5), "the main window did not get the focus")
        time.sleep(0.3)
        self.desk.shot("2-click-opened-the-window.png", (1024, 768, 0, 0))
        # In front, an activation hides it; the next one brings it back.
        self.desk.item_call(item, "org.kde.StatusNotifierItem.Activate", "0", "0")
        self.assertTrue(wait_until(lambda: not self.main_window(), 5), self.desk.tree())
        self.desk.item_call(item, "org.kde.StatusNotifierItem.Activate", "0", "0")
        self.assertTrue(wait_until(self.main_window, 5), self.desk.tree())
        self.assertTrue(wait_until(self.main_window_focused, 5), "the main window did not get the focus")
        self.desk.item_call(item, "org.kde.StatusNotifierItem.Activate", "0", "0")
        self.assertTrue(wait_until(lambda: not self.main_window(), 5), self.desk.tree())

        # Mail handed over starts a cycle: it is delivered and three messages come in.
        self.hand_over(SENT, "friend@example.org")
        mailbox = os.path.join(self.world.work, "accounts", BOX)
        self.assertTrue(wait_until(lambda: len(os.listdir(mailbox)) == 3, 20), self.world.log_texts())
        self.assertTrue(wait_until(lambda: self.desk.run("dunstctl", "count", "displayed").stdout.strip() != "0", 10),
                        self.desk.logs())
        time.sleep(0.5)
        self.desk.shot("3-new-mail-notification.png", (1024, 300, 0, 0))
        # The notification's action (what a click on it does) opens the main window.
        self.desk.run("dunstctl", "action", "0")
        self.assertTrue(wait_until(self.main_window, 5), self.desk.tree())
        _, ww, wh, wx, wy = self.main_window()
        time.sleep(0.3)
        self.desk.shot("4-list-newest-first.png", (ww, wh, wx, wy))
        shown = self.desk.notifications()
        new_mail = [n for n in shown if "new message" in n[0]]
        self.assertEqual(len(new_mail), 1, shown)
        self.assertEqual(new_mail[0][0], "3 new messages")
        self.assertIn("Jürgen Müller: " + NEWEST_SUBJECT, new_mail[0][1])
        self.assertIn("Ann Example: Lunch on Friday?", new_mail[0][1])
        self.assertNotIn("=?", new_mail[0][1])

        # The list is sorted newest first: Enter on its first row opens the item named by its
        # subject, decoded.
        self.desk.run("xdotool", "mousemove", str(wx + ww // 2), str(wy + 60), "click", "1")
        time.sleep(0.3)
        self.desk.run("xdotool", "key", "Home", "Return")
        self.assertTrue(wait_until(lambda: self.desk.windows(NEWEST_SUBJECT), 5), self.desk.tree())
        self.shot_window(NEWEST_SUBJECT, "5-viewer-titled-by-the-subject.png")
        viewer = self.desk.windows(NEWEST_SUBJECT)[0][0]
        self.desk.run("xdotool", "windowclose", viewer)
        self.assertTrue(wait_until(lambda: not self.desk.windows(NEWEST_SUBJECT), 5))

        # A real POP3 client collects the mail through the local POP3 server: read marks and a
        # deletion show in the tree, the list and the icon's tip within 2 s.
        self.assertTrue(wait_until(lambda: "3 unread" in self.desk.item_tooltip(item), 5),
                        self.desk.item_tooltip(item))
        before = self.desk.shot("6-before-collecting.png", (ww, wh, wx, wy))
        client = poplib.POP3("127.0.0.1", self.world.pop3_port, timeout=10)
        client.user("alice")
        client.pass_("secret")
        count, _ = client.stat()
        self.assertEqual(count, 3)
        for i in (1, 2, 3):
            client.retr(i)
        client.dele(3)
        client.quit()
        collected = time.monotonic()
        self.assertTrue(wait_until(lambda: "unread" not in self.desk.item_tooltip(item), 2),
                        self.desk.item_tooltip(item))
        self.assertTrue(wait_until(lambda: self.desk.shot("7-after-collecting.png", (ww, wh, wx, wy)) != before,
                                   max(0.1, 2 - (time.monotonic() - collected)), 0.2), "the views did not change")

        # A refused item: the failure notice and a notification carry the provider's reply.
        self.hand_over(REFUSED, "nobody@example.net")
        self.assertTrue(wait_until(lambda: self.desk.windows("Delivery Failure Notice"), 20), self.world.log_texts())
        self.shot_window("Delivery Failure Notice", "8-delivery-failure-notice.png")
        self.assertTrue(wait_until(lambda: self.desk.run("dunstctl", "count", "displayed").stdout.strip() != "0", 10))
        time.sleep(0.5)
        self.desk.shot("9-refusal-notification.png", (1024, 300, 0, 0))
        refused = [n for n in self.desk.notifications() if n[0] == "Mail could not be delivered"]
        self.assertEqual(len(refused), 1)
        self.assertIn("To: Nobody\n", refused[0][1])
        self.assertIn(REPLY, refused[0][1])


if __name__ == "__main__":
    unittest.main()
