"""Encrypted and authenticated connections to the provider, end to end: whole cycles through
the engine against aiosmtpd (STARTTLS or TLS from the first byte, AUTH required) and Dovecot
(STLS or POP3S), with certificates from an authority the test makes. Each refusal must leave
its cause in the log and nothing in clear on the servers' side: their transcripts are read."""

import os
import sys
import unittest

from cycle_world import ACCOUNTS_KEY, CycleWorld, quote
from harness import SETTINGS_KEY
from peers.dovecot import PrivateDovecot, available as dovecot_available

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "peers"))
import smtp_provider  # noqa: E402
from certificates import TestAuthority  # noqa: E402
from smtp_provider import SmtpProvider  # noqa: E402

# Through smtplib, the local server and the engine, the provider must get these bytes back
# after the local server's "Received:" line: leading dots, 8-bit bytes, a long line.
TEXT = (b"Subject: out\r\n\r\n.leading dot\r\n..two dots\r\n\xe9t\xe9 \xff\r\n" + b"x" * 3000 + b"\r\nend\r\n")
MESSAGE = ("<ann@example.org>", ["<bob@example.net>"], TEXT)
# Large enough that the socket fills and TLS records are written again after a wait.
BIG_TEXT = b"Subject: big\r\n\r\n" + b"".join(b"%07d " % i + b"z" * 992 + b"\r\n" for i in range(4000))
BIG = ("<ann@example.org>", ["<carl@example.net>"], BIG_TEXT)
INCOMING = b"Subject: in\r\n\r\nhello \xe9\r\n" + b"y" * 2000 + b"\r\n"
SMTP_PW = "smtp-secret-17"
POP_PW = "pop-secret-23"
CLEAR_SMTP = {"EHLO LOCALHOST", "STARTTLS", "QUIT"}


def write_config(w, smtp_host, smtp_port, security, user="", password="", cafile="", accounts=()):
    """accounts: (title, server, port, security, user, password); mailbox user@server."""
    lines = ["REGEDIT4", "", "[%s]" % SETTINGS_KEY, '"outhostname"=%s' % quote(smtp_host),
             '"outhostport"=dword:%08x' % smtp_port, '"rasentry"=""',
             '"outhostsecurity"=dword:%08x' % security, '"outhostuser"=%s' % quote(user),
             '"outhostpass"=%s' % quote(password), '"cafile"=%s' % quote(cafile), ""]
    for title, server, port, sec, pop_user, pop_pass in accounts:
        box = pop_user + "@" + server
        lines += ["[%s\\%s]" % (ACCOUNTS_KEY, title), '"server"=%s' % quote(server),
                  '"port"=dword:%08x' % port, '"security"=dword:%08x' % sec, '"user"=%s' % quote(pop_user),
                  '"pass"=%s' % quote(pop_pass), '"uidlfile"=%s' % quote(box + ".uidl"),
                  '"destmailbox"=%s' % quote(box), ""]
        os.makedirs(w.mailbox(box), exist_ok=True)
    directory = os.path.join(w.engine.config_dir, "tarnwick")
    os.makedirs(directory, exist_ok=True)
    with open(os.path.join(directory, "user.reg"), "w") as f:
        f.write("\n".join(lines))


