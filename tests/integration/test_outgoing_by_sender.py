"""Each account's mail leaves through its own outgoing host: two providers that want different
log-ins stand for the global host and an account's own; the engine's cycle must hand every item
to the provider its envelope sender selects, byte for byte, over one connection per provider,
keep only a down provider's items, and name the provider that refused an item."""

import os
import sys
import unittest

from cycle_world import ACCOUNTS_KEY, CycleWorld
from harness import SETTINGS_KEY, free_port

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "peers"))
import smtp_provider  # noqa: E402
from smtp_provider import SmtpProvider  # noqa: E402


TEXT = b"Subject: %s\r\n\r\n..dotted\r\n\xe9t\xe9\r\n"


@unittest.skipUnless(smtp_provider.available(), "aiosmtpd is not installed")
class OutgoingBySender(unittest.TestCase):
    def setUp(self):
        self.global_host = SmtpProvider(users={"ann": "pw-global"}, auth_in_clear=True, record=True).start()
        self.addCleanup(self.global_host.close)
        self.own_host = SmtpProvider(users={"bob": "pw-bee"}, auth_in_clear=True, record=True, pipelining=True,
                                     refuse_rcpt={"nobody@example.net": "550 5.1.1 no such user"}).start()
        self.addCleanup(self.own_host.close)
        self.down_port = free_port()
        self.world = CycleWorld().start()
        self.addCleanup(self.world.close)
        self.world.engine.write_hive({
            SETTINGS_KEY: {"outhostname": "127.0.0.1", "outhostport": self.global_host.port, "rasentry": "",
                           "outhostuser": "ann", "outhostpass": "pw-global"},
            # Its own host and log-in, for its address, a tagged one and a whole domain.
            ACCOUNTS_KEY + r"\bee": {"smtpserver": "127.0.0.1", "smtpport": self.own_host.port,
                                     "smtpuser": "bob", "smtppass": "pw-bee",
                                     "addresses": "bob@b.example, *@bee.example"},
            # A host that is down.
            ACCOUNTS_KEY + r"\cee": {"smtpserver": "127.0.0.1", "smtpport": self.down_port,
                                     "emailaddress": "carl@c.example"},
            # No host of its own: the global one.
            ACCOUNTS_KEY + r"\home": {"emailaddress": "ann@a.example"},
        })

    def cycle(self):
        # The accounts have no POP3 server: the check part of the cycle fails, as it may.
        status, lines = self.world.cycle()
        self.assertIn("CYCLE_FINISHED", lines)
        return lines

    def test_each_sender_reaches_its_own_provider_and_a_down_one_keeps_only_its_items(self):
        mail = [("<ann@a.example>", ["<r1@example.net>"], TEXT % b"home"),
                ("<Bob+lists@B.example>", ["<r2@example.net>"], TEXT % b"tagged"),
                ("<x@bee.example>", ["<r3@example.net>", "<r4@example.net>"], TEXT % b"domain"),
                ("<nobody@else.example>", ["<r5@example.net>"], TEXT % b"unclaimed"),
                ("<carl@c.example>", ["<r6@example.net>"], TEXT % b"down")]
        self.world.queue(mail)
        self.assertEqual(len(self.world.queued_items()), 5)
        self.cycle()

        def got(provider):
            return {(m["mail_from"], tuple(m["rcpt_tos"]), m["data"]) for m in provider.messages()}

        def want(*indexes):
            out = set()
            for i in indexes:
                sender, recipients, text = mail[i]
                # smtplib doubles the leading dot, the provider takes it off: the text as given.
                out.add((sender[1:-1], tuple(r[1:-1] for r in recipients), text))
            return out

        at_global, at_own = got(self.global_host), got(self.own_host)
        # The provider keeps what it received after its own Received line, if any: compare ends.
        self.assertEqual({(f, r) for f, r, _ in at_global}, {(f, r) for f, r, _ in want(0, 3)})
        self.assertEqual({(f, r) for f, r, _ in at_own}, {(f, r) for f, r, _ in want(1, 2)})
        for (f, r, data) in at_global | at_own:
            self.assertTrue(any(data.endswith(text) for _, _, text in want(0, 1, 2, 3)), data)
        # Each provider: one connection, one log-in.
        for provider in (self.global_host, self.own_host):
            lines = [t["line"] for t in provider.transcript()]
            self.assertEqual(sum(1 for line in lines if line.upper().startswith("EHLO")), 1, lines)
            self.assertEqual(sum(1 for line in lines if line.upper().startswith("AUTH")), 1, lines)
        # Only the down host's item is left.
        self.assertEqual(len(self.world.queued_items()), 1)
        log = "\n".join(self.world.engine.log_texts())
        self.assertIn("MAIL HIGH Outgoing host 127.0.0.1:%d of account cee could not be reached" % self.down_port,
                      log)

        status = self.world.engine.ctl("status").stdout
        self.assertIn("outgoing host 127.0.0.1:%d (account bee): 0 queued, last: delivered 2, refused 0, kept 0"
                      % self.own_host.port, status)
        self.assertIn("outgoing host 127.0.0.1:%d (account cee): 1 queued, last: could not be reached"
                      % self.down_port, status)
        self.assertIn("outgoing host 127.0.0.1:%d (the global outgoing host): 0 queued, last: delivered 2"
                      % self.global_host.port, status)

    def test_a_refused_item_names_the_provider_that_refused_it(self):
        self.world.queue([("<bob@b.example>", ["<nobody@example.net>"], TEXT % b"refused")])
        self.cycle()
        self.assertEqual(self.world.queued_items(), [])
        log = "\n".join(self.world.engine.log_texts())
        self.assertIn("MAIL HIGH Mail item refused by outgoing host : 127.0.0.1:%d (account bee)"
                      % self.own_host.port, log)
        self.assertEqual(self.global_host.messages(), [])

    def test_a_refused_log_in_keeps_only_that_hosts_items(self):
        self.world.engine.write_hive({
            SETTINGS_KEY: {"outhostname": "127.0.0.1", "outhostport": self.global_host.port, "rasentry": "",
                           "outhostuser": "ann", "outhostpass": "pw-global"},
            ACCOUNTS_KEY + r"\bee": {"smtpserver": "127.0.0.1", "smtpport": self.own_host.port,
                                     "smtpuser": "bob", "smtppass": "wrong", "addresses": "bob@b.example"},
        })
        self.world.queue([("<bob@b.example>", ["<r1@example.net>"], TEXT % b"kept"),
                          ("<ann@a.example>", ["<r2@example.net>"], TEXT % b"goes")])
        self.cycle()
        self.assertEqual(len(self.world.queued_items()), 1)
        self.assertEqual([m["mail_from"] for m in self.global_host.messages()], ["ann@a.example"])
        self.assertEqual(self.own_host.messages(), [])
        log = "\n".join(self.world.engine.log_texts())
        self.assertIn("MAIL HIGH Outgoing host 127.0.0.1:%d of account bee refused the identification or log-in"
                      % self.own_host.port, log)
        self.assertNotIn("wrong", log)


if __name__ == "__main__":
    unittest.main()
