"""Passwords in the desktop's secret store: a real gnome-keyring-daemon on a private session bus.
trawlexctl secrets migrate moves every password out of user.reg (read back with secret-tool);
the engine then delivers, retrieves and serves its local POP3 server with them; a locked
keyring fails each step with a HIGH line naming it and loses nothing; without a Secret
Service, secrets kept in user.reg work as always and a store that is asked for fails cleanly.
No password reaches the day log or user.reg once it moved."""

import os
import poplib
import sys
import unittest

from cycle_world import ACCOUNTS_KEY, CycleWorld, quote
from harness import SETTINGS_KEY, wait_until
from peers.dovecot import PrivateDovecot, available as dovecot_available

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "peers"))
import smtp_provider  # noqa: E402
from private_keyring import available as keyring_available, keyring_for  # noqa: E402
from smtp_provider import SmtpProvider  # noqa: E402

OUT_PASS = "out pass \"quoted\" \\ 1"
POP_PASS = "pop-pass-2 with blanks"
LOCAL_PASS = "local-pass-3"
OUT = b"Subject: out\r\n\r\n.leading dot\r\n" + b"x" * 2000 + b"\r\n"
IN = b"Subject: in\r\n\r\nhello\r\n" + b"y" * 1000 + b"\r\n"
BOX = "alice@127.0.0.1"


@unittest.skipUnless(dovecot_available() and smtp_provider.available(), "needs dovecot-pop3d and aiosmtpd")
class SecretsCase(unittest.TestCase):
    def start_world(self, keyring=True, extra_account=(), engine_env=None):
        self.provider = SmtpProvider(users={"ann": OUT_PASS}, auth_in_clear=True).start()
        self.addCleanup(self.provider.close)
        self.dc = PrivateDovecot({"alice": POP_PASS}).start()
        self.addCleanup(self.dc.stop)
        self.w = CycleWorld(timeout_ms=5000)
        self.addCleanup(self.w.close)
        self.w.engine.env.update(engine_env or {})
        self.keyring = None
        if keyring:
            self.keyring = keyring_for(self, self.w.engine)
        self.w.start()
        lines = ["REGEDIT4", "", "[%s]" % SETTINGS_KEY, '"outhostname"="127.0.0.1"',
                 '"outhostport"=dword:%08x' % self.provider.port, '"rasentry"=""', '"outhostuser"="ann"',
                 '"outhostpass"=%s' % quote(OUT_PASS), "",
                 "[%s\\home]" % ACCOUNTS_KEY, '"server"="127.0.0.1"', '"port"=dword:%08x' % self.dc.port,
                 '"user"="alice"', '"pass"=%s' % quote(POP_PASS), '"uidlfile"="%s.uidl"' % BOX,
                 '"destmailbox"="%s"' % BOX, '"dropdir"="accounts/%s/"' % BOX, *extra_account, ""]
        os.makedirs(self.w.mailbox(BOX), exist_ok=True)
        os.makedirs(os.path.dirname(self.registry()), exist_ok=True)
        with open(self.registry(), "w") as f:
            f.write("\n".join(lines))

    def registry(self):
        return os.path.join(self.w.engine.config_dir, "tarnwick", "user.reg")

    def hive(self):
        with open(self.registry()) as f:
            return f.read()

    def set_values(self, key, **values):
        """Rewrites values of one key of the hive file (through a rename, as a user is told to)."""
        text = self.hive().split("\n")
        start = text.index("[%s]" % key) + 1
        for name, value in values.items():
            line = '"%s"=%s' % (name, "dword:%08x" % value if isinstance(value, int) else quote(value))
            found = [i for i in range(start, len(text)) if text[i].startswith('"%s"=' % name)]
            if found:
                text[found[0]] = line
            else:
                text.insert(start, line)
        with open(self.registry() + ".new", "w") as f:
            f.write("\n".join(text))
        os.rename(self.registry() + ".new", self.registry())

    def assertMigrated(self):
        status, output = self.migrate()
        self.assertEqual(status, 0, output)

    def migrate(self):
        r = self.w.engine.ctl("secrets", "migrate", timeout=60)
        return r.returncode, r.stdout + r.stderr

    def cycle_carries(self, tag=b""):
        """One queued item and one waiting message: the cycle delivers and retrieves them whole."""
        self.provider.clear()
        self.w.queue([("<ann@example.org>", ["<bob@example.net>"], OUT + tag)])
        self.dc.deliver("alice", IN + tag)
        status, lines = self.w.cycle()
        self.assertEqual(status, 0, "\n".join(lines + self.w.engine.log_texts()))
        self.assertTrue(self.provider.messages()[0]["data"].endswith(b"\r\n" + OUT + tag))
        self.assertEqual(self.w.queued_items(), [])
        self.assertIn(IN + tag, self.w.items(BOX).values())
        self.assertEqual(self.dc.messages("alice"), {})

    def local_login(self, password, title="home"):
        """Logs in to the engine's local POP3 server: the number of items, or the -ERR text."""
        pop = poplib.POP3("127.0.0.1", self.w.engine.pop3_port, timeout=20)
        try:
            pop.user(title)
            pop.pass_(password)
            count = pop.stat()[0]
            pop.quit()
            return count
        except poplib.error_proto as e:
            return e.args[0].decode()
        finally:
            pop.close()

    def assertNoPasswordIn(self, *texts):
        for text in texts:
            for secret in (OUT_PASS, POP_PASS, LOCAL_PASS, quote(OUT_PASS)[1:-1]):
                self.assertNotIn(secret, text)

    def day_logs(self):
        return "\n".join(self.w.engine.log_lines())


