"""A real e-mail program against the gateway, set up as the README tells a user: Claws Mail,
set up by its own first-run wizard (typed into on the display as a person would), with one
POP3 account on this machine's local POP3 and SMTP servers (the test's private ports, given
after the server's address as the wizard asks), its user name the account's title and its
password the account's. On a desktop of today (Xvfb, an Xfce panel's status tray, dunst) with
Tarnwick and a real engine: a message composed and sent in Claws reaches the provider
(aiosmtpd), the provider's messages (Dovecot) reach Claws's inbox, and the tray's unread count
follows (three unread once fetched by the gateway, none once Claws has collected them). Then
an IMAP account: the gateway fetches a private Dovecot IMAP's messages and Claws collects them
from the local POP3 server as it does a POP3 account's. Screenshots of every wizard page go to
the artefacts."""

import os
import shutil
import subprocess
import time
import unittest

from harness import private_env, wait_until
from peers.dovecot import available as dovecot_available
from test_desktop import set_up_alice, BOX, INCOMING, SessionDesktop, _tools_missing as _desktop_tools_missing
from test_frontend import ARTEFACTS, TARNWICK, World, screenshot, start_xvfb
from test_frontend_mail import start_mail_peers
import test_imap_collected as imap
from test_imap_collected import start_imap_world
from smtp_provider import available as provider_available  # noqa: E402 (its folder is on the path now)

SHOTS = os.path.join(os.path.dirname(ARTEFACTS), "claws")
SUBJECT = "Sent from Claws through the gateway"
WIZARD = "Claws Mail Setup Wizard"
# The main window's title once an account exists: "<account> - Claws Mail <version>".
MAIN = " - Claws Mail"


def _tools_missing():
    missing = list(_desktop_tools_missing())
    if not shutil.which("claws-mail"):
        missing.append("claws-mail")
    return missing


class WizardStuck(AssertionError):
    pass