@unittest.skipUnless(dovecot_available() and smtp_provider.available(), "needs dovecot-pop3d and aiosmtpd")
class TlsCase(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.ca = TestAuthority()
        cls.good = cls.ca.server("localhost", ips=["127.0.0.1"])

    @classmethod
    def tearDownClass(cls):
        cls.ca.close()

    def world(self):
        w = CycleWorld(timeout_ms=3000).start()
        self.addCleanup(w.close)
        return w

    def provider(self, cert=None, **kwargs):
        cert, key = cert or (None, None)
        p = SmtpProvider(cert=cert, key=key, record=True, **kwargs).start()
        self.addCleanup(p.close)
        return p

    def dovecot(self, ssl=None, cert=None):
        cert, key = cert or (None, None)
        dc = PrivateDovecot({"alice": POP_PW}, ssl=ssl, cert=cert, key=key).start()
        self.addCleanup(dc.stop)
        dc.deliver("alice", INCOMING)
        return dc

    @staticmethod
    def log(w):
        return "\n".join(w.engine.log_texts())

    def assertNoSecretLogged(self, w):
        self.assertFalse([l for l in w.engine.log_lines() if SMTP_PW in l or POP_PW in l])

    def assertDeliveredAndRetrieved(self, w, provider, dc, box, texts=(TEXT,)):
        """texts: what each queued item's provider copy ends with, in the order of recipients."""
        status, lines = w.cycle()
        self.assertEqual(status, 0, lines)
        self.assertNotIn("CYCLE_FAILURE", lines, w.engine.log_texts())
        self.assertIn("CYCLE_NEW_ITEM", lines)
        # The queue is walked in directory order: sorted here by recipient.
        delivered = sorted(provider.messages(), key=lambda m: m["rcpt_tos"])
        self.assertEqual([m["rcpt_tos"] for m in delivered], [["bob@example.net"], ["carl@example.net"]][:len(texts)])
        for message, text in zip(delivered, texts):
            self.assertTrue(message["data"].startswith(b"Received: "), message["data"][:80])
            self.assertTrue(message["data"].endswith(b"\r\n" + text), message["data"][-200:])
        self.assertEqual(w.queued_items(), [])
        self.assertEqual(list(w.items(box).values()), [INCOMING])
        self.assertEqual(dc.messages("alice"), {})
        self.assertNoSecretLogged(w)

    def assertSmtpNothingInClear(self, provider):
        clear = [t["line"] for t in provider.transcript() if not t["tls"]]
        self.assertTrue(set(clear) <= CLEAR_SMTP, clear)

    def assertSendRefused(self, w, lines, provider):
        """The send failed before any mail or password went out; the item stays queued."""
        self.assertEqual(lines[:4], ["CYCLE_STARTED", "CYCLE_CONNECTED", "CYCLE_SENDING", "CYCLE_FAILURE"], lines)
        self.assertEqual(len(w.queued_items()), 1)
        self.assertEqual(provider.messages(), [])
        commands = [t["line"].split(" ")[0].upper() for t in provider.transcript()]
        self.assertNotIn("MAIL", commands)
        self.assertSmtpNothingInClear(provider)

    def assertCheckRefused(self, dc):
        """The POP3 server never saw a user name, and the message is still there."""
        log = dc.read_log()
        self.assertNotIn("Login: ", log)
        self.assertNotRegex(log, r"user=<alice>")
        self.assertEqual(len(dc.messages("alice")), 1)


class Protected(TlsCase):
    def test_starttls_with_auth_plain_and_stls_carry_mail_both_ways_byte_for_byte(self):
        provider = self.provider(self.good, tls="starttls", users={"ann": SMTP_PW}, receive_buffer=4096)
        dc = self.dovecot("starttls", self.good)
        w = self.world()
        # The SMTP host by name, the POP3 server by address (checked against the IP entry).
        write_config(w, "localhost", provider.port, 1, "ann", SMTP_PW, self.ca.ca_file,
                     accounts=[("home", "127.0.0.1", dc.port, 1, "alice", POP_PW)])
        w.queue([MESSAGE, BIG])
        self.assertDeliveredAndRetrieved(w, provider, dc, "alice@127.0.0.1", (TEXT, BIG_TEXT))
        transcript = provider.transcript()
        self.assertEqual([t["line"] for t in transcript[:2]], ["EHLO LOCALHOST", "STARTTLS"])
        self.assertTrue(any(t["line"].startswith("AUTH PLAIN ") and t["tls"] for t in transcript), transcript)
        self.assertSmtpNothingInClear(provider)
        self.assertRegex(dc.read_log(), r"Login: user=<alice>.*TLS")

    def test_tls_from_the_first_byte_with_auth_login_and_pop3s(self):
        provider = self.provider(self.good, tls="tls", users={"ann": SMTP_PW}, auth_exclude=["PLAIN"])
        dc = self.dovecot("pop3s", self.good)
        w = self.world()
        write_config(w, "127.0.0.1", provider.port, 2, "ann", SMTP_PW, self.ca.ca_file,
                     accounts=[("home", "localhost", dc.port, 2, "alice", POP_PW)])
        w.queue([MESSAGE])
        self.assertDeliveredAndRetrieved(w, provider, dc, "alice@localhost")
        transcript = provider.transcript()
        self.assertTrue(all(t["tls"] for t in transcript), transcript)
        self.assertIn("AUTH LOGIN", [t["line"] for t in transcript])
        self.assertRegex(dc.read_log(), r"Login: user=<alice>.*TLS")

    def test_a_log_in_without_tls_goes_only_to_this_machine(self):
        provider = self.provider(users={"ann": SMTP_PW}, auth_in_clear=True)
        w = self.world()
        write_config(w, "127.0.0.1", provider.port, 0, "ann", SMTP_PW)
        w.queue([MESSAGE])
        status, lines = w.cycle()
        self.assertEqual(status, 0, lines)
        self.assertNotIn("CYCLE_FAILURE", lines, w.engine.log_texts())
        self.assertEqual(len(provider.messages()), 1)
        self.assertEqual(provider.transcript()[0]["line"], "EHLO LOCALHOST")
        self.assertNoSecretLogged(w)


class Refused(TlsCase):
    def test_a_certificate_for_another_host_and_an_expired_one(self):
        provider = self.provider(self.ca.server("mail.example.net"), tls="starttls", users={"ann": SMTP_PW})
        dc = self.dovecot("pop3s", self.ca.server("localhost", expired=True))
        w = self.world()
        write_config(w, "localhost", provider.port, 1, "ann", SMTP_PW, self.ca.ca_file,
                     accounts=[("home", "localhost", dc.port, 2, "alice", POP_PW)])
        w.queue([MESSAGE])
        status, lines = w.cycle()
        self.assertEqual(status, 3, lines)   # the cycle reported its failure
        self.assertSendRefused(w, lines, provider)
        self.assertCheckRefused(dc)
        log = self.log(w)
        self.assertIn("NET HIGH certificate for localhost not trusted: issued for another host name", log)
        self.assertIn("NET HIGH certificate for localhost not trusted: expired", log)
        self.assertEqual(w.items("alice@localhost"), {})
        self.assertNoSecretLogged(w)

    def test_a_self_signed_certificate_is_refused_without_cafile_and_trusted_with_it(self):
        mine = self.ca.self_signed("localhost")
        provider = self.provider(mine, tls="tls", users={"ann": SMTP_PW})
        dc = self.dovecot("starttls", mine)
        w = self.world()
        accounts = [("home", "localhost", dc.port, 1, "alice", POP_PW)]
        write_config(w, "localhost", provider.port, 2, "ann", SMTP_PW, accounts=accounts)
        w.queue([MESSAGE])
        status, lines = w.cycle()
        self.assertEqual(status, 3, lines)   # the cycle reported its failure
        self.assertSendRefused(w, lines, provider)
        self.assertEqual(provider.transcript(), [])   # not a single line got through
        self.assertCheckRefused(dc)
        self.assertEqual(self.log(w).count("NET HIGH certificate for localhost not trusted: self-signed"), 2)

        write_config(w, "localhost", provider.port, 2, "ann", SMTP_PW, mine[0], accounts=accounts)
        self.assertDeliveredAndRetrieved(w, provider, dc, "alice@localhost")

    def test_servers_that_offer_no_starttls_or_stls(self):
        provider = self.provider()
        dc = self.dovecot()
        w = self.world()
        write_config(w, "localhost", provider.port, 1, "ann", SMTP_PW, self.ca.ca_file,
                     accounts=[("home", "localhost", dc.port, 1, "alice", POP_PW)])
        w.queue([MESSAGE])
        status, lines = w.cycle()
        self.assertEqual(status, 3, lines)   # the cycle reported its failure
        self.assertSendRefused(w, lines, provider)
        self.assertEqual([t["line"] for t in provider.transcript()], ["EHLO LOCALHOST"])
        self.assertCheckRefused(dc)
        log = self.log(w)
        self.assertIn("MAIL HIGH localhost offers no STARTTLS: connection closed, nothing sent in clear", log)
        self.assertRegex(log, r"MAIL HIGH localhost offers no STLS \(-ERR .*\): connection closed, nothing sent in clear")
        self.assertNoSecretLogged(w)

    def test_wrong_credentials_fail_the_send_for_now_and_keep_the_queue(self):
        provider = self.provider(self.good, tls="starttls", users={"ann": "another"})
        w = self.world()
        write_config(w, "localhost", provider.port, 1, "ann", SMTP_PW, self.ca.ca_file)
        w.queue([MESSAGE])
        status, lines = w.cycle()
        self.assertEqual(status, 3, lines)   # the cycle reported its failure
        self.assertSendRefused(w, lines, provider)
        self.assertRegex(self.log(w), r"MAIL HIGH localhost refused the log-in of ann: 535")
        self.assertNoSecretLogged(w)
        # The item is tried again at the next cycle, and goes once the password is right.
        write_config(w, "localhost", provider.port, 1, "ann", "another", self.ca.ca_file)
        status, lines = w.cycle()
        self.assertNotIn("CYCLE_FAILURE", lines)
        self.assertEqual(len(provider.messages()), 1)
        self.assertEqual(w.queued_items(), [])


if __name__ == "__main__":
    unittest.main()
