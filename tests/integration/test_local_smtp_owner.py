"""Only the owner's programs send through the local SMTP server: smtplib run as the engine's
user is accepted and its mail queued byte for byte; run as another user (nobody) it gets 530 at
MAIL FROM with nothing queued and a HIGH line naming its uid and port, unless it logs in with an
account's local password (a wrong one is refused after the throttle's delay), or the setting
localsmtpusers 1 lets every user send. Over IPv4 and IPv6 loopback both."""

import json
import os
import pwd
import re
import shutil
import smtplib
import subprocess
import sys
import time
import unittest

from harness import SETTINGS_KEY, Engine, has_ipv6_loopback
from pop3_world import ACCOUNTS_KEY, Mailbox

RECEIVED = re.compile(rb"^Received: from localhost by localhost \(Tarnwick MTA\) ; [^\r\n]*\r\n")
OWNER_ONLY = [530, "5.7.0 Only the owner of this gateway may send here"]
# Lines with a leading dot, an empty line, 8-bit bytes and a long line: stored as they travel.
BODY = (b"From: ann@example.org\r\nSubject: owner test\r\n\r\n.leading dot\r\n\r\n"
        b"caf\xe9 8-bit\r\n" + b"x" * 990 + b"\r\nlast\r\n")
STORED = BODY.replace(b"\r\n.leading", b"\r\n..leading")

# The client, run in a process of the user under test; it answers one JSON object.
CLIENT = r"""
import json, smtplib, sys, time
a = json.loads(sys.argv[1])
out = {}
try:
    s = smtplib.SMTP(a["host"], a["port"], timeout=20)
    out["port"] = s.sock.getsockname()[1]
    out["ehlo"] = s.ehlo("client.example")[0]
    out["auth"] = s.esmtp_features.get("auth", "")
    if a.get("login"):
        title, password, mechanism = a["login"]
        s.user, s.password = title, password
        began = time.monotonic()
        try:
            obj = s.auth_plain if mechanism == "PLAIN" else s.auth_login
            code, text = s.auth(mechanism, obj, initial_response_ok=(mechanism == "PLAIN"))
        except smtplib.SMTPAuthenticationError as e:
            code, text = e.smtp_code, e.smtp_error
        out["login"] = [code, text.decode("latin-1"), time.monotonic() - began]
    try:
        s.sendmail("ann@example.org", ["bob@example.net"], bytes.fromhex(a["body"]))
        out["sent"] = True
    except smtplib.SMTPSenderRefused as e:
        out["sent"] = False
        out["refused"] = [e.smtp_code, e.smtp_error.decode("latin-1")]
    s.quit()
except Exception as e:
    out["error"] = repr(e)
print(json.dumps(out))
"""


def other_user_command():
    """How to run a program as nobody, or (None, why not)."""
    if os.geteuid() != 0:
        return None, "the test runs as uid %d and cannot change user" % os.geteuid()
    try:
        nobody = pwd.getpwnam("nobody")
    except KeyError:
        return None, "there is no user nobody"
    if shutil.which("setpriv"):
        return ["setpriv", "--reuid=%d" % nobody.pw_uid, "--regid=%d" % nobody.pw_gid, "--clear-groups"], None
    if shutil.which("runuser"):
        return ["runuser", "-u", "nobody", "--"], None
    return None, "neither setpriv nor runuser is installed"


FAMILIES = [("IPv4", "127.0.0.1")] + ([("IPv6", "::1")] if has_ipv6_loopback() else [])


