"""New mail and a refused item as the user meets them, on a real X display with a tray host:
the front end starts the real engine, which dials through the stand-in nmcli, hands a queued
item to a provider SMTP server (aiosmtpd) that refuses its recipient with 550, and fetches two
messages from a private Dovecot. The tray animates, the front end beeps once per item, opens
the new-mail dialog with both rows, asks for the announcement, runs the configured program
and blinks with the alarm until a real POP3 client (poplib) has read the items through the
local POP3 server; the refused item opens the Delivery Failure Notice. The About box last.
Sound requests are recorded through TARNWICK_SOUND_LOG; screenshots go to the artefacts."""

import os
import poplib
import shutil
import smtplib
import sys
import time
import unittest

from harness import SETTINGS_KEY, wait_until
from peers.dovecot import PrivateDovecot, available as dovecot_available
from test_frontend import ARTEFACTS, TARNWICK, Desktop, World, _tools_missing

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "peers"))
from smtp_provider import SmtpProvider, available as provider_available  # noqa: E402

FIXTURES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "dialup", "fixtures")
SOUNDS = os.path.join(os.path.dirname(TARNWICK), "..", "share", "tarnwick", "sounds")
BOX = "alice@127.0.0.1"
INCOMING = [
    b"From: Ann Example <ann@example.org>\r\nTo: alice@example.net\r\nSubject: Lunch on Friday?\r\n"
    b"Date: Mon, 7 Dec 2026 11:58:00 +0000\r\n\r\nThe usual place.\r\n",
    b"From: Bob Sample <bob@example.com>\r\nTo: alice@example.net\r\nSubject: Minutes of the meeting\r\n"
    b"Date: Mon, 7 Dec 2026 12:01:00 +0000\r\n\r\nAttached, as promised.\r\n",
]
REFUSED = (b"Date: Mon, 7 Dec 2026 12:05:00 +0000\r\nFrom: Alice <alice@example.net>\r\n"
           b"To: Nobody <nobody@example.net>\r\nSubject: Are you still there?\r\n\r\nHello?\r\n")


def start_mail_peers(test, messages, refuse_rcpt):
    """A private Dovecot where alice (password "secret") has messages, and a provider SMTP
    server refusing the recipients of refuse_rcpt with their replies; both end with the test."""
    dovecot = PrivateDovecot({"alice": "secret"})
    dovecot.start()
    test.addCleanup(dovecot.stop)
    for message in messages:
        dovecot.deliver("alice", message)
    provider = SmtpProvider(refuse_rcpt=refuse_rcpt)
    provider.start()
    test.addCleanup(provider.close)
    return dovecot, provider


