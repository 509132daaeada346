"""Mail is its user's alone and the servers face this machine only: both servers listen on the
loopback addresses and nowhere else; the engine makes its folders when they are missing, makes
its working directory and mail folders private, and writes every file private; a port that is
taken is reported with what to do about it."""

import os
import socket
import stat
import subprocess
import sys
import unittest

from cycle_world import CycleWorld
from harness import Engine, has_ipv6_loopback, wait_until
from peers.dovecot import PrivateDovecot, available as dovecot_available

MESSAGE = ("<ann@example.org>", ["<bob@example.net>"], b"Subject: out\r\n\r\nbody\r\n")


def mode(path):
    return stat.S_IMODE(os.lstat(path).st_mode)


def listeners(port):
    """The local addresses that listen on port, as ss prints them ("127.0.0.1", "[::1]", ...)."""
    r = subprocess.run(["ss", "-ltnH", "sport = :%d" % port], capture_output=True, text=True, timeout=10)
    return sorted(line.split()[3].rsplit(":", 1)[0] for line in r.stdout.splitlines() if line.strip())


class Listening(unittest.TestCase):
    def test_both_servers_listen_on_loopback_only(self):
        with Engine() as e:
            expected = ["127.0.0.1"] + (["[::1]"] if has_ipv6_loopback() else [])
            for port in (e.smtp_port, e.pop3_port):
                self.assertEqual(sorted(listeners(port)), sorted(expected), port)

    def test_a_taken_port_is_reported_with_the_remedy_and_the_other_server_works(self):
        taken = socket.socket()
        taken.bind(("127.0.0.1", 0))
        taken.listen(1)
        self.addCleanup(taken.close)
        port = taken.getsockname()[1]
        e = Engine(env={"TRAWLEX_SMTP_PORT": str(port)})
        self.addCleanup(e.stop)
        e.smtp_port = port
        e.start(wait_smtp=False)
        line = (" NET HIGH SMTP server cannot listen on 127.0.0.1:%d: address already in use "
                "(another mail server?); set TRAWLEX_SMTP_PORT or stop it" % port)
        self.assertTrue(wait_until(lambda: line in e.log_texts()), e.log_texts())
        with socket.create_connection(("127.0.0.1", e.pop3_port), timeout=5) as s:
            self.assertTrue(s.recv(100).startswith(b"+OK"))


class PrivateFiles(unittest.TestCase):
    def test_a_fresh_working_directory_gets_private_folders_and_files(self):
        e = Engine(make_dirs=False)
        self.addCleanup(e.stop)
        os.chmod(e.work, 0o755)   # as a user's mkdir leaves it
        e.start()
        self.assertEqual(mode(e.work), 0o700)
        for folder in ("outgoing", "accounts", "accounts/holding"):
            self.assertEqual(mode(os.path.join(e.work, folder)), 0o700, folder)
        import smtplib
        with smtplib.SMTP("127.0.0.1", e.smtp_port, timeout=10) as client:
            client.sendmail(MESSAGE[0], MESSAGE[1], MESSAGE[2])
        queued = os.listdir(os.path.join(e.work, "outgoing"))
        self.assertEqual(len(queued), 2)
        for name in queued + [n for n in os.listdir(e.work) if n.endswith(".log")]:
            path = os.path.join(e.work, "outgoing", name) if not name.endswith(".log") else os.path.join(e.work, name)
            self.assertEqual(mode(path), 0o600, name)

    def test_existing_folders_are_made_private_and_a_link_is_left_alone(self):
        e = Engine()
        self.addCleanup(e.stop)
        outside = os.path.join(e.root, "elsewhere")
        os.makedirs(outside, mode=0o755)
        os.chmod(outside, 0o755)
        os.symlink(outside, os.path.join(e.work, "accounts", "linked"))
        e.write_hive({r"HKEY_CURRENT_USER\SOFTWARE\Orrindale Systems\Tarnwick\Accounts\home":
                      {"destmailbox": "ann@pop.example.net"},
                      r"HKEY_CURRENT_USER\SOFTWARE\Orrindale Systems\Tarnwick\Accounts\other":
                      {"destmailbox": "linked"}})
        box = os.path.join(e.work, "accounts", "ann@pop.example.net")
        os.makedirs(box)
        for path in (e.work, box, os.path.join(e.work, "outgoing")):
            os.chmod(path, 0o755)
        e.start()
        for path in (e.work, box, os.path.join(e.work, "outgoing")):
            self.assertEqual(mode(path), 0o700, path)
        self.assertEqual(mode(outside), 0o755)
        log = e.log_texts()
        self.assertIn(" APP  MED Folder made private : .", log)
        self.assertIn(" APP  MED Folder is a link, left as it is : accounts/linked", log)


@unittest.skipUnless(dovecot_available(), "needs dovecot-pop3d")
class RetrievedMail(unittest.TestCase):
    def test_a_missing_mailbox_is_made_and_retrieved_items_and_identifiers_are_private(self):
        with PrivateDovecot({"alice": "alice-pw"}) as dc, CycleWorld() as w:
            dc.deliver("alice", b"Subject: in\r\n\r\nhello\r\n")
            unused = socket.socket()
            unused.bind(("127.0.0.1", 0))
            w.configure(unused.getsockname()[1], accounts=[("home", dc.port, "alice", "alice-pw")])
            unused.close()
            box = w.mailbox("alice@127.0.0.1")
            os.rmdir(box)   # removed while the engine runs
            status, lines = w.cycle()
            self.assertEqual(status, 0, lines)
            items = os.listdir(box)
            self.assertEqual(len(items), 1, lines)
            self.assertIn("COPYDATA_NEW_ITEM accounts/alice@127.0.0.1/" + items[0], lines)
            self.assertEqual(mode(box), 0o700)
            self.assertEqual(mode(os.path.join(box, items[0])), 0o600)
            self.assertEqual(mode(os.path.join(w.engine.work, "alice@127.0.0.1.uidl")), 0o600)


if __name__ == "__main__":
    unittest.main()