class LocalSmtpOwner(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.engine = Engine().start()
        cls.box = Mailbox(cls.engine, "home", "right-pw", "ann")
        cls.settings(0)
        if len(FAMILIES) == 1:
            print("note: no IPv6 loopback on this machine; IPv4 only", file=sys.stderr)

    @classmethod
    def tearDownClass(cls):
        cls.engine.stop()

    @classmethod
    def settings(cls, local_smtp_users):
        cls.engine.write_hive({SETTINGS_KEY: {"outhostname": "127.0.0.1", "localsmtpusers": local_smtp_users},
                               ACCOUNTS_KEY + "\\home": cls.box.hive_values()})

    def setUp(self):
        self.settings(0)
        outgoing = os.path.join(self.engine.work, "outgoing")
        for name in os.listdir(outgoing):
            os.unlink(os.path.join(outgoing, name))

    def client(self, host, as_other_user=False, login=None):
        prefix = []
        if as_other_user:
            prefix, why = other_user_command()
            if prefix is None:
                self.skipTest("cannot run a client as another user: " + why)
        args = {"host": host, "port": self.engine.smtp_port, "login": login, "body": BODY.hex()}
        r = subprocess.run(prefix + [sys.executable, "-c", CLIENT, json.dumps(args)], cwd="/",
                           env={"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": "/"},
                           capture_output=True, text=True, timeout=60)
        self.assertEqual(r.returncode, 0, r.stderr)
        out = json.loads(r.stdout)
        self.assertNotIn("error", out)
        self.assertEqual(out["ehlo"], 250)          # the greeting and EHLO answer anyone
        self.assertEqual(out["auth"].split(), ["PLAIN", "LOGIN"])
        return out

    def assert_queued_byte_for_byte(self):
        [(text, route)] = self.engine.queued_items()
        m = RECEIVED.match(text)
        self.assertIsNotNone(m, text[:120])
        self.assertEqual(text[m.end():], STORED)
        self.assertEqual(route, ["<ann@example.org>", "<bob@example.net>"])

    def refusal_lines(self, port):
        return [l for l in self.engine.log_texts()
                if re.fullmatch(r"MAIL HIGH Local SMTP mail refused : uid %d is not the owner, peer port %d"
                                % (pwd.getpwnam("nobody").pw_uid, port), l)]

    def test_the_owners_program_is_accepted_and_its_mail_queued_byte_for_byte(self):
        for family, host in FAMILIES:
            with self.subTest(family):
                self.setUp()
                out = self.client(host)
                self.assertTrue(out["sent"], out)
                self.assert_queued_byte_for_byte()
                self.assertFalse([l for l in self.engine.log_texts()
                                  if "mail refused" in l and l.endswith("peer port %d" % out["port"])])

    def test_another_user_is_refused_at_mail_from_and_nothing_is_queued(self):
        for family, host in FAMILIES:
            with self.subTest(family):
                out = self.client(host, as_other_user=True)
                self.assertFalse(out["sent"])
                self.assertEqual(out["refused"], OWNER_ONLY)
                self.assertEqual(self.engine.queue(), [])
                self.assertEqual(len(self.refusal_lines(out["port"])), 1, self.engine.log_texts())

    def test_another_user_logged_in_with_the_local_password_is_accepted(self):
        for (family, host), mechanism in zip(FAMILIES * 2, ["PLAIN", "LOGIN"] * 2):
            with self.subTest(family=family, mechanism=mechanism):
                self.setUp()
                out = self.client(host, as_other_user=True, login=["home", "right-pw", mechanism])
                self.assertEqual(out["login"][:2], [235, "2.7.0 Authentication successful"])
                self.assertLess(out["login"][2], 1.5)   # no delay for the right password
                self.assertTrue(out["sent"], out)
                self.assert_queued_byte_for_byte()
                self.assertEqual(self.refusal_lines(out["port"]), [])

    def test_a_wrong_password_is_refused_after_the_throttles_delay(self):
        for family, host in FAMILIES:
            with self.subTest(family):
                out = self.client(host, as_other_user=True, login=["home", "wrong-pw", "PLAIN"])
                code, text, took = out["login"]
                self.assertEqual([code, text], [535, "5.7.8 Authentication credentials invalid"])
                self.assertGreaterEqual(took, 1.9)
                self.assertEqual(out["refused"], OWNER_ONLY)
                self.assertEqual(self.engine.queue(), [])
                self.assertIn("MAIL  MED SMTP log-in failed : title 'home', peer port %d" % out["port"],
                              self.engine.log_texts())
        self.assertNotIn("wrong-pw", "\n".join(self.engine.log_lines()))

    def test_localsmtpusers_1_lets_every_user_send(self):
        self.settings(1)
        for family, host in FAMILIES:
            with self.subTest(family):
                self.setUp()
                self.settings(1)
                out = self.client(host, as_other_user=True)
                self.assertTrue(out["sent"], out)
                self.assert_queued_byte_for_byte()
                self.assertEqual(self.refusal_lines(out["port"]), [])


if __name__ == "__main__":
    unittest.main()
