"""The main window's mail views on a real X display with the tray host, a real engine and local
providers: a cycle started from the File menu retrieves mail from a private POP3 server, items
queued through the engine's SMTP server wait in the queue, and the window lists both folders
with their columns and unread counts; Delete from the list's context menu asks and removes
(an outgoing item with its routing file); a right click on an account opens its properties.
Screenshots of both folders are saved as artefacts."""

import os
import smtplib
import time
import unittest

from harness import SETTINGS_KEY, wait_until
from peers import smtp_provider
from peers.dovecot import PrivateDovecot, available as dovecot_available
from peers.smtp_provider import SmtpProvider
import test_frontend as fe

ACCOUNTS_KEY = SETTINGS_KEY + r"\Accounts"


def message(sender, to, subject, date, body="Hello.\r\n"):
    return ("From: %s\r\nTo: %s\r\nSubject: %s\r\nDate: %s\r\n\r\n%s" % (sender, to, subject, date, body)).encode()


@unittest.skipUnless(os.path.exists(fe.TARNWICK), "the front end is not built (no Qt 6)")
@unittest.skipIf(fe._tools_missing(), "needs Xvfb, trayer, xdotool, xwininfo and import")
@unittest.skipUnless(dovecot_available() and smtp_provider.available(), "needs dovecot-pop3d and aiosmtpd")
class MailViewsOnADesktop(unittest.TestCase):
    def setUp(self):
        self.provider = SmtpProvider().start()
        self.addCleanup(self.provider.close)
        self.pop = PrivateDovecot({"alice": "alice-pw", "bob": "bob-pw"}).start()
        self.addCleanup(self.pop.stop)
        self.world = fe.World()
        self.addCleanup(self.world.close)
        self.desk = fe.Desktop(self.world.root)
        self.addCleanup(self.desk.close)

        self.pop.deliver("alice", message("Carol Finch <carol@example.org>", "alice@example.net",
                                          "Minutes of Tuesday's meeting", "Sun, 06 Dec 1998 10:05:33 +0100"))
        self.pop.deliver("alice", message("dave@example.org", "alice@example.net", "Lunch?",
                                          "07 Dec 1998 12:30 +0000"))
        self.pop.deliver("bob", message("Erin <erin@example.org>", ", ".join("user%02d@example.net" % i
                                                                               for i in range(8)),
                                        "To many people at once", "whenever"))
        hive = {SETTINGS_KEY: {"outhostname": "127.0.0.1", "outhostport": self.provider.port,
                               "SMTPDeliverImm": 0, "rasentry": "",
                               "NotifyDisDialog": 0}}
        for title, user, password in (("home", "alice", "alice-pw"), ("work", "bob", "bob-pw")):
            box = user + "@127.0.0.1"
            hive[ACCOUNTS_KEY + "\\" + title] = {"server": "127.0.0.1", "port": self.pop.port, "user": user,
                                                 "pass": password, "uidlfile": box + ".uidl",
                                                 "destmailbox": box}
            os.makedirs(os.path.join(self.world.work, "accounts", box))
        self.world.write_hive(hive)

    def xdo(self, *args):
        return self.desk.run("xdotool", *args)

    def items(self, box):
        d = os.path.join(self.world.work, box)
        return sorted(n for n in os.listdir(d) if n.endswith(".rfc822"))

    def click(self, x, y, button="1"):
        self.xdo("mousemove", str(x), str(y), "click", button)
        time.sleep(0.3)

    def window_shot(self, name):
        time.sleep(0.4)
        _, ww, wh, wx, wy = self.main()
        return self.desk.shot(name, (ww + 20, wh + 20, max(wx - 10, 0), max(wy - 10, 0)))

    def main(self):
        big = [w for w in self.desk.windows() if w[1] > 500]
        return big[0] if big else None

    def box(self):
        return [w for w in self.desk.windows() if 150 < w[1] < 700 and w[2] < 300]

    def test_the_window_lists_both_folders_and_deletes_after_asking(self):
        env = dict(self.desk.env, QT_QPA_PLATFORM="xcb")
        fe_proc = self.world.start_front_end(env)
        self.assertTrue(wait_until(lambda: os.path.exists(self.world.link_socket()), 10), "no engine")
        self.assertTrue(wait_until(lambda: self.desk.tray_icon() is not None, 10), self.desk.tree())
        x, y, w, h = self.desk.tray_icon()
        self.xdo("mousemove", str(x + w // 2), str(y + h // 2), "click", "--repeat", "2", "--delay", "80", "1")
        self.assertTrue(wait_until(self.main, 5), self.desk.tree())
        # Wide enough for all seven columns in the screenshots.
        self.xdo("windowsize", self.main()[0], "1000", "500")
        self.xdo("windowmove", self.main()[0], "10", "40")
        self.assertTrue(wait_until(lambda: self.main()[1] == 1000 and self.main()[3] == 10, 5), self.main())
        _, ww, wh, wx, wy = self.main()

        # File > Cycle Now: mail comes in while the window is open; the views follow.
        self.click(wx + 20, wy + 8)
        self.xdo("key", "c")
        alice, bob = "accounts/alice@127.0.0.1", "accounts/bob@127.0.0.1"
        self.assertTrue(wait_until(lambda: len(self.items(alice)) == 2 and len(self.items(bob)) == 1, 20),
                        self.world.log_texts())
        self.assertTrue(wait_until(lambda: self.world.registry_value("Status") == "OK", 10))

        # The e-mail program took one of alice's items (read); then two items are queued
        # through the engine's own SMTP server and wait in the queue.
        os.chmod(os.path.join(self.world.work, alice, self.items(alice)[0]), 0o444)
        with smtplib.SMTP("127.0.0.1", self.world.smtp_port, timeout=10) as client:
            client.sendmail("<me@example.net>", ["<frank@example.org>"],
                            message("Me <me@example.net>", "frank@example.org", "Report draft",
                                    "Mon, 07 Dec 1998 08:15:00 +0000"))
            client.sendmail("<me@example.net>", ["<gina@example.org>"],
                            message("Me <me@example.net>", "gina@example.org", "Photos", "Mon, 07 Dec 1998 08:16:00"))
        self.assertTrue(wait_until(lambda: len(self.items("outgoing")) == 2, 5))
        incoming = self.window_shot("7-views-incoming.png")

        # The tree: "Incoming" on the first line; End selects "Outgoing", the last node.
        tree_x = wx + 40
        self.click(tree_x, wy + 60)
        self.xdo("key", "End")
        outgoing = self.window_shot("8-views-outgoing.png")

        # Delete the first queued item: the context menu, D, the question, Y.
        list_x, first_row_y = wx + ww // 4 + 60, wy + 72
        self.click(list_x, first_row_y, "3")
        self.window_shot("9-views-list-menu.png")
        self.xdo("key", "d")
        self.assertTrue(wait_until(self.box, 5), self.desk.tree())
        self.window_shot("10-views-delete-question.png")
        self.xdo("key", "y")
        self.assertTrue(wait_until(lambda: len(self.items("outgoing")) == 1, 5))
        left = self.items("outgoing")[0]
        self.assertEqual(sorted(os.listdir(os.path.join(self.world.work, "outgoing"))), [left, left + ".route"])
        self.window_shot("11-views-after-delete.png")

        # An incoming item: No keeps it, Yes removes it alone.
        self.click(tree_x, wy + 60)
        self.xdo("key", "Home")
        time.sleep(0.3)
        self.click(list_x, first_row_y, "3")
        self.xdo("key", "d")
        self.assertTrue(wait_until(self.box, 5), self.desk.tree())
        self.xdo("key", "n")
        self.assertTrue(wait_until(lambda: not self.box(), 5))
        self.assertEqual(len(self.items(alice)) + len(self.items(bob)), 3)
        self.click(list_x, first_row_y, "3")
        self.xdo("key", "d")
        self.assertTrue(wait_until(self.box, 5), self.desk.tree())
        self.xdo("key", "y")
        self.assertTrue(wait_until(lambda: len(self.items(alice)) + len(self.items(bob)) == 2, 5))
        self.assertFalse([n for n in os.listdir(os.path.join(self.world.work, alice)) + 
                          os.listdir(os.path.join(self.world.work, bob)) if not n.endswith(".rfc822")])

        # A right click on the account "home" (third line of the tree) opens its properties.
        self.click(tree_x, wy + 70, "3")
        sheet = lambda: self.desk.windows("Account properties")
        self.assertTrue(wait_until(sheet, 5), self.desk.tree())
        _, sw, sh, sx, sy = sheet()[0]
        time.sleep(0.4)
        self.desk.shot("12-views-account-properties.png", (sw + 20, sh + 20, max(sx - 10, 0), max(sy - 10, 0)))
        self.xdo("key", "Escape")
        self.assertTrue(wait_until(lambda: not sheet(), 5))
        self.assertIsNone(fe_proc.poll())
        for path in (incoming, outgoing):
            self.assertGreater(os.path.getsize(path), 1000)


if __name__ == "__main__":
    unittest.main()
