"""Tarnwick on a desktop without a tray and without a task bar: Xvfb with openbox as the only
window manager, a D-Bus session of its own with dunst, a real engine, a private Dovecot and an
aiosmtpd provider. The main window opens at start, wholly on the screen; closing it minimises
it (the program runs on and asks nothing); a second start brings it back without a message
box; a cycle's new-mail notification names the senders newest first, and its action brings the
minimised window back. Screenshots of each step go to the artefacts."""

import os
import re
import shutil
import smtplib
import subprocess
import sys
import time
import unittest

from harness import SETTINGS_KEY, wait_until
from peers.dovecot import available as dovecot_available
from test_desktop import set_up_alice, INCOMING, NEWEST_SUBJECT, SENT, BOX, SessionDesktop
from test_frontend import ARTEFACTS, TARNWICK, World, screenshot
from test_frontend_mail import start_mail_peers

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "peers"))
from smtp_provider import available as provider_available  # noqa: E402

SHOTS = os.path.join(os.path.dirname(ARTEFACTS), "no-tray")
SCREEN = (1024, 768)


def _tools_missing():
    tools = ("Xvfb", "openbox", "dunst", "dunstctl", "dbus-daemon", "gdbus", "xdotool", "xwininfo", "xprop", "import")
    return [t for t in tools if not shutil.which(t)]


class OpenboxDesktop(SessionDesktop):
    def main_window(self):
        """The main window while it is on the screen: (id, width, height, x, y), or None."""
        r = self.run("xdotool", "search", "--name", "^Tarnwick$")
        for wid in r.stdout.split():
            info = self.run("xwininfo", "-id", wid).stdout
            if "IsViewable" not in info:
                continue
            size = [int(re.search(r"%s:\s+(-?\d+)" % k, info).group(1))
                    for k in ("Width", "Height", "Absolute upper-left X", "Absolute upper-left Y")]
            if size[0] > 300:
                return (hex(int(wid)),) + tuple(size)
        return None

    def iconic(self):
        """Whether the program's main window is minimised (WM_STATE Iconic)."""
        r = self.run("xdotool", "search", "--name", "^Tarnwick$")
        for wid in r.stdout.split():
            if "Iconic" in self.run("xprop", "-id", wid, "WM_STATE").stdout:
                return True
        return False

    def dialogs(self):
        """Other windows of the program on the screen (message boxes): their titles."""
        titles = []
        r = self.run("xdotool", "search", "--onlyvisible", "--class", "tarnwick")
        for wid in r.stdout.split():
            name = self.run("xdotool", "getwindowname", wid).stdout.strip()
            if name and name != "Tarnwick":
                titles.append(name)
        return titles