class Claws:
    """Claws Mail on env's display, started for the first time with an empty configuration
    folder of its own in root, so that it opens its set-up wizard."""

    def __init__(self, env, root, shots):
        self.config = os.path.join(root, "claws")
        os.makedirs(self.config, mode=0o700)
        self.shots = shots
        self.mail = os.path.join(env["HOME"], "Mail")
        # Its socket for later calls goes to a folder of the test's own.
        self.env = dict(env, TMPDIR=os.path.join(root, "claws-tmp"))
        os.makedirs(self.env["TMPDIR"], mode=0o700)
        self.log_path = os.path.join(root, "claws.log")
        self.log = open(self.log_path, "ab")
        self.proc = subprocess.Popen(["claws-mail", "--alternate-config-dir", self.config], env=self.env,
                                     stdout=self.log, stderr=self.log)
        self.page = "(not started)"

    def xdotool(self, *args):
        return subprocess.run(["xdotool"] + list(args), env=self.env, capture_output=True, text=True, timeout=10)

    def call(self, *args):
        """Asks the running Claws, as its command line does."""
        return subprocess.run(["claws-mail", "--alternate-config-dir", self.config] + list(args), env=self.env,
                              capture_output=True, timeout=20)

    def window(self, name):
        ids = self.xdotool("search", "--name", name).stdout.split()
        return ids[0] if ids else None

    def shot(self, name):
        time.sleep(0.4)
        return screenshot(self.env, os.path.join(self.shots, name))

    def log_text(self):
        with open(self.log_path, errors="replace") as f:
            return f.read()[-1500:]

    # -- the first-run wizard -----------------------------------------------------------------
    def _stuck(self, what):
        path = self.shot("wizard-failed.png")
        # The page is the one the keys were meant for; the screen shows the one really open.
        raise WizardStuck("Claws's set-up wizard, driven as far as page '%s': %s (its screen: %s)\n%s"
                          % (self.page, what, path, self.log_text()))

    def _keys(self, *keys):
        """Keys pressed in the wizard's window, given the focus first as a click would."""
        window = self.window(WIZARD)
        if not window:
            self._stuck("its window is gone")
        r = self.xdotool("windowfocus", "--sync", window, "key", "--clearmodifiers", *keys)
        if r.returncode:
            self._stuck("xdotool failed: " + r.stderr)

    def _type(self, text):
        """Replaces the focused field's text with text, typed."""
        self._keys("ctrl+a")
        r = self.xdotool("type", "--delay", "15", text)
        if r.returncode:
            self._stuck("xdotool could not type: " + r.stderr)

    def _next(self, page, shot):
        """Next (Alt+N) from the page shown, to page: its screenshot saved as shot."""
        self._keys("alt+n")
        self.page = page
        self.shot(shot)

    def set_up(self, name, address, pop3, smtp, user, password):
        """Answers the wizard's pages as the README says: incoming POP3 on 127.0.0.1 (the port
        after a colon, the wizard's own way: it has no port field), the account's title and
        password, outgoing SMTP on 127.0.0.1 without authentication, no TLS on either (both
        connections stay on this machine); the mailbox where Claws proposes it. Then Save."""
        self.page = "Welcome"
        if not wait_until(lambda: self.window(WIZARD), 20, 0.1):
            status = self.proc.poll()
            self._stuck("its window did not open (Claws %s)" % ("runs" if status is None else "ended with %s" % status))
        self.shot("wizard-1-welcome.png")
        # Next keeps the focus on its button; the name is two steps on, past Cancel.
        self._next("About You", "wizard-2-about-you-proposed.png")
        self._keys("Tab", "Tab")
        self._type(name)
        self._keys("Tab")
        self._type(address)
        self.shot("wizard-2-about-you.png")
        # The page opens on the server type (POP3 proposed); the address is past Auto-configure.
        self._next("Receiving mail", "wizard-3-receiving-proposed.png")
        self._keys("Tab", "Tab")
        self._type("127.0.0.1:%d" % pop3)
        self._keys("Tab")
        self._type(user)
        self._keys("Tab")
        self._type(password)
        self.shot("wizard-3-receiving.png")
        # This page opens on the server's address; authentication and TLS stay off.
        self._next("Sending mail", "wizard-4-sending-proposed.png")
        self._type("127.0.0.1:%d" % smtp)
        self.shot("wizard-4-sending.png")
        self._next("Saving mail on disk", "wizard-5-saving.png")
        self._next("Configuration finished", "wizard-6-finished.png")
        self._keys("alt+s")
        self.page = "Configuration finished (after Save)"
        if not wait_until(lambda: not self.window(WIZARD) and self.window(MAIN), 20, 0.1):
            self._stuck("Save did not close the wizard and open the main window")
        self.page = "(done)"
        self._check_account(name, address, pop3, smtp, user)

    def account(self):
        values = {}
        with open(os.path.join(self.config, "accountrc"), errors="replace") as f:
            for line in f:
                key, sep, value = line.rstrip("\n").partition("=")
                if sep:
                    values[key] = value
        return values

    def _check_account(self, name, address, pop3, smtp, user):
        """What the wizard stored, page by page, so a key that went astray is named."""
        got = self.account()
        expected = {
            "About You": {"name": name, "address": address},
            "Receiving mail": {"protocol": "0", "receive_server": "127.0.0.1", "set_popport": "1",
                               "pop_port": str(pop3), "user_id": user, "ssl_pop": "0"},
            "Sending mail": {"smtp_server": "127.0.0.1", "set_smtpport": "1", "smtp_port": str(smtp),
                             "use_smtp_auth": "0", "ssl_smtp": "0"},
        }
        for page, values in expected.items():
            wrong = {k: got.get(k) for k, v in values.items() if got.get(k) != v}
            if wrong:
                raise WizardStuck("Claws's wizard stored on page '%s' %s, not %s"
                                  % (page, wrong, {k: values[k] for k in wrong}))

    # -- mail -----------------------------------------------------------------------------------
    def compose_from_file(self, path, subject):
        """A compose window for the message at path. Claws first says, in a box of its own,
        when it finds no spelling dictionary: closed as a person would."""
        self.call("--compose-from-file", path)
        if not wait_until(lambda: self.window(subject) or self.window("^Error$"), 15, 0.1):
            raise AssertionError("no compose window\n" + self.log_text())
        error = self.window("^Error$")
        if error:
            self.shot("compose-error-box.png")
            self.xdotool("windowfocus", "--sync", error, "key", "Return")
        if not wait_until(lambda: self.window(subject), 15, 0.1):
            raise AssertionError("no compose window\n" + self.log_text())
        return self.window(subject)

    def inbox(self):
        folder = os.path.join(self.mail, "inbox")
        return sorted((n for n in os.listdir(folder) if n.isdigit()), key=int)

    def message(self, name):
        with open(os.path.join(self.mail, "inbox", name), "rb") as f:
            return f.read()

    def close(self):
        if self.proc.poll() is None:
            try:
                self.call("--exit")
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.log.close()


