"""An account's own outgoing host signed in with the account's own OAuth 2.0 sign-in
("smtpauth" 1): one trawlexctl authorize of the account serves its POP3 retrieval and its
outgoing mail, while the global outgoing host, without any log-in, takes every other sender's."""

import os
import sys
import unittest

import test_oauth
from cycle_world import ACCOUNTS_KEY, quote
from harness import SETTINGS_KEY

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "peers"))
from smtp_provider import SmtpProvider  # noqa: E402

MAIL = b"Subject: %s\r\n\r\n.dot\r\n\xe9t\xe9\r\n"


class AccountSignIn(test_oauth.OAuthCase):
    def test_the_accounts_sign_in_carries_its_own_mail_and_others_go_to_the_global_host(self):
        self.start_world()
        plain = SmtpProvider().start()
        self.addCleanup(plain.close)
        oauth = ['"auth"=dword:00000001', '"oauthauthurl"=%s' % quote(self.auth.url("/authorize")),
                 '"oauthtokenurl"=%s' % quote(self.auth.url("/token")),
                 '"oauthclientid"="%s"' % test_oauth.CLIENT, '"oauthscope"="mail"']
        box = "alice@localhost"
        lines = ["REGEDIT4", "", "[%s]" % SETTINGS_KEY, '"outhostname"="127.0.0.1"',
                 '"outhostport"=dword:%08x' % plain.port, '"rasentry"=""', '"cafile"=%s' % quote(self.ca.ca_file),
                 "", "[%s\\home]" % ACCOUNTS_KEY, '"server"="localhost"', '"port"=dword:%08x' % self.dc.port,
                 '"security"=dword:00000002', '"user"="alice"', '"pass"=""',
                 '"uidlfile"="%s.uidl"' % box, '"destmailbox"="%s"' % box,
                 '"smtpserver"="localhost"', '"smtpport"=dword:%08x' % self.provider.port,
                 '"smtpsecurity"=dword:00000001', '"smtpauth"=dword:00000001',
                 '"addresses"="alice@example.org"'] + oauth + [""]
        with open(self.registry(), "w") as f:
            f.write("\n".join(lines))
        self.authorize("home")
        self.w.queue([("<alice+news@example.org>", ["<bob@example.net>"], MAIL % b"own"),
                      ("<ann@example.org>", ["<bob@example.net>"], MAIL % b"global")])
        self.dc.deliver("alice", b"Subject: in\r\n\r\nhello\r\n")
        status, lines = self.w.cycle()
        self.assertEqual(status, 0, "\n".join(lines + self.w.engine.log_texts()))
        own = self.provider.messages()
        self.assertEqual([m["mail_from"] for m in own], ["alice+news@example.org"])
        self.assertTrue(own[0]["data"].endswith(b"\r\n" + MAIL % b"own"))
        self.assertEqual([m["mail_from"] for m in plain.messages()], ["ann@example.org"])
        self.assertEqual(self.w.queued_items(), [])
        self.assertEqual(len(self.w.items(box)), 1)
        # One sign-in, one token for both: a single refresh grant at most, no second authorize.
        self.assertLessEqual(len(self.grants("refresh_token")), 1)
        auths = [t["line"] for t in self.provider.transcript() if t["line"].upper().startswith("AUTH")]
        self.assertEqual(len(auths), 1)
        self.assertNothingSecretLogged()


if __name__ == "__main__":
    unittest.main()
