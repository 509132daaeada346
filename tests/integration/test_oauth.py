"""OAuth 2.0 sign-in end to end: trawlexctl authorize against a test authorization server (the
address opened by a stand-in browser), then whole cycles through the engine against aiosmtpd
(STARTTLS, AUTH by XOAUTH2 or OAUTHBEARER, tokens introspected at that server) and Dovecot's
oauth2 passdb (POP3S). Renewal after expiry or a refusal happens once; a revoked sign-in fails
the cycle with its HIGH line and loses nothing; no token or code ever reaches the day log."""

import os
import stat
import subprocess
import sys
import tempfile
import unittest

from cycle_world import ACCOUNTS_KEY, CycleWorld, quote
from harness import SETTINGS_KEY, wait_until
from peers.dovecot import PrivateDovecot, available as dovecot_available

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "peers"))
import smtp_provider  # noqa: E402
from certificates import TestAuthority  # noqa: E402
from oauth_server import OAuthServer  # noqa: E402
from private_keyring import available as keyring_available, keyring_for  # noqa: E402
from smtp_provider import SmtpProvider  # noqa: E402

OUT = b"Subject: out\r\n\r\n.leading dot\r\n\xe9t\xe9\r\n" + b"x" * 3000 + b"\r\nend\r\n"
IN = b"Subject: in\r\n\r\nhello \xe9\r\n" + b"y" * 2000 + b"\r\n"
CLIENT = "client-1"