@unittest.skipUnless(os.path.exists(TARNWICK), "the front end is not built (no Qt 6)")
@unittest.skipIf(_tools_missing(), "needs %s" % ", ".join(_tools_missing()))
@unittest.skipUnless(dovecot_available() and provider_available(), "needs Dovecot and aiosmtpd")
class ClawsMailThroughTheGateway(unittest.TestCase):
    def setUp(self):
        self.world = World()
        self.addCleanup(self.world.close)
        self.desk = SessionDesktop(self.world.root)
        self.addCleanup(self.desk.close)
        self.dovecot, self.provider = start_mail_peers(self, INCOMING, {})
        set_up_alice(self.world, self.dovecot, self.provider)

    def test_claws_sends_and_collects_through_the_gateway_and_the_tray_follows(self):
        env = dict(self.desk.env, QT_QPA_PLATFORM="xcb", TRAWLEX_SMTP_PORT=str(self.world.smtp_port),
                   TRAWLEX_POP3_PORT=str(self.world.pop3_port), TRAWLEX_NET_TIMEOUT_MS="5000")
        fe = self.world.start_front_end(env)
        self.assertTrue(wait_until(lambda: self.desk.status_items(), 15), self.desk.logs())
        self.assertTrue(wait_until(self.world._smtp_listening, 10), "no engine")
        item = self.desk.status_items()[0]

        # The account as the README says: the gateway's ports, the account's title and password.
        claws = Claws(self.desk.env, self.world.root, SHOTS)
        self.addCleanup(claws.close)
        claws.set_up("Alice", "alice@example.net", self.world.pop3_port, self.world.smtp_port, "alice", "secret")
        # Claws greets a new user with a message of its own in the inbox.
        greeting = claws.inbox()

        # Composed in Claws and sent with its Send (Ctrl+Return): the gateway queues it, the
        # cycle it starts delivers it to the provider and brings the provider's three messages.
        message = os.path.join(self.world.root, "compose.txt")
        with open(message, "w") as f:
            f.write("To: Friend <friend@example.org>\nSubject: %s\n\nHello from Claws.\n" % SUBJECT)
        compose = claws.compose_from_file(message, SUBJECT)
        claws.shot("1-claws-composing.png")
        claws.xdotool("windowfocus", "--sync", compose, "key", "--clearmodifiers", "ctrl+Return")
        self.assertTrue(wait_until(lambda: any(SUBJECT.encode() in m["data"] for m in self.provider.messages()), 20),
                        self.world.log_texts())
        delivered = [m for m in self.provider.messages() if SUBJECT.encode() in m["data"]]
        self.assertEqual(len(delivered), 1, self.world.log_texts())   # once, whatever the retries
        delivered = delivered[0]
        self.assertIn("friend@example.org", str(delivered))
        self.assertIn(b"From: Alice <alice@example.net>", delivered["data"])
        mailbox = os.path.join(self.world.work, "accounts", BOX)
        self.assertTrue(wait_until(lambda: len(os.listdir(mailbox)) == 3, 20), self.world.log_texts())
        self.assertTrue(wait_until(lambda: "3 unread" in self.desk.item_tooltip(item), 10),
                        self.desk.item_tooltip(item))

        # Claws collects them from the gateway's POP3 server; read there, they count as read
        # here, and the tray's count goes.
        claws.call("--receive-all")
        collected = lambda: [n for n in claws.inbox() if n not in greeting]  # noqa: E731
        self.assertTrue(wait_until(lambda: len(collected()) == 3, 20), (claws.inbox(), claws.log_text()))
        self.assertTrue(wait_until(lambda: "unread" not in self.desk.item_tooltip(item), 5),
                        self.desk.item_tooltip(item))
        subjects = b"".join(claws.message(n) for n in collected())
        self.assertIn(b"Subject: Lunch on Friday?", subjects)
        self.assertIn(b"Subject: Minutes of the meeting", subjects)
        # Claws kept one copy of what it sent (its folder view may count the folder's cache too).
        sent = os.path.join(claws.mail, "sent")
        self.assertEqual(len([n for n in os.listdir(sent) if n.isdigit()]), 1, os.listdir(sent))
        claws.call("--select", "#mh/Mailbox/inbox")
        claws.shot("2-claws-inbox-after-collecting.png")
        self.assertIsNone(fe.poll())