@unittest.skipUnless(keyring_available(), "needs gnome-keyring, libsecret-tools and dbus-daemon")
class InTheStore(SecretsCase):
    def test_migrated_passwords_serve_cycles_and_local_logins(self):
        self.start_world(extra_account=['"localpass"=%s' % quote(LOCAL_PASS)])
        status, out = self.migrate()
        self.assertEqual(status, 0, out)
        self.assertEqual(self.keyring.lookup("outgoing", "password"), OUT_PASS)
        self.assertEqual(self.keyring.lookup("home", "password"), POP_PASS)
        self.assertEqual(self.keyring.lookup("home", "localpass"), LOCAL_PASS)
        hive = self.hive()
        self.assertNoPasswordIn(hive)
        self.assertIn('"outhostpass"=""', hive)
        self.assertIn('"pass"=""', hive)
        self.assertEqual(hive.count('"secretstore"=dword:00000001'), 2)
        self.assertEqual(oct(os.stat(self.registry()).st_mode & 0o777), "0o600")

        self.cycle_carries()
        hive = self.hive()
        # The user's e-mail program logs in with the account's password from the store.
        self.assertEqual(self.local_login(POP_PASS), 1)
        self.assertIn("Authentication failed", self.local_login(POP_PASS + "x"))
        # A second migration finds nothing left to move and changes nothing.
        self.assertMigrated()
        self.assertEqual(self.hive(), hive)
        self.assertNoPasswordIn(self.day_logs(), self.hive())

    def test_a_locked_keyring_fails_each_step_and_loses_nothing(self):
        self.start_world()
        self.assertMigrated()
        self.keyring.lock()
        self.w.queue([("<ann@example.org>", ["<bob@example.net>"], OUT)])
        self.dc.deliver("alice", IN)
        status, lines = self.w.cycle()
        self.assertEqual(status, 3, lines)
        self.assertIn("CYCLE_FAILURE", lines)
        log = self.w.engine.log_texts()
        self.assertIn("MAIL HIGH password of outgoing not available: the secret store is locked", log)
        self.assertIn("MAIL HIGH password of home not available: the secret store is locked", log)
        self.assertIn("Authentication failed", self.local_login(POP_PASS))
        self.assertEqual(len(self.w.queued_items()), 1)
        self.assertEqual(len(self.dc.messages("alice")), 1)
        self.assertEqual(self.provider.messages(), [])
        # Unlocked again (the next log-in), the same items go.
        self.keyring.unlock()
        self.provider.clear()
        status, lines = self.w.cycle()
        self.assertEqual(status, 0, "\n".join(lines + self.w.engine.log_texts()))
        self.assertEqual(len(self.provider.messages()), 1)
        self.assertEqual(self.w.queued_items(), [])
        self.assertIn(IN, self.w.items(BOX).values())
        self.assertEqual(self.local_login(POP_PASS), 1)
        self.assertNoPasswordIn(self.day_logs(), self.hive())

    def test_a_password_typed_into_user_reg_since_is_used_before_the_store(self):
        self.start_world()
        self.assertMigrated()
        self.keyring.store("home", "password", "an old password")
        # Written by hand (or by a program that does not know the store) after the migration.
        self.set_values(ACCOUNTS_KEY + "\\home", **{"pass": POP_PASS})
        self.cycle_carries()
        self.assertEqual(self.local_login(POP_PASS), 1)
        # The next migration moves it too.
        self.assertMigrated()
        # The other program's item went, or lookups would give either of the two.
        self.assertEqual(self.keyring.secrets("home", "password"), [POP_PASS])
        self.assertNoPasswordIn(self.hive())

    def test_the_store_gone_from_the_bus_fails_the_steps(self):
        self.start_world()
        self.assertMigrated()
        self.keyring.stop_service()
        self.w.queue([("<ann@example.org>", ["<bob@example.net>"], OUT)])
        status, lines = self.w.cycle()
        self.assertEqual(status, 3, lines)
        log = self.w.engine.log_texts()
        self.assertIn("MAIL HIGH password of outgoing not available: no secret store answers", log)
        self.assertIn("MAIL HIGH password of home not available: no secret store answers", log)
        self.assertEqual(len(self.w.queued_items()), 1)

    def test_a_store_that_does_not_answer_is_given_up_on_while_the_engine_serves(self):
        self.start_world(engine_env={"TRAWLEX_SECRET_LIMIT_MS": "4000"})
        self.assertMigrated()
        self.w.queue([("<ann@example.org>", ["<bob@example.net>"], OUT)])
        self.keyring.pause()
        cycle = self.w.engine.ctl_background("--timeout", "60", "cycle")
        self.addCleanup(cycle.wait)
        self.addCleanup(cycle.kill)
        timed_out = "MAIL HIGH password of outgoing not available: the secret store did not answer in time"
        self.assertTrue(wait_until(lambda: "MAIL  MED Start send" in self.w.engine.log_texts(), 10))
        # While the look-up waits, the loop turns: the local SMTP server greets and takes mail.
        self.w.queue([("<ann@example.org>", ["<bob@example.net>"], OUT + b"2\r\n")])
        self.assertNotIn(timed_out, self.w.engine.log_texts())
        out, _ = cycle.communicate(timeout=60)
        self.assertEqual(cycle.returncode, 3, out)
        log = self.w.engine.log_texts()
        self.assertIn(timed_out, log)
        self.assertIn("MAIL HIGH password of home not available: the secret store did not answer in time", log)
        self.assertEqual(len(self.w.queued_items()), 2)
        # Awake again, the store serves the next cycle.
        self.keyring.resume()
        status, lines = self.w.cycle()
        self.assertEqual(status, 0, "\n".join(lines + self.w.engine.log_texts()))
        self.assertEqual(self.w.queued_items(), [])