@unittest.skipUnless(os.path.exists(TARNWICK), "the front end is not built (no Qt 6)")
@unittest.skipIf(_tools_missing(), "needs %s" % ", ".join(_tools_missing()))
@unittest.skipUnless(dovecot_available() and provider_available(), "needs Dovecot and aiosmtpd")
class TarnwickWithoutATray(unittest.TestCase):
    def setUp(self):
        self.world = World()
        self.addCleanup(self.world.close)
        self.desk = OpenboxDesktop(self.world.root, tray=False)
        self.addCleanup(self.desk.close)
        self.dovecot, self.provider = start_mail_peers(self, INCOMING, {})
        set_up_alice(self.world, self.dovecot, self.provider)
        self.env = dict(self.desk.env, QT_QPA_PLATFORM="xcb", TRAWLEX_SMTP_PORT=str(self.world.smtp_port),
                        TRAWLEX_POP3_PORT=str(self.world.pop3_port), TRAWLEX_NET_TIMEOUT_MS="5000")

    def shot(self, name):
        time.sleep(0.4)
        return screenshot(self.desk.env, os.path.join(SHOTS, name))

    def assert_wholly_on_screen(self, window):
        _, w, h, x, y = window
        self.assertGreaterEqual(x, 0, window)
        self.assertGreaterEqual(y, 0, window)
        self.assertLessEqual(x + w, SCREEN[0], window)
        self.assertLessEqual(y + h, SCREEN[1], window)

    def test_the_window_is_the_way_in_when_there_is_no_tray(self):
        fe = self.world.start_front_end(self.env)
        # The window opens by itself, all of it on the screen, and has the focus.
        self.assertTrue(wait_until(self.desk.main_window, 15), self.desk.tree() + self.desk.logs())
        self.assertTrue(wait_until(self.world._smtp_listening, 10), "no engine")
        time.sleep(0.6)   # framed by the window manager, placed where it stays
        window = self.desk.main_window()
        self.assert_wholly_on_screen(window)
        self.shot("1-window-at-start.png")

        # Its close button (Alt+F4 in openbox) minimises it: no question, the program runs on.
        self.desk.run("xdotool", "windowactivate", "--sync", str(int(window[0], 16)))
        self.desk.run("xdotool", "key", "alt+F4")
        self.assertTrue(wait_until(self.desk.iconic, 5), "the window was not minimised")
        self.assertIsNone(self.desk.main_window())
        time.sleep(0.5)
        self.assertEqual(self.desk.dialogs(), [])
        self.assertIsNone(fe.poll())
        self.shot("2-closed-to-nothing.png")

        # A second start brings it back and ends, with no message box.
        second = subprocess.Popen([TARNWICK], cwd=self.world.work, env=dict(self.world.env, **self.env),
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.assertEqual(second.wait(10), 0)
        self.assertTrue(wait_until(self.desk.main_window, 5), "the second start did not bring the window back")
        self.assertFalse(self.desk.iconic())
        time.sleep(0.5)
        self.assertEqual(self.desk.dialogs(), [])
        self.assert_wholly_on_screen(self.desk.main_window())
        self.shot("3-second-start-raised-it.png")

        # Minimised again, the schedule and the notifications go on: mail handed over starts a
        # cycle, and the notification's action brings the window back.
        wid = self.desk.main_window()[0]
        self.desk.run("xdotool", "windowminimize", "--sync", str(int(wid, 16)))
        self.assertTrue(wait_until(self.desk.iconic, 5), "the window was not minimised")
        with smtplib.SMTP("127.0.0.1", self.world.smtp_port, timeout=10) as client:
            client.sendmail("alice@example.net", ["friend@example.org"], SENT)
        mailbox = os.path.join(self.world.work, "accounts", BOX)
        self.assertTrue(wait_until(lambda: len(os.listdir(mailbox)) == 3, 20), self.world.log_texts())
        self.assertTrue(wait_until(lambda: self.desk.run("dunstctl", "count", "displayed").stdout.strip() != "0", 10),
                        self.desk.logs())
        self.shot("4-notification-while-minimised.png")
        self.desk.run("dunstctl", "action", "0")
        self.assertTrue(wait_until(self.desk.main_window, 5), "the notification's action did not open the window")
        self.assertFalse(self.desk.iconic())
        self.assert_wholly_on_screen(self.desk.main_window())
        self.shot("5-notification-opened-the-window.png")
        # View > Log: the day's log in its own window, titled by the day, at its newest line.
        self.desk.run("xdotool", "windowactivate", "--sync", str(int(self.desk.main_window()[0], 16)))
        self.desk.run("xdotool", "key", "alt+v", "Down", "Return")
        title = "Tarnwick log \u2013 " + time.strftime("%-d %B %Y")
        log_window = lambda: self.desk.run("xdotool", "search", "--onlyvisible", "--name", "^" + title + "$").stdout.split()
        self.assertTrue(wait_until(log_window, 5), self.desk.dialogs())
        self.shot("6-log-window.png")
        self.desk.run("xdotool", "key", "--window", log_window()[0], "Escape")
        self.assertTrue(wait_until(lambda: not log_window(), 5))

        shown = [n for n in self.desk.notifications() if "new message" in n[0]]
        self.assertEqual(len(shown), 1)
        # The senders in the mail list's order, newest first.
        self.assertEqual(shown[0][1].split("\n"), ["Jürgen Müller: " + NEWEST_SUBJECT, "Ann Example: Lunch on Friday?",
                                                   "Bob Sample: Minutes of the meeting"])
        self.assertIsNone(fe.poll())


    def test_at_first_start_the_sheet_opens_beside_the_help(self):
        # Nothing configured, and no browser on this desktop: the help opens in the program's
        # own window, and the Options sheet beside it.
        self.world.write_hive({SETTINGS_KEY: {"outhostname": ""}})
        self.world.start_front_end(self.env)
        sheet = lambda: self.desk.run("xdotool", "search", "--onlyvisible", "--name", "^Tarnwick Options$").stdout.split()
        helpw = lambda: self.desk.run("xdotool", "search", "--onlyvisible", "--name", "^Tarnwick Help$").stdout.split()
        self.assertTrue(wait_until(lambda: sheet() and helpw(), 15), self.desk.dialogs())
        time.sleep(0.8)

        def frame(wid):
            info = self.desk.run("xwininfo", "-id", wid).stdout
            return [int(re.search(r"%s:\s+(-?\d+)" % k, info).group(1))
                    for k in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height")]
        sx, sy, sw, sh = frame(sheet()[0])
        hx, hy, hw, hh = frame(helpw()[0])
        self.assertLessEqual(sx + sw, hx, (frame(sheet()[0]), frame(helpw()[0])))
        for x, y, w, h in ((sx, sy, sw, sh), (hx, hy, hw, hh)):
            self.assertTrue(0 <= x and x + w <= SCREEN[0] and 0 <= y and y + h <= SCREEN[1], (x, y, w, h))
        self.shot("7-first-start-sheet-beside-the-help.png")
        # The help stays usable beside the sheet: at its top, the contents' links stand apart.
        self.desk.run("xdotool", "mousemove", str(hx + hw // 2), str(hy + hh // 2), "click", "1")
        self.desk.run("xdotool", "click", "--repeat", "40", "--delay", "20", "4")
        self.shot("8-help-contents.png")


if __name__ == "__main__":
    unittest.main()
