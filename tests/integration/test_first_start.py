"""A new user's first start on a real X display with a tray host: with an empty configuration
the Options sheet opens by itself with the set-up help, the Connection page is filled in, the
Add Account Wizard follows, its first account sets the schedule going, and the user.reg they
leave drives a real cycle of the engine, started by the e-mail program's message alone, against
a provider's SMTP server and a POP3 server; the e-mail program then logs in to the local POP3
server with the account's title and password. Screenshots of every page."""

import os
import poplib
import re
import smtplib
import stat
import sys
import time
import unittest

from harness import wait_until
from test_frontend import ARTEFACTS, TARNWICK, Desktop, World, _tools_missing
from peers.dovecot import PrivateDovecot, available as dovecot_available

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "peers"))
import smtp_provider  # noqa: E402
from smtp_provider import SmtpProvider  # noqa: E402

FIXTURES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "dialup", "fixtures")


def script(path, body):
    with open(path, "w") as f:
        f.write("#!/bin/sh\n" + body)
    os.chmod(path, stat.S_IRWXU)


@unittest.skipUnless(os.path.exists(TARNWICK), "the front end is not built (no Qt 6)")
@unittest.skipIf(_tools_missing(), "needs Xvfb, trayer, xdotool, xwininfo and import")
@unittest.skipUnless(dovecot_available() and smtp_provider.available(), "needs dovecot and aiosmtpd")
class FirstStart(unittest.TestCase):
    def setUp(self):
        self.world = World()
        self.addCleanup(self.world.close)
        self.desk = Desktop(self.world.root)
        self.addCleanup(self.desk.close)
        root = self.world.root
        # The help and the e-mail program only say that they were started.
        self.tools = os.path.join(root, "tools")
        os.makedirs(self.tools)
        self.opened = os.path.join(root, "opened")
        self.mailer_ran = os.path.join(root, "mailer-ran")
        script(os.path.join(self.tools, "xdg-open"), 'echo "$@" >> "%s"\n' % self.opened)
        mailer = os.path.join(self.tools, "testmail")
        script(mailer, 'echo "$@" >> "%s"\n' % self.mailer_ran)
        # A desktop knowing one e-mail program, the default one for mailto: links.
        apps = os.path.join(root, "data", "applications")
        os.makedirs(apps, exist_ok=True)
        with open(os.path.join(apps, "testmail.desktop"), "w") as f:
            f.write("[Desktop Entry]\nType=Application\nName=Test Mail\nExec=%s --compose %%u\n"
                    "MimeType=x-scheme-handler/mailto;\n" % mailer)
        # And a browser for the help pages.
        with open(os.path.join(apps, "testbrowser.desktop"), "w") as f:
            f.write("[Desktop Entry]\nType=Application\nName=Test Browser\nExec=%s %%u\nMimeType=text/html;\n"
                    % os.path.join(self.tools, "xdg-open"))
        with open(os.path.join(apps, "mimeapps.list"), "w") as f:
            f.write("[Default Applications]\nx-scheme-handler/mailto=testmail.desktop\n")
        # The stand-in nmcli knows one dial-up entry; the user chooses none.
        self.nmcli = os.path.join(root, "nmcli")
        os.makedirs(self.nmcli)
        with open(os.path.join(self.nmcli, "entries"), "w") as f:
            f.write("MyISP\n")
        self.env = dict(self.desk.env, QT_QPA_PLATFORM="xcb", NMCLI_SCENARIO=self.nmcli,
                        XDG_DATA_DIRS=os.path.join(root, "no-data-dirs"), XDG_CONFIG_DIRS=os.path.join(root, "none"),
                        PATH=self.tools + ":" + FIXTURES + ":" + os.environ.get("PATH", "/usr/bin:/bin"))

    # -- the desktop ---------------------------------------------------------------------------
    def xdo(self, *args):
        r = self.desk.run("xdotool", *args)
        return r.stdout.strip()

    def window(self, title):
        """The id of the visible top-level window with this title, or None."""
        ids = self.xdo("search", "--onlyvisible", "--name", "^%s$" % re.escape(title)).split()
        return ids[0] if ids else None

    def message_box(self):
        """A visible box captioned "Tarnwick" (the tray icon has that name too, at 22 pixels)."""
        ids = self.xdo("search", "--onlyvisible", "--name", "^Tarnwick$").split()
        boxes = [i for i in ids if self.geometry(i)[2] > 100]
        return boxes[0] if boxes else None

    def geometry(self, wid):
        out = self.xdo("getwindowgeometry", "--shell", wid)
        g = dict(line.split("=", 1) for line in out.splitlines() if "=" in line)
        return int(g["X"]), int(g["Y"]), int(g["WIDTH"]), int(g["HEIGHT"])

    def focus(self, title):
        self.assertTrue(wait_until(lambda: self.window(title), 10), "no window '%s':\n%s" % (title, self.desk.tree()))
        wid = self.window(title)
        x, y, w, h = self.geometry(wid)
        self.xdo("mousemove", str(x + w // 2), str(y + 4))
        self.xdo("windowfocus", "--sync", wid)
        time.sleep(0.3)
        return wid

    def shot(self, name, wid):
        time.sleep(0.4)
        x, y, w, h = self.geometry(wid)
        return self.desk.shot(name, (w + 16, h + 16, max(x - 8, 0), max(y - 8, 0)))

    def keys(self, *keys):
        for k in keys:
            self.xdo("key", "--delay", "60", k)
            time.sleep(0.15)

    def type(self, text):
        self.xdo("type", "--delay", "40", text)
        time.sleep(0.2)

    # -- the configuration ---------------------------------------------------------------------
    def hive(self):
        path = os.path.join(self.world.config_dir, "tarnwick", "user.reg")
        try:
            with open(path, encoding="utf-8") as f:
                return f.read()
        except OSError:
            return ""

    def set_hive(self, text):
        path = os.path.join(self.world.config_dir, "tarnwick", "user.reg")
        with open(path + ".edit", "w", encoding="utf-8") as f:
            f.write(text)
        os.replace(path + ".edit", path)

    def test_first_start_sets_up_a_working_gateway(self):
        fe = self.world.start_front_end(self.env)

        # Options opens by itself, and the help at its set-up section.
        wid = self.focus("Tarnwick Options")
        self.assertTrue(wait_until(lambda: os.path.exists(self.opened), 5), "help not opened")
        with open(self.opened) as f:
            self.assertRegex(f.read(), r"share/tarnwick/help/index\.html#setup")
        self.shot("options-1-connection.png", wid)

        # OK without an outgoing server is refused with its message.
        self.keys("Return")
        self.assertTrue(wait_until(self.message_box, 5), self.desk.tree())
        self.shot("options-0-no-server-message.png", self.message_box())
        self.keys("Return")
        self.assertTrue(wait_until(lambda: self.message_box() is None, 5))
        self.assertIsNotNone(self.window("Tarnwick Options"))
        self.assertNotIn("outhostname", self.hive())

        self.focus("Tarnwick Options")
        self.keys("alt+s")
        self.type("127.0.0.1")
        self.keys("ctrl+Tab")
        self.shot("options-2-scheduling.png", wid)
        self.keys("ctrl+Tab")
        self.shot("options-3-notifications.png", wid)
        self.keys("Return")
        self.assertTrue(wait_until(lambda: '"outhostname"="127.0.0.1"' in self.hive(), 5), self.hive())
        hive = self.hive()
        self.assertIn('"outhostport"=dword:00000019', hive)
        self.assertIn('"rasentry"=""', hive)

        # Without an account the wizard follows.
        wid = self.focus("Add Account Wizard")
        self.shot("wizard-1-title.png", wid)
        self.keys("alt+t")
        self.type("home")
        self.keys("Return")
        time.sleep(0.3)
        self.keys("alt+s")
        self.type("127.0.0.1")
        self.keys("alt+u")
        self.type("jo")
        self.keys("alt+p")
        self.type("Secret-1")
        self.shot("wizard-2-server.png", wid)
        self.keys("Return")
        time.sleep(0.3)
        self.keys("Return")   # the outgoing server for all accounts
        time.sleep(0.3)
        self.keys("Return")   # fetched mail deleted at the provider
        # The servers are not there yet: the check says so, and the account is set up anyway.
        self.assertTrue(wait_until(lambda: any("wizard's check of pop3 127.0.0.1:110 failed at connect (connection-refused)" in line
                                               for line in self.world.log_texts()), 20),
                        "\n".join(self.world.log_texts()))
        self.shot("wizard-2b-check-failed.png", wid)
        self.keys("alt+a", "Return")
        time.sleep(0.3)
        self.shot("wizard-3-client.png", wid)
        self.keys("Return")   # Finish

        # The e-mail program's settings; its button starts the program.
        wid = self.focus("New Account Settings for E-Mail Client")
        self.shot("wizard-4-new-account-settings.png", wid)
        self.keys("alt+l")
        self.assertTrue(wait_until(lambda: os.path.exists(self.mailer_ran), 5), "the e-mail program did not start")
        with open(self.mailer_ran) as f:
            self.assertEqual(f.read().strip(), "--compose")
        self.focus("New Account Settings for E-Mail Client")
        self.keys("Tab", "Return")   # from "Launch client" to OK
        self.assertTrue(wait_until(lambda: self.window("New Account Settings for E-Mail Client") is None, 5))

        hive = self.hive()
        account = hive[hive.index("\\Accounts\\home]"):]
        for line in ('"server"="127.0.0.1"', '"port"=dword:0000006e', '"user"="jo"', '"pass"="Secret-1"',
                     '"clientname"="Test Mail"', '"dropdir"="accounts/jo@127.0.0.1/"'):
            self.assertIn(line, account)
        self.assertRegex(account, r'"clientfile"=".*testmail --compose"')
        mailbox = os.path.join(self.world.work, "accounts", "jo@127.0.0.1")
        self.assertTrue(os.path.isdir(mailbox))
        self.assertIsNone(fe.poll())

        # The provider's servers listen on ports of their own: the two port numbers are all the
        # test changes in the user.reg the dialogs wrote.
        with SmtpProvider() as provider, PrivateDovecot({"jo": "Secret-1"}) as dovecot:
            dovecot.deliver("jo", b"From: ann@example.org\r\nSubject: welcome\r\n\r\nhello\r\n")
            self.set_hive(hive.replace('"outhostport"=dword:00000019', '"outhostport"=dword:%08x' % provider.port)
                              .replace('"port"=dword:0000006e', '"port"=dword:%08x' % dovecot.port))
            # The wizard's first account set the schedule going: with "deliver immediately" the
            # e-mail program's message starts a cycle by itself, no Cycle Now needed.
            with smtplib.SMTP("127.0.0.1", self.world.smtp_port, timeout=10) as client:
                client.sendmail("jo@example.net", ["ann@example.org"], b"Subject: out\r\n\r\nbye\r\n")

            def items():
                return [n for n in os.listdir(mailbox) if n.endswith(".rfc822")]
            self.assertTrue(wait_until(lambda: provider.messages() and not dovecot.messages("jo") and items()
                                       and not self.world.queue(), 60),
                            "the schedule did not run a cycle after the first account")
            self.assertEqual([m["rcpt_tos"] for m in provider.messages()], [["ann@example.org"]])
        self.assertEqual(self.world.queue(), [])
        self.assertEqual(len(items()), 1)

        # The e-mail program logs in with the account's title and password.
        pop = poplib.POP3("127.0.0.1", self.world.pop3_port, timeout=10)
        pop.user("home")
        pop.pass_("Secret-1")
        count, _ = pop.stat()
        self.assertEqual(count, 1)
        self.assertIn(b"Subject: welcome", b"\r\n".join(pop.retr(1)[1]))
        pop.quit()


if __name__ == "__main__":
    unittest.main()