class WithoutSecretService(SecretsCase):
    def test_user_reg_works_as_always_and_migrate_leaves_it_be(self):
        self.start_world(keyring=False, extra_account=['"auth"=dword:00000000'])
        hive = self.hive()
        status, out = self.migrate()
        self.assertEqual(status, 4, out)
        self.assertIn("nothing moved: no secret store answers", out)
        self.assertEqual(self.hive(), hive)
        self.cycle_carries()
        self.assertEqual(self.local_login(POP_PASS), 1)
        self.assertNoPasswordIn(self.day_logs())

    def test_secrets_marked_as_in_the_store_fail_with_their_line(self):
        self.start_world(keyring=False)
        self.set_values(SETTINGS_KEY, outhostpass="", secretstore=1)
        self.set_values(ACCOUNTS_KEY + "\\home", **{"pass": "", "secretstore": 1})
        self.w.queue([("<ann@example.org>", ["<bob@example.net>"], OUT)])
        self.dc.deliver("alice", IN)
        status, lines = self.w.cycle()
        self.assertEqual(status, 3, lines)
        log = self.w.engine.log_texts()
        self.assertIn("MAIL HIGH password of outgoing not available: no secret store answers", log)
        self.assertIn("MAIL HIGH password of home not available: no secret store answers", log)
        self.assertIn("Authentication failed", self.local_login(POP_PASS))
        self.assertEqual(len(self.w.queued_items()), 1)
        self.assertEqual(len(self.dc.messages("alice")), 1)


class LocalPassword(SecretsCase):
    """An account that signs in to its provider with OAuth 2.0 has no provider password for the
    e-mail program: it logs in to the gateway with the account's local password."""

    def test_local_password_in_user_reg(self):
        self.start_world(keyring=False, extra_account=['"auth"=dword:00000001',
                                                       '"localpass"=%s' % quote(LOCAL_PASS)])
        self.assertEqual(self.local_login(LOCAL_PASS), 0)
        self.assertIn("Authentication failed", self.local_login(POP_PASS))
        self.assertEqual(self.local_login(LOCAL_PASS, title="HOME"), 0)

    def test_no_local_password_no_log_in(self):
        self.start_world(keyring=False, extra_account=['"auth"=dword:00000001'])
        self.assertIn("Authentication failed", self.local_login(POP_PASS))

    @unittest.skipUnless(keyring_available(), "needs gnome-keyring, libsecret-tools and dbus-daemon")
    def test_local_password_in_the_store(self):
        self.start_world(extra_account=['"auth"=dword:00000001', '"localpass"=%s' % quote(LOCAL_PASS)])
        self.assertMigrated()
        self.assertNoPasswordIn(self.hive())
        self.assertEqual(self.local_login(LOCAL_PASS, title="Home"), 0)
        self.assertIn("Authentication failed", self.local_login(POP_PASS))
        self.keyring.lock()
        self.assertIn("Authentication failed", self.local_login(LOCAL_PASS))
        self.assertIn("MAIL HIGH local password of home not available: the secret store is locked",
                      self.w.engine.log_texts())


if __name__ == "__main__":
    unittest.main()
