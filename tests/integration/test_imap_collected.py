"""An IMAP account collected by a real e-mail program through the gateway: the engine's cycle
fetches a private Dovecot IMAP's messages, and fetchmail then collects them from the engine's
local POP3 server, byte for byte as they were written, keeping them once and deleting them
the next time."""

import os
import socket
import tempfile
import shutil
import unittest

import test_pop3_clients as clients
from check_world import transfer_form
from cycle_world import CycleWorld
from peers.dovecot import PrivateDovecot, available

# The title and password the shared fetchmail helper logs in with.
USER, PASSWORD = "alice", "pw1"
BOX = USER + "@127.0.0.1"
MESSAGES = [
    b"Message-ID: <1@collected>\nSubject: dots\n\n.leading dot\n..two dots\n.\n . blank dot\nend\n",
    b"Message-ID: <2@collected>\nSubject: 8-bit\nContent-Transfer-Encoding: 8bit\n\n\xe4\xf6\xfc \xff\x80 {5}\n",
    # fetchmail garbles lines longer than its 8 KB buffer: the longest line stays below it.
    b"Message-ID: <3@collected>\nSubject: long\n\n" + b"x" * 8000 + b"\n" + b"y" * 4999 + b".\nlast\n",
]


def unused_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def start_imap_world(test, messages):
    """A private Dovecot IMAP where USER has messages, and an engine whose one account fetches
    them over plain IMAP into the folder the local POP3 server serves it from; both end with
    the test. (Dovecot, the world.)"""
    dc = PrivateDovecot({USER: PASSWORD}, protocol="imap")
    dc.start()
    test.addCleanup(dc.stop)
    for m in messages:
        dc.deliver(USER, m)
    w = CycleWorld().start()
    test.addCleanup(w.close)
    w.configure(unused_port(), accounts=[("Inbox", dc.port, USER, PASSWORD)])
    hive = os.path.join(w.engine.config_dir, "tarnwick", "user.reg")
    with open(hive) as f:
        text = f.read()
    values = ['"protocol"=dword:00000001', '"security"=dword:00000000', '"dropdir"="accounts/%s/"' % BOX]
    with open(hive, "w") as f:
        f.write(text.replace('"destmailbox"="%s"' % BOX, "\n".join(['"destmailbox"="%s"' % BOX] + values)))
    return dc, w


@unittest.skipUnless(available() and os.path.exists("/usr/lib/dovecot/imap"), "dovecot-imapd is not installed")
@unittest.skipUnless(shutil.which("fetchmail"), "fetchmail is not installed")
class ImapAccountCollected(unittest.TestCase):
    fetchmail = clients.RealClients.fetchmail

    def test_fetchmail_collects_an_imap_accounts_mail_from_the_local_pop3_server(self):
        dc, w = start_imap_world(self, MESSAGES)
        status, lines = w.cycle()
        self.assertEqual(status, 0, "\n".join(lines + w.engine.log_texts()[-30:]))
        self.assertEqual(len(w.items(BOX)), 3, w.engine.log_texts())
        self.assertEqual(dc.messages(USER), {})
        self.assertEqual(sorted(w.items(BOX).values()), sorted(transfer_form(m) for m in MESSAGES))

        # fetchmail logs in with the account's title and password, as the README says.
        self.engine = w.engine
        self.tmp = tempfile.mkdtemp(prefix="imap-collected-")
        self.addCleanup(shutil.rmtree, self.tmp, True)
        self.assertEqual(sorted(self.fetchmail(keep=True)), sorted(MESSAGES))
        self.assertEqual(len(w.items(BOX)), 3)
        self.assertEqual(sorted(self.fetchmail(keep=False)), sorted(MESSAGES))
        self.assertEqual(w.items(BOX), {})


if __name__ == "__main__":
    unittest.main()