@unittest.skipUnless(dovecot_available() and smtp_provider.available(), "needs dovecot-pop3d and aiosmtpd")
class OAuthCase(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.ca = TestAuthority()
        cls.cert = cls.ca.server("localhost", ips=["127.0.0.1"])

    @classmethod
    def tearDownClass(cls):
        cls.ca.close()

    def start_world(self, lifetime=3600, smtp_mechanisms=("XOAUTH2", "OAUTHBEARER"),
                    pop_mechanisms="xoauth2 oauthbearer", tls=True, keyring=False, rotate=False):
        self.auth = OAuthServer({CLIENT: "alice"}, lifetime=lifetime, rotate=rotate).start()
        self.addCleanup(self.auth.close)
        introspect = self.auth.url("/introspect")
        self.provider = SmtpProvider(cert=self.cert[0], key=self.cert[1], tls="starttls" if tls else None,
                                     record=True, oauth_introspect=introspect, oauth_mechanisms=smtp_mechanisms,
                                     auth_in_clear=not tls).start()
        self.addCleanup(self.provider.close)
        self.dc = PrivateDovecot({"alice": "unused"}, ssl="pop3s" if tls else None, cert=self.cert[0],
                                 key=self.cert[1], oauth_introspect=introspect, oauth_mechanisms=pop_mechanisms).start()
        self.addCleanup(self.dc.stop)
        # Dovecot answers a failed log-in after 2 s and holds the next from that address a little
        # longer (its penalty): a refused token takes that long before the renewal's retry.
        self.w = CycleWorld(timeout_ms=10000)
        self.addCleanup(self.w.close)
        self.keyring = None
        if keyring:
            self.keyring = keyring_for(self, self.w.engine)
        self.w.start()
        oauth = ['"auth"=dword:00000001', '"oauthauthurl"=%s' % quote(self.auth.url("/authorize")),
                 '"oauthtokenurl"=%s' % quote(self.auth.url("/token")), '"oauthclientid"="%s"' % CLIENT,
                 '"oauthscope"="mail"']
        box = "alice@localhost"
        lines = ["REGEDIT4", "", "[%s]" % SETTINGS_KEY, '"outhostname"="localhost"',
                 '"outhostport"=dword:%08x' % self.provider.port, '"rasentry"=""',
                 '"outhostsecurity"=dword:%08x' % (1 if tls else 0), '"outhostuser"="alice"',
                 '"cafile"=%s' % quote(self.ca.ca_file)] + oauth + [
                 "", "[%s\\home]" % ACCOUNTS_KEY, '"server"="localhost"', '"port"=dword:%08x' % self.dc.port,
                 '"security"=dword:%08x' % (2 if tls else 0), '"user"="alice"', '"pass"=""',
                 '"uidlfile"="%s.uidl"' % box, '"destmailbox"="%s"' % box] + oauth + [""]
        os.makedirs(self.w.mailbox(box), exist_ok=True)
        directory = os.path.join(self.w.engine.config_dir, "tarnwick")
        os.makedirs(directory, exist_ok=True)
        with open(self.registry(), "w") as f:
            f.write("\n".join(lines))

    def registry(self):
        return os.path.join(self.w.engine.config_dir, "tarnwick", "user.reg")

    def authorize(self, *args):
        """trawlexctl authorize with a stand-in browser that fetches the address it is given."""
        browser = os.path.join(self.w.engine.root, "browser")
        with open(browser, "w") as f:
            f.write('#!/bin/sh\nexec curl -s -L --max-time 20 -o /dev/null "$1"\n')
        os.chmod(browser, stat.S_IRWXU)
        env = dict(self.w.engine.env, BROWSER=browser)
        r = subprocess.run([os.path.join(os.environ["TRAWLEX_BIN_DIR"], "trawlexctl"), "authorize", *args,
                            "--timeout", "30"], env=env, cwd=self.w.engine.work, capture_output=True,
                           text=True, timeout=60)
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        self.assertIn("code_challenge_method=S256", r.stdout)
        return r

    def grants(self, kind, ok=True):
        return [g for g in self.auth.grants() if g["grant"] == kind and g["ok"] == ok]

    def cycle_carries(self, out=OUT, incoming=IN):
        """One queued item and one waiting message: a cycle delivers and retrieves them whole."""
        self.provider.clear()
        self.w.queue([("<ann@example.org>", ["<bob@example.net>"], out)])
        self.dc.deliver("alice", incoming)
        status, lines = self.w.cycle()
        self.assertEqual(status, 0, "\n".join(lines + self.w.engine.log_texts()))
        delivered = self.provider.messages()
        self.assertEqual(len(delivered), 1)
        self.assertTrue(delivered[0]["data"].endswith(b"\r\n" + out))
        self.assertEqual(self.w.queued_items(), [])
        self.assertIn(incoming, self.w.items("alice@localhost").values())
        self.assertEqual(self.dc.messages("alice"), {})

    def assertNothingSecretLogged(self):
        secrets = self.auth.tokens_issued()
        self.assertTrue(secrets)
        for name in [p for p in os.listdir(self.w.engine.work) if p.endswith(".log")]:
            with open(os.path.join(self.w.engine.work, name), "rb") as f:
                text = f.read().decode("latin-1")
            self.assertFalse([s for s in secrets if s in text], name)
            self.assertNotIn("code-", text)


class SignIn(OAuthCase):
    def test_authorize_then_a_cycle_delivers_and_retrieves_byte_for_byte(self):
        self.start_world()
        self.authorize("home")
        self.authorize("outgoing")
        with open(self.registry()) as f:
            hive = f.read()
        issued = [g["refresh_token"] for g in self.grants("authorization_code")]
        self.assertEqual(len(issued), 2)
        for token in issued:
            self.assertIn('"oauthrefresh"="%s"' % token, hive)
        self.assertEqual(oct(os.stat(self.registry()).st_mode & 0o777), "0o600")

        self.cycle_carries()
        # Access tokens live in the engine only: it asked for one per sign-in.
        self.assertEqual(len(self.grants("refresh_token")), 2)
        auth = [t for t in self.provider.transcript() if t["line"].startswith("AUTH ")]
        self.assertEqual([t["line"].split()[1] for t in auth], ["OAUTHBEARER"])
        self.assertTrue(all(t["tls"] for t in auth))
        self.assertRegex(self.dc.read_log(), r"Login: user=<alice>.*method=OAUTHBEARER")
        self.assertNothingSecretLogged()

    def test_xoauth2_where_only_that_is_offered(self):
        self.start_world(smtp_mechanisms=("XOAUTH2",), pop_mechanisms="xoauth2")
        self.authorize("home")
        self.authorize("outgoing")
        self.cycle_carries()
        self.assertIn("AUTH XOAUTH2", [" ".join(t["line"].split()[:2]) for t in self.provider.transcript()])
        self.assertRegex(self.dc.read_log(), r"Login: user=<alice>.*method=XOAUTH2")
        self.assertNothingSecretLogged()

    def test_print_tokens_hands_a_working_sign_in_back_and_stores_nothing(self):
        """The wizard's way: the sign-in of an account the registry does not hold yet."""
        self.start_world()
        with open(self.registry()) as f:
            before = f.read()
        printed = self.authorize("--print-tokens", "home").stdout
        tokens = dict(line.split("=", 1) for line in printed.splitlines()
                      if line.split("=", 1)[0] in ("refresh_token", "access_token", "expires_in"))
        issued = self.grants("authorization_code")
        self.assertEqual(len(issued), 1)
        self.assertEqual(tokens["refresh_token"], issued[0]["refresh_token"])
        self.assertTrue(self.auth.post("/introspect", token=tokens["access_token"])["active"])
        self.assertGreater(int(tokens["expires_in"]), 0)
        with open(self.registry()) as f:
            self.assertEqual(f.read(), before)
        # Kept as the wizard keeps it at Finish, the refresh token carries a whole cycle.
        with open(self.registry(), "w") as f:
            f.write(before.replace('"pass"=""', '"pass"=""\n"oauthrefresh"="%s"' % tokens["refresh_token"]))
        self.authorize("outgoing")
        self.cycle_carries()
        self.assertNothingSecretLogged()

        # Without a stored account its provider must be given.
        r = subprocess.run([os.path.join(os.environ["TRAWLEX_BIN_DIR"], "trawlexctl"), "authorize", "--print-tokens"],
                           env=self.w.engine.env, capture_output=True, text=True, timeout=30)
        self.assertEqual(r.returncode, 64, r.stderr)
        self.assertIn("of the new account is empty: give --preset or --client-id", r.stderr)

    def test_a_state_that_does_not_match_is_refused(self):
        self.start_world()
        browser = os.path.join(self.w.engine.root, "forger")
        with open(browser, "w") as f:
            f.write('#!/bin/sh\nport=$(echo "$1" | sed "s/.*127.0.0.1%3A\\([0-9]*\\).*/\\1/")\n'
                    'exec curl -s --max-time 20 -o /dev/null "http://127.0.0.1:$port/?code=forged&state=other"\n')
        os.chmod(browser, stat.S_IRWXU)
        env = dict(self.w.engine.env, BROWSER=browser)
        r = subprocess.run([os.path.join(os.environ["TRAWLEX_BIN_DIR"], "trawlexctl"), "authorize", "home",
                            "--timeout", "30"], env=env, capture_output=True, text=True, timeout=60)
        self.assertEqual(r.returncode, 4, r.stderr)
        self.assertIn("state differs", r.stderr)
        self.assertEqual(self.auth.grants(), [])   # the forged code never reached the provider
        with open(self.registry()) as f:
            self.assertNotIn("oauthrefresh", f.read())


    def test_no_token_goes_over_a_connection_without_tls(self):
        self.start_world(tls=False)
        self.authorize("home")
        self.authorize("outgoing")
        self.w.queue([("<ann@example.org>", ["<bob@example.net>"], OUT)])
        self.dc.deliver("alice", IN)
        status, lines = self.w.cycle()
        self.assertEqual(status, 3, lines)
        log = self.w.engine.log_texts()
        self.assertIn("MAIL HIGH OAuth 2.0 sign-in for localhost not attempted over a connection without TLS: "
                      "set its security", log)
        self.assertIn("MAIL HIGH OAuth 2.0 sign-in for localhost not attempted over a connection without TLS: "
                      "set the account's security", log)
        self.assertEqual([t["line"] for t in self.provider.transcript()], ["EHLO LOCALHOST"])
        self.assertNotIn("method=", self.dc.read_log())
        self.assertEqual(len(self.w.queued_items()), 1)
        self.assertEqual(len(self.dc.messages("alice")), 1)


class Renewal(OAuthCase):
    def test_an_expired_token_is_renewed_once_and_the_next_cycle_succeeds(self):
        self.start_world(lifetime=4)
        self.authorize("home")
        self.authorize("outgoing")
        self.cycle_carries()
        self.assertEqual(len(self.grants("refresh_token")), 2)
        last = [g["access_token"] for g in self.grants("refresh_token")]
        # Wait until the provider itself calls the tokens dead.
        self.assertTrue(wait_until(lambda: not any(self.auth.post("/introspect", token=t)["active"] for t in last),
                                   seconds=15, step=0.2))
        self.cycle_carries(out=OUT + b"second\r\n", incoming=IN + b"second\r\n")
        self.assertEqual(len(self.grants("refresh_token")), 4)
        self.assertNothingSecretLogged()

    def test_a_token_the_servers_refuse_is_renewed_once(self):
        self.start_world()
        self.authorize("home")
        self.authorize("outgoing")
        self.cycle_carries()
        for g in self.grants("refresh_token"):
            self.auth.post("/revoke", token=g["access_token"])
        self.cycle_carries(out=OUT + b"second\r\n", incoming=IN + b"second\r\n")
        self.assertEqual(len(self.grants("refresh_token")), 4)
        self.assertNothingSecretLogged()

    def test_a_revoked_sign_in_fails_the_cycle_and_loses_nothing(self):
        self.start_world()
        self.authorize("home")
        self.authorize("outgoing")
        for g in self.grants("authorization_code"):
            self.auth.post("/revoke", token=g["refresh_token"])
        self.w.queue([("<ann@example.org>", ["<bob@example.net>"], OUT)])
        self.dc.deliver("alice", IN)
        status, lines = self.w.cycle()
        self.assertEqual(status, 3, lines)
        self.assertIn("CYCLE_FAILURE", lines)
        log = self.w.engine.log_texts()
        self.assertIn("MAIL HIGH sign-in for outgoing expired: sign in again", log)
        self.assertIn("MAIL HIGH sign-in for home expired: sign in again", log)
        self.assertEqual(len(self.w.queued_items()), 1)
        self.assertEqual(len(self.dc.messages("alice")), 1)
        self.assertEqual(self.provider.transcript(), [])   # nothing was even tried
        self.assertEqual(len(self.grants("refresh_token", ok=False)), 2)
        self.assertNothingSecretLogged()


class Probe(OAuthCase):
    def probe(self, target):
        # From a folder of its own: trawlexctl's log lines go to the engine's day log, not here.
        elsewhere = tempfile.mkdtemp(dir=self.w.engine.work)
        r = self.w.engine.ctl("probe", target, "--login", timeout=60, cwd=elsewhere)
        self.assertEqual(os.listdir(elsewhere), [])
        return r.returncode, r.stdout, r.stderr

    def test_the_log_in_is_probed_with_a_renewed_token_until_the_sign_in_is_revoked(self):
        self.start_world(pop_mechanisms="xoauth2")
        self.authorize("home")
        self.authorize("outgoing")
        status, out, err = self.probe("home")
        self.assertEqual(status, 0, out + err)
        self.assertRegex(out, r"(?m)^login\s+ok\s+\d+ ms  logged in as alice by XOAUTH2$")
        status, out, err = self.probe("outgoing")
        self.assertEqual(status, 0, out + err)
        self.assertRegex(out, r"(?m)^login\s+ok\s+\d+ ms  logged in as alice by OAUTHBEARER$")
        self.assertEqual(len(self.grants("refresh_token")), 2)
        for token in self.auth.tokens_issued():
            self.assertNotIn(token, out + err)

        for g in self.grants("authorization_code"):
            self.auth.post("/revoke", token=g["refresh_token"])
        status, out, err = self.probe("home")
        self.assertEqual(status, 3, out + err)
        self.assertIn("probe failed at sign-in: the sign-in of home has expired", err)
        self.assertNotIn("login", out)
        self.assertIn("MAIL HIGH sign-in for home expired: sign in again", self.w.engine.log_texts())


@unittest.skipUnless(keyring_available(), "needs gnome-keyring, libsecret-tools and dbus-daemon")
class InTheSecretStore(OAuthCase):
    def test_refresh_tokens_live_in_the_store_and_renewals_keep_them_there(self):
        self.start_world(keyring=True, rotate=True, lifetime=4)
        self.authorize("home")
        self.authorize("outgoing")
        issued = [g["refresh_token"] for g in self.grants("authorization_code")]
        self.assertEqual(sorted([self.keyring.lookup("home", "refresh"), self.keyring.lookup("outgoing", "refresh")]),
                         sorted(issued))
        with open(self.registry()) as f:
            hive = f.read()
        self.assertEqual(hive.count('"secretstore"=dword:00000001'), 2)
        self.assertFalse([t for t in issued if t in hive])

        self.cycle_carries()
        # Each renewal handed out a new refresh token: the store holds it, user.reg none.
        rotated = [g["refresh_token"] for g in self.grants("refresh_token")]
        self.assertEqual(len(rotated), 2)
        self.assertTrue(wait_until(lambda: sorted([self.keyring.lookup("home", "refresh"),
                                                   self.keyring.lookup("outgoing", "refresh")]) == sorted(rotated)))
        last = [g["access_token"] for g in self.grants("refresh_token")]
        self.assertTrue(wait_until(lambda: not any(self.auth.post("/introspect", token=t)["active"] for t in last),
                                   seconds=15, step=0.2))
        # The next renewals present the rotated tokens (the retired ones would be refused).
        self.cycle_carries(out=OUT + b"second\r\n", incoming=IN + b"second\r\n")
        self.assertEqual(len(self.grants("refresh_token")), 4)
        self.assertEqual(self.grants("refresh_token", ok=False), [])
        with open(self.registry()) as f:
            hive = f.read()
        self.assertFalse([t for t in self.auth.tokens_issued() if t in hive])
        self.assertNothingSecretLogged()

    def test_a_locked_store_fails_the_renewal_and_loses_nothing(self):
        self.start_world(keyring=True)
        self.authorize("home")
        self.authorize("outgoing")
        self.keyring.lock()
        self.w.queue([("<ann@example.org>", ["<bob@example.net>"], OUT)])
        self.dc.deliver("alice", IN)
        status, lines = self.w.cycle()
        self.assertEqual(status, 3, lines)
        log = self.w.engine.log_texts()
        self.assertIn("MAIL HIGH refresh token of outgoing not available: the secret store is locked", log)
        self.assertIn("MAIL HIGH refresh token of home not available: the secret store is locked", log)
        self.assertEqual(self.grants("refresh_token"), [])
        self.assertEqual(len(self.w.queued_items()), 1)
        self.assertEqual(len(self.dc.messages("alice")), 1)
        self.keyring.unlock()
        status, lines = self.w.cycle()
        self.assertEqual(status, 0, "\n".join(lines + self.w.engine.log_texts()))
        self.assertTrue(self.provider.messages()[0]["data"].endswith(b"\r\n" + OUT))
        self.assertEqual(self.w.queued_items(), [])
        self.assertIn(IN, self.w.items("alice@localhost").values())
        self.assertNothingSecretLogged()


if __name__ == "__main__":
    unittest.main()
