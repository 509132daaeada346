"""A real e-mail program against the gateway, set up as the README tells a user: Claws Mail with
one POP3 account on this machine's local POP3 and SMTP servers (the test's private ports), its
user name the account's title and its password the account's. On a desktop of today (Xvfb, an
Xfce panel's status tray, dunst) with Tarnwick and a real engine: a message composed and sent in
Claws reaches the provider (aiosmtpd), the provider's messages (Dovecot) reach Claws's inbox, and
the tray's unread count follows (three unread once fetched by the gateway, none once Claws has
collected them). Claws's account is written into its configuration folder, not typed into its
set-up wizard. Screenshots go to the artefacts."""

import os
import shutil
import subprocess
import time
import unittest

from harness import wait_until
from peers.dovecot import available as dovecot_available
from test_desktop import set_up_alice, BOX, INCOMING, SessionDesktop, _tools_missing as _desktop_tools_missing
from test_frontend import ARTEFACTS, TARNWICK, World, screenshot
from test_frontend_mail import start_mail_peers
from smtp_provider import available as provider_available  # noqa: E402 (its folder is on the path now)

SHOTS = os.path.join(os.path.dirname(ARTEFACTS), "claws")
SUBJECT = "Sent from Claws through the gateway"

ACCOUNT = """[Account: 1]
account_name=alice at the gateway
is_default=1
name=Alice
address=alice@example.net
protocol=0
receive_server=127.0.0.1
smtp_server=127.0.0.1
user_id=alice
use_pop_auth=0
set_popport=1
pop_port={pop3}
set_smtpport=1
smtp_port={smtp}
use_smtp_auth=0
remove_mail=1
filter_on_receive=0
inbox=#mh/Mailbox/inbox
"""

# A password store entry written in clear: Claws takes a value that is neither of its
# encrypted forms as the password itself.
PASSWORDS = """[account:1]
recv {password}
"""

FOLDERS = """<?xml version="1.0" encoding="UTF-8"?>
<folderlist>
    <folder type="mh" name="Mailbox" path="Mail" collapsed="0">
        <folderitem type="inbox" name="inbox" path="inbox" threaded="1" />
        <folderitem type="outbox" name="sent" path="sent" threaded="1" />
        <folderitem type="queue" name="queue" path="queue" threaded="1" />
        <folderitem type="trash" name="trash" path="trash" threaded="1" />
        <folderitem type="draft" name="draft" path="draft" threaded="1" />
    </folder>
</folderlist>
"""

# No spelling dictionary on a bare machine: without this the compose window opens behind an
# error box.
SETTINGS = """[Common]
enable_aspell=0
autochk_newmail=0
"""


def _tools_missing():
    missing = list(_desktop_tools_missing())
    if not shutil.which("claws-mail"):
        missing.append("claws-mail")
    return missing


class Claws:
    """Claws Mail on the desktop's display with a configuration folder of its own in root."""

    def __init__(self, desk, root, pop3_port, smtp_port, password):
        self.desk = desk
        self.config = os.path.join(root, "claws")
        os.makedirs(self.config, mode=0o700)
        for name, text in (("accountrc", ACCOUNT.format(pop3=pop3_port, smtp=smtp_port)),
                           ("passwordstorerc", PASSWORDS.format(password=password)),
                           ("folderlist.xml", FOLDERS), ("clawsrc", SETTINGS)):
            with open(os.path.join(self.config, name), "w") as f:
                f.write(text)
        self.mail = os.path.join(desk.env["HOME"], "Mail")
        for folder in ("inbox", "sent", "queue", "trash", "draft"):
            os.makedirs(os.path.join(self.mail, folder))
        # Its socket for later calls goes to a folder of the test's own.
        self.env = dict(desk.env, TMPDIR=os.path.join(root, "claws-tmp"))
        os.makedirs(self.env["TMPDIR"], mode=0o700)
        self.log = open(os.path.join(root, "claws.log"), "ab")
        self.proc = subprocess.Popen(["claws-mail", "--alternate-config-dir", self.config], env=self.env,
                                     stdout=self.log, stderr=self.log)

    def call(self, *args):
        """Asks the running Claws, as its command line does."""
        return subprocess.run(["claws-mail", "--alternate-config-dir", self.config] + list(args), env=self.env,
                              capture_output=True, timeout=20)

    def window(self, name):
        r = self.desk.run("xdotool", "search", "--name", name)
        ids = r.stdout.split()
        return ids[0] if ids else None

    def inbox(self):
        folder = os.path.join(self.mail, "inbox")
        return sorted(n for n in os.listdir(folder) if n.isdigit())

    def message(self, name):
        with open(os.path.join(self.mail, "inbox", name), "rb") as f:
            return f.read()

    def close(self):
        if self.proc.poll() is None:
            self.call("--exit")
            try:
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

    def shot(self, name):
        time.sleep(0.5)
        screenshot(self.desk.env, os.path.join(SHOTS, name))

    def test_claws_sends_and_collects_through_the_gateway_and_the_tray_follows(self):
        env = dict(self.desk.env, QT_QPA_PLATFORM="xcb", TRAWLEX_SMTP_PORT=str(self.world.smtp_port),
                   TRAWLEX_POP3_PORT=str(self.world.pop3_port), TRAWLEX_NET_TIMEOUT_MS="5000")
        fe = self.world.start_front_end(env)
        self.assertTrue(wait_until(lambda: self.desk.status_items(), 15), self.desk.logs())
        self.assertTrue(wait_until(self.world._smtp_listening, 10), "no engine")
        item = self.desk.status_items()[0]

        # The account as the README says: the gateway's ports, the account's title and password.
        claws = Claws(self.desk, self.world.root, self.world.pop3_port, self.world.smtp_port, "secret")
        self.addCleanup(claws.close)
        self.assertTrue(wait_until(lambda: claws.window("Claws Mail"), 20), "Claws did not start")

        # Composed in Claws and sent with its Send (Ctrl+Return): the gateway queues it, the
        # cycle it starts delivers it to the provider and brings the provider's three messages.
        message = os.path.join(self.world.root, "compose.txt")
        with open(message, "w") as f:
            f.write("To: Friend <friend@example.org>\nSubject: %s\n\nHello from Claws.\n" % SUBJECT)
        claws.call("--compose-from-file", message)
        self.assertTrue(wait_until(lambda: claws.window(SUBJECT), 15), "no compose window")
        self.shot("1-claws-composing.png")
        compose = claws.window(SUBJECT)
        self.desk.run("xdotool", "windowfocus", "--sync", compose, "key", "--clearmodifiers", "ctrl+Return")
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
        self.assertTrue(wait_until(lambda: len(claws.inbox()) == 3, 20), claws.inbox())
        self.assertTrue(wait_until(lambda: "unread" not in self.desk.item_tooltip(item), 5),
                        self.desk.item_tooltip(item))
        subjects = b"".join(claws.message(n) for n in claws.inbox())
        self.assertIn(b"Subject: Lunch on Friday?", subjects)
        self.assertIn(b"Subject: Minutes of the meeting", subjects)
        # Claws kept one copy of what it sent (its folder view may count the folder's cache too).
        sent = os.path.join(claws.mail, "sent")
        self.assertEqual(len([n for n in os.listdir(sent) if n.isdigit()]), 1, os.listdir(sent))
        claws.call("--select", "#mh/Mailbox/inbox")
        self.shot("2-claws-inbox-after-collecting.png")
        self.assertIsNone(fe.poll())


if __name__ == "__main__":
    unittest.main()
