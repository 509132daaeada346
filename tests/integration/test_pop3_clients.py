"""Real e-mail programs collect their mail from the local POP3 server of a running engine:
poplib, curl, fetchmail (its default client mode) and getmail6, each logging in with an
account's title and password. Every message arrives exactly as its sender wrote it; with
deletion the mailbox is empty afterwards, without it the items stay, marked read."""

import glob
import os
import poplib
import shutil
import subprocess
import tempfile
import unittest

from harness import private_env
from pop3_world import CORPUS, EngineWithMailboxes

TOOL_TIMEOUT = 30


def lf(message: bytes) -> bytes:
    return message.replace(b"\r\n", b"\n")


class RealClients(EngineWithMailboxes):
    MAILBOXES = [("box", "Inbox", "pw1", "carol")]

    def setUp(self):
        self.box.clear()
        self.names = self.box.add_corpus()
        self.tmp = tempfile.mkdtemp(prefix="pop3-client-")
        self.addCleanup(shutil.rmtree, self.tmp, True)

    def assert_kept_and_read(self):
        self.assertEqual(self.box.names(), sorted(self.names))
        self.assertTrue(all(self.box.is_read(n) for n in self.names))

    def test_poplib_with_deletion(self):
        # poplib refuses lines over 2,048 bytes unless told otherwise; the corpus has 5,000.
        self.addCleanup(setattr, poplib, "_MAXLINE", poplib._MAXLINE)
        poplib._MAXLINE = 65536
        client = poplib.POP3("127.0.0.1", self.engine.pop3_port, timeout=10)
        client.user("inbox")   # the title in other letter case
        client.pass_("pw1")
        count, _ = client.stat()
        got = []
        for i in range(1, count + 1):
            _, lines, _ = client.retr(i)
            got.append(b"".join(l + b"\r\n" for l in lines))
            client.dele(i)
        client.quit()
        self.assertEqual(sorted(got), sorted(CORPUS))
        self.assertEqual(self.box.names(), [])

    def test_curl_keeps_the_items(self):
        listing = subprocess.run(["curl", "-sS", "--max-time", "20", "-u", "Inbox:pw1",
                                  "pop3://127.0.0.1:%d/" % self.engine.pop3_port],
                                 capture_output=True, env=private_env(self.tmp), timeout=TOOL_TIMEOUT)
        self.assertEqual(listing.returncode, 0, listing.stderr)
        self.assertEqual(len(listing.stdout.splitlines()), 3)
        got = []
        for i in (1, 2, 3):
            r = subprocess.run(["curl", "-sS", "--max-time", "20", "-u", "Inbox:pw1",
                                "pop3://127.0.0.1:%d/%d" % (self.engine.pop3_port, i)],
                               capture_output=True, env=private_env(self.tmp), timeout=TOOL_TIMEOUT)
            self.assertEqual(r.returncode, 0, r.stderr)
            got.append(r.stdout)
        self.assertEqual(sorted(got), sorted(CORPUS))
        self.assert_kept_and_read()

    def fetchmail(self, keep):
        out = tempfile.mkdtemp(dir=self.tmp)
        mda = os.path.join(self.tmp, "mda.sh")
        with open(mda, "w") as f:
            f.write('#!/bin/sh\ncat > "%s/msg.$$"\n' % out)
        os.chmod(mda, 0o700)
        rc = os.path.join(self.tmp, "fetchmailrc")
        with open(rc, "w") as f:
            f.write('poll 127.0.0.1 protocol POP3 port %d no dns\n'
                    '  user "Inbox" there with password "pw1" is root here\n'
                    '  options fetchall %s no rewrite sslproto ""\n' % (self.engine.pop3_port, "keep" if keep else "no keep"))
        os.chmod(rc, 0o600)
        env = private_env(self.tmp, HOME=self.tmp, FETCHMAILHOME=self.tmp)
        r = subprocess.run(["fetchmail", "-f", rc, "--nosyslog", "--invisible", "--mda", mda,
                            "--idfile", os.path.join(self.tmp, "ids"),
                            "--pidfile", os.path.join(self.tmp, "pid"), "--timeout", "20"],
                           capture_output=True, env=env, timeout=TOOL_TIMEOUT)
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        got = []
        for path in glob.glob(os.path.join(out, "msg.*")):
            with open(path, "rb") as f:
                got.append(f.read())
        return got

    def test_fetchmail_default_mode(self):
        # fetchmail hands the MDA the message with LF line ends and nothing added.
        self.assertEqual(sorted(self.fetchmail(keep=True)), sorted(lf(m) for m in CORPUS))
        self.assert_kept_and_read()
        self.assertEqual(sorted(self.fetchmail(keep=False)), sorted(lf(m) for m in CORPUS))
        self.assertEqual(self.box.names(), [])

    def test_getmail6_with_deletion(self):
        maildir = os.path.join(self.tmp, "Maildir")
        for sub in ("cur", "new", "tmp"):
            os.makedirs(os.path.join(maildir, sub))
        deliver_as = ""
        if os.getuid() == 0:
            # getmail never delivers as root: the Maildir belongs to "nobody", who writes it.
            deliver_as = "user = nobody\n"
            os.chmod(self.tmp, 0o755)
            for d in [maildir] + [os.path.join(maildir, s) for s in ("cur", "new", "tmp")]:
                shutil.chown(d, "nobody")
        getmaildir = os.path.join(self.tmp, "getmail")
        os.mkdir(getmaildir)
        with open(os.path.join(getmaildir, "getmailrc"), "w") as f:
            f.write("[retriever]\ntype = SimplePOP3Retriever\nserver = 127.0.0.1\nport = %d\n"
                    "username = Inbox\npassword = pw1\n\n"
                    "[destination]\ntype = Maildir\npath = %s/\n%s\n"
                    "[options]\nread_all = true\ndelete = true\nreceived = false\n"
                    "delivered_to = false\nmessage_log_syslog = false\nverbose = 0\n"
                    % (self.engine.pop3_port, maildir, deliver_as))
        r = subprocess.run(["getmail", "--getmaildir", getmaildir, "--rcfile", "getmailrc"],
                           capture_output=True, env=private_env(self.tmp, HOME=self.tmp), timeout=TOOL_TIMEOUT)
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        got = []
        for path in glob.glob(os.path.join(maildir, "new", "*")):
            with open(path, "rb") as f:
                got.append(f.read())
        # getmail stores LF line ends and puts its Return-Path line first.
        got = [m.split(b"\n", 1)[1] if m.startswith(b"Return-Path:") else m for m in got]
        self.assertEqual(sorted(got), sorted(lf(m) for m in CORPUS))
        self.assertEqual(self.box.names(), [])


if __name__ == "__main__":
    unittest.main()