# Messages the gateway fetches over IMAP: dot-stuffing, 8-bit text, a long line.
IMAP_MESSAGES = [
    b"From: Ann <ann@example.org>\r\nMessage-ID: <1@imap.example>\r\nSubject: dots over IMAP\r\n\r\n"
    b".leading dot\r\n..two dots\r\n.\r\n . blank dot\r\nend\r\n",
    b"From: Bob <bob@example.org>\r\nMessage-ID: <2@imap.example>\r\nSubject: 8-bit over IMAP\r\n"
    b"Content-Type: text/plain; charset=ISO-8859-1\r\nContent-Transfer-Encoding: 8bit\r\n\r\n"
    b"\xe4\xf6\xfc \xff\x80 {5}\r\n",
    b"From: Cy <cy@example.org>\r\nMessage-ID: <3@imap.example>\r\nSubject: long line over IMAP\r\n\r\n"
    + b"x" * 3000 + b"\r\nlast\r\n",
]


@unittest.skipIf(_tools_missing(), "needs %s" % ", ".join(_tools_missing()))
@unittest.skipUnless(dovecot_available() and os.path.exists("/usr/lib/dovecot/imap"), "needs dovecot-imapd")
class ClawsCollectsAnImapAccount(unittest.TestCase):
    def test_claws_collects_an_imap_accounts_mail_from_the_local_pop3_server(self):
        dc, w = start_imap_world(self, IMAP_MESSAGES)
        status, lines = w.cycle()
        self.assertEqual(status, 0, "\n".join(lines + w.engine.log_texts()[-30:]))
        self.assertEqual(len(w.items(BOX)), 3, w.engine.log_texts())
        self.assertEqual(dc.messages(imap.USER), {})

        xvfb, display = start_xvfb()
        self.addCleanup(lambda: (xvfb.kill(), xvfb.wait()))
        env = private_env(os.path.join(w.engine.root, "claws-world"), DISPLAY=display, NO_AT_BRIDGE="1")
        claws = Claws(env, w.engine.root, os.path.join(SHOTS, "imap"))
        self.addCleanup(claws.close)
        # The account's title and password, as for a POP3 account.
        claws.set_up("Alice", "alice@example.net", w.engine.pop3_port, w.engine.smtp_port, "Inbox", imap.PASSWORD)
        greeting = claws.inbox()
        claws.call("--receive-all")
        collected = lambda: [n for n in claws.inbox() if n not in greeting]  # noqa: E731
        self.assertTrue(wait_until(lambda: len(collected()) == 3, 20), (claws.inbox(), claws.log_text()))
        claws.call("--select", "#mh/Mailbox/inbox")
        claws.shot("claws-inbox-imap-account.png")
        # Byte for byte as Claws stores mail: its own line ends (LF), nothing added or lost.
        self.assertEqual(sorted(claws.message(n) for n in collected()),
                         sorted(m.replace(b"\r\n", b"\n") for m in IMAP_MESSAGES))
        # Claws's wizard keeps collected mail on the server for a week, its own default: the
        # gateway keeps the items, and a second collection fetches none of them again.
        ended = lambda: [l for l in w.engine.log_texts() if "POP3 session of Inbox ended" in l]  # noqa: E731
        self.assertTrue(wait_until(lambda: len(ended()) == 1, 10), w.engine.log_texts())
        self.assertIn("3 retrieved, 0 deleted", ended()[0])
        claws.call("--receive-all")
        self.assertTrue(wait_until(lambda: len(ended()) == 2, 15), w.engine.log_texts())
        self.assertIn("0 retrieved, 0 deleted", ended()[1])
        self.assertEqual(len(collected()), 3)
        self.assertEqual(len(w.items(BOX)), 3)


if __name__ == "__main__":
    unittest.main()