@unittest.skipUnless(os.path.exists(TARNWICK), "the front end is not built (no Qt 6)")
@unittest.skipIf(_tools_missing(), "needs Xvfb, trayer, xdotool, xwininfo and import")
@unittest.skipUnless(dovecot_available() and provider_available(), "needs Dovecot and aiosmtpd")
class NewMailOnADesktop(unittest.TestCase):
    def setUp(self):
        self.world = World()
        self.addCleanup(self.world.close)
        self.desk = Desktop(self.world.root)
        self.addCleanup(self.desk.close)
        self.dovecot, self.provider = start_mail_peers(self, INCOMING, {"nobody@example.net": "550 5.1.1 no such user"})

        # The dial-up entry is down and takes 2 s to come up: time to see the animation.
        self.nmcli = os.path.join(self.world.root, "nmcli")
        os.makedirs(self.nmcli)
        for name, text in (("entries", "MyISP\n"), ("up_sleep", "2")):
            with open(os.path.join(self.nmcli, name), "w") as f:
                f.write(text)
        self.ran = os.path.join(self.world.root, "program-ran")
        self.sound_log = os.path.join(self.world.root, "sounds.log")
        self.world.write_hive({
            SETTINGS_KEY: {"outhostname": "127.0.0.1", "outhostport": self.provider.port, "rasentry": "MyISP",
                           "NotifyRun": 1, "NotifRunFile": "/usr/bin/touch '%s'" % self.ran},
            SETTINGS_KEY + "\\Accounts\\alice": {
                "server": "127.0.0.1", "port": self.dovecot.port, "user": "alice", "pass": "secret",
                "uidlfile": BOX + ".uidl", "destmailbox": BOX, "dropdir": "accounts/%s/" % BOX},
        })
        os.makedirs(os.path.join(self.world.work, "accounts", BOX))
        # What the run command puts into the data directory.
        for sound in ("alarm.wav", "newmail.wav"):
            shutil.copy(os.path.join(SOUNDS, sound), self.world.work)

    def sounds(self):
        try:
            with open(self.sound_log) as f:
                return f.read().splitlines()
        except FileNotFoundError:
            return []

    def tray_shots(self, name, count, pause):
        x, y, w, h = self.desk.tray_icon()
        out = []
        for i in range(count):
            time.sleep(pause)
            path = self.desk.shot("%s-%d.png" % (name, i), (w, h, x, y))
            with open(path, "rb") as f:
                out.append(f.read())
        return out

    def window(self, title):
        found = self.desk.windows(title)
        return found[0] if found else None

    def shot_window(self, title, name):
        _, w, h, x, y = self.window(title)
        time.sleep(0.3)
        return self.desk.shot(name, (w, h, x, y))

    def xdo_window(self, title, *action):
        return self.desk.run("xdotool", "search", "--name", "^%s$" % title, *action)

    def test_new_mail_is_announced_until_read_and_a_refused_item_is_shown(self):
        env = dict(self.desk.env, QT_QPA_PLATFORM="xcb", NMCLI_SCENARIO=self.nmcli,
                   PATH=FIXTURES + ":" + os.environ.get("PATH", "/usr/bin:/bin"),
                   TARNWICK_SOUND_LOG=self.sound_log, TARNWICK_UNREAD_CHECK_MS="1000",
                   TRAWLEX_NET_TIMEOUT_MS="5000")
        self.world.start_front_end(env)
        self.assertTrue(wait_until(lambda: self.desk.tray_icon() is not None, 10), self.desk.tree())
        self.assertTrue(wait_until(lambda: self.world.registry_value("Status") == "OK", 5))

        # Outgoing mail with scheduling resumed (an account exists) starts a cycle at once.
        self.assertTrue(wait_until(self.world._smtp_listening, 10))
        with smtplib.SMTP("127.0.0.1", self.world.smtp_port, timeout=10) as client:
            client.sendmail("alice@example.net", ["nobody@example.net"], REFUSED)

        # Dialling: the tray animates.
        self.assertTrue(wait_until(lambda: self.world.registry_value("Status") == "Establishing connection...", 8),
                        self.world.registry_value("Status"))
        frames = self.tray_shots("1-tray-dialling", 3, 0.25)
        self.assertGreater(len(set(frames)), 1, "the tray icon does not animate")

        # The cycle's end: a beep per item, the announcement, the program, both notices.
        self.assertTrue(wait_until(lambda: "announce newmail.wav" in self.sounds(), 20),
                        (self.sounds(), self.world.log_texts()))
        self.assertEqual(self.sounds()[:3], ["beep", "beep", "announce newmail.wav"])
        self.assertTrue(wait_until(lambda: os.path.exists(self.ran), 5), "the configured program did not run")
        self.assertEqual(len(os.listdir(os.path.join(self.world.work, "accounts", BOX))), 2)
        self.assertEqual(self.provider.messages(), [])
        self.assertTrue(wait_until(lambda: self.window("Tarnwick - NEW MAIL!"), 5), self.desk.tree())
        self.assertTrue(wait_until(lambda: self.window("Delivery Failure Notice"), 5), self.desk.tree())
        # Both open centred on the screen; moved apart, each is shot on its own.
        for title in ("Tarnwick - NEW MAIL!", "Delivery Failure Notice"):
            _, w, h, x, y = self.window(title)
            self.assertLessEqual(abs(x + w // 2 - 512), 2, title)
            self.assertLessEqual(abs(y + h // 2 - 384), 2, title)
        self.xdo_window("Tarnwick - NEW MAIL!", "windowmove", "--sync", "8", "40")
        self.xdo_window("Delivery Failure Notice", "windowmove", "--sync", "512", "420")
        self.shot_window("Tarnwick - NEW MAIL!", "7-new-mail.png")
        self.shot_window("Delivery Failure Notice", "8-delivery-failure.png")
        # Each one's OK, at its bottom right, ends it.
        for title in ("Delivery Failure Notice", "Tarnwick - NEW MAIL!"):
            _, w, h, x, y = self.window(title)
            self.desk.run("xdotool", "mousemove", str(x + w - 45), str(y + h - 22), "click", "1")
            self.assertTrue(wait_until(lambda: not self.window(title), 5), title)

        # Unread mail: the alarm every check, the tray blinking.
        self.assertTrue(wait_until(lambda: "alarm alarm.wav" in self.sounds(), 5), self.sounds())
        blink = self.tray_shots("2-tray-blinking", 4, 0.3)
        self.assertGreater(len(set(blink)), 1, "the tray icon does not blink")

        # A real client reads the items through the local POP3 server: they are marked read.
        client = poplib.POP3("127.0.0.1", self.world.pop3_port, timeout=10)
        client.user("alice")
        client.pass_("secret")
        count, _ = client.stat()
        self.assertEqual(count, 2)
        got = sorted(b"".join(l + b"\r\n" for l in client.retr(i)[1]) for i in (1, 2))
        client.quit()
        self.assertEqual(got, sorted(INCOMING))

        # The next check finds nothing unread: no more alarms, no more blinking.
        alarms = lambda: self.sounds().count("alarm alarm.wav")
        settled = alarms()
        time.sleep(2.5)
        quiet = alarms()
        self.assertLessEqual(quiet - settled, 1)   # a check already under way may still sound
        time.sleep(1.5)
        self.assertEqual(alarms(), quiet)
        still = self.tray_shots("3-tray-read", 4, 0.3)
        self.assertEqual(len(set(still)), 1, "the tray icon still blinks")

        # About, from the tray menu.
        x, y, w, h = self.desk.tray_icon()
        self.desk.run("xdotool", "mousemove", str(x + w // 2), str(y + h // 2), "click", "3")
        time.sleep(0.6)
        self.desk.run("xdotool", "key", "a")
        self.assertTrue(wait_until(lambda: self.window("About"), 5), self.desk.tree())
        self.shot_window("About", "9-about.png")
        self.desk.run("xdotool", "key", "Return")
        self.assertTrue(wait_until(lambda: not self.window("About"), 5))


if __name__ == "__main__":
    unittest.main()
