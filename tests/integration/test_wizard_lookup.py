"""A new user sets up an account from an e-mail address alone, on a real X display: the wizard
looks the address up (the domain's settings file over HTTPS from a test server with its own
authority), waits without freezing, shows what it found, takes the password, checks the servers
with it (a wrong password is refused in plain words until Back and the right one), and the
user.reg it leaves retrieves from a private Dovecot through the engine. Screenshots of every
step."""

import os
import sys
import time
import unittest

import test_first_start
from harness import wait_until
from peers.dovecot import PrivateDovecot
from peers.smtp_provider import SmtpProvider

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "peers"))
from certificates import TestAuthority  # noqa: E402
from lookup_servers import SettingsServer, TestDns  # noqa: E402
from oauth_server import OAuthServer  # noqa: E402

POP_PW = "Pop-secret-7"
MESSAGE = b"From: bob@example.org\r\nSubject: found by address\r\n\r\nhello\r\n"


def settings_file(port, smtp_port):
    return ("""<?xml version="1.0"?>
<clientConfig version="1.1"><emailProvider id="example.test">
  <domain>example.test</domain><displayName>Example Test Mail</displayName>
  <incomingServer type="pop3"><hostname>127.0.0.1</hostname><port>%d</port><socketType>STARTTLS</socketType>
    <username>%%EMAILLOCALPART%%</username><authentication>password-cleartext</authentication></incomingServer>
  <outgoingServer type="smtp"><hostname>127.0.0.1</hostname><port>%d</port>
    <socketType>SSL</socketType><username>%%EMAILADDRESS%%</username></outgoingServer>
</emailProvider></clientConfig>
""" % (port, smtp_port)).encode()


def oauth_settings_file(pop_port, smtp_port, auth):
    """A provider no preset knows: both servers take only its OAuth 2.0 sign-in, whose endpoints
    the file names."""
    return ("""<?xml version="1.0"?>
<clientConfig version="1.1"><emailProvider id="example.test">
  <domain>example.test</domain><displayName>Example Test Mail</displayName>
  <incomingServer type="pop3"><hostname>127.0.0.1</hostname><port>%d</port><socketType>SSL</socketType>
    <username>%%EMAILLOCALPART%%</username><authentication>OAuth2</authentication></incomingServer>
  <outgoingServer type="smtp"><hostname>127.0.0.1</hostname><port>%d</port><socketType>STARTTLS</socketType>
    <username>%%EMAILLOCALPART%%</username><authentication>OAuth2</authentication></outgoingServer>
</emailProvider>
<oAuth2><issuer>login.example.test</issuer><scope>mail</scope>
  <authURL>%s</authURL><tokenURL>%s</tokenURL></oAuth2>
</clientConfig>
""" % (pop_port, smtp_port, auth.url("/authorize"), auth.url("/token"))).encode()


class WizardByAddress(test_first_start.FirstStart):
    """The first start's desktop and helpers, with a set-up by address instead."""

    test_first_start_sets_up_a_working_gateway = None  # the parent's own test runs in its module

    def setUp(self):
        super().setUp()
        self.ca = TestAuthority()
        self.addCleanup(self.ca.close)
        cert, key = self.ca.server("localhost", ips=["127.0.0.1"])
        self.dovecot = PrivateDovecot({"ann": POP_PW}, ssl="starttls", cert=cert, key=key).start()
        self.addCleanup(self.dovecot.stop)
        self.dovecot.deliver("ann", MESSAGE)
        # The provider's outgoing server, TLS from the first byte, with a log-in.
        self.smtp = SmtpProvider(tls="tls", cert=cert, key=key, users={"ann@example.test": POP_PW}).start()
        self.addCleanup(self.smtp.close)
        self.web = SettingsServer(self.ca, ["autoconfig.example.test", "example.test"]).__enter__()
        self.addCleanup(self.web.__exit__)
        dns = TestDns().__enter__()
        self.addCleanup(dns.__exit__)
        # The answer takes two seconds, so that the waiting page can be seen.
        self.web.route("autoconfig.example.test", "/mail/config-v1.1.xml",
                       settings_file(self.dovecot.port, self.smtp.port), delay=2)
        self.env.update(TRAWLEX_AUTOCONFIG_CONNECT="127.0.0.1:%d" % self.web.port,
                        TRAWLEX_DNS_SERVER="127.0.0.1:%d" % dns.port, TRAWLEX_LOOKUP_TIMEOUT_MS="8000")
        # The test's authority is trusted, for the look-up and for the POP3 server alike.
        self.world.write_registry({"cafile": self.ca.ca_file})

    def start_with_the_address(self, shot=None):
        """The first start: the Options sheet wants the outgoing server; then the wizard follows
        and is given the address. Answers the front end's process and the wizard's window."""
        fe = self.world.start_front_end(self.env)
        self.focus("Tarnwick Options")
        self.keys("alt+s")
        self.type("127.0.0.1")
        self.keys("Return")
        wid = self.focus("Add Account Wizard")
        self.keys("alt+e")
        self.type("ann@example.test")
        if shot:
            self.shot(shot, wid)
        self.keys("Return")
        return fe, wid

    def test_an_address_and_a_password_make_a_working_account(self):
        fe, wid = self.start_with_the_address("wizard-address-1-address.png")

        # The look-up runs while the wizard answers: it is shown, and redrawn, meanwhile.
        time.sleep(0.6)
        self.shot("wizard-address-2-looking-up.png", wid)
        self.assertIsNotNone(self.window("Add Account Wizard"))
        self.assertTrue(wait_until(lambda: self.web.requests, 5), "the settings file was not asked for")
        self.assertEqual(self.web.requests[0], ("autoconfig.example.test", "/mail/config-v1.1.xml"))
        time.sleep(2.5)
        wid = self.focus("Add Account Wizard")
        self.shot("wizard-address-3-found.png", wid)
        self.keys("alt+p")
        self.type("Wrong-pw-1")
        self.keys("Return")

        # The check before the last page: both servers refuse the wrong password, and the page
        # says so in plain words (the log keeps the probe's own).
        def checked(what, count):
            return wait_until(lambda: sum(what in line for line in self.world.log_texts()) >= count, 30)
        self.assertTrue(checked("failed at login (password-refused): the server refused the password", 2),
                        "\n".join(self.world.log_texts()))
        self.shot("wizard-address-4-check-refused.png", wid)

        # Back to the password, the right one: the check passes, and Next goes on.
        self.keys("alt+b")
        time.sleep(0.3)
        self.keys("alt+p", "ctrl+a")
        self.type(POP_PW)
        self.keys("Return")
        self.assertTrue(checked(": all is well", 2), "\n".join(self.world.log_texts()))
        log = "\n".join(self.world.log_texts())
        self.assertIn("wizard's check of pop3 127.0.0.1:%d: all is well" % self.dovecot.port, log)
        self.assertIn("wizard's check of smtp 127.0.0.1:%d: all is well" % self.smtp.port, log)
        self.shot("wizard-address-5-check-passed.png", wid)
        self.keys("Return")
        time.sleep(0.3)
        self.shot("wizard-address-6-client.png", wid)
        self.keys("Return")   # Finish

        wid = self.focus("New Account Settings for E-Mail Client")
        self.shot("wizard-address-7-new-account-settings.png", wid)
        self.keys("Return")
        self.assertTrue(wait_until(lambda: self.window("New Account Settings for E-Mail Client") is None, 5))

        hive = self.hive()
        self.assertIn("\\Accounts\\ann]", hive, hive)
        account = hive[hive.index("\\Accounts\\ann]"):]
        for line in ('"server"="127.0.0.1"', '"port"=dword:%08x' % self.dovecot.port, '"security"=dword:00000001',
                     '"user"="ann"', '"pass"="%s"' % POP_PW, '"emailaddress"="ann@example.test"',
                     '"clientname"="Test Mail"', '"smtpserver"="127.0.0.1"', '"smtpport"=dword:%08x' % self.smtp.port,
                     '"smtpsecurity"=dword:00000002', '"smtpuser"="ann@example.test"'):
            self.assertIn(line, account)
        self.assertNotIn('"protocol"', account)   # POP3, as absent reads
        self.assertIn('"outhostname"="127.0.0.1"', hive[:hive.index("\\Accounts\\ann]")])

        # The engine retrieves with what the wizard wrote, over STARTTLS.
        mailbox = os.path.join(self.world.work, "accounts", "ann@127.0.0.1")
        r = self.world.ctl("cycle", "--timeout", "20", timeout=40)
        self.assertIn(r.returncode, (0, 2, 3), r.stderr)

        def items():
            return [n for n in os.listdir(mailbox) if n.endswith(".rfc822")]
        self.assertTrue(wait_until(lambda: items() and not self.dovecot.messages("ann"), 30),
                        "nothing retrieved:\n%s" % "\n".join(self.world.log_texts()))
        with open(os.path.join(mailbox, items()[0]), "rb") as f:
            self.assertEqual(f.read(), MESSAGE)
        self.assertIn("TLS", self.dovecot.read_log())
        self.assertIsNone(fe.poll())

    def test_an_address_that_signs_in_with_oauth_makes_a_working_account(self):
        """The provider takes only its OAuth 2.0 sign-in: the check opens its page in the browser
        (a stand-in that follows the redirects), logs in to both servers with the token it is
        handed, and Finish keeps the sign-in; the engine's cycle then retrieves with it."""
        auth = OAuthServer({"client-1": "ann"}).start()
        self.addCleanup(auth.close)
        introspect = auth.url("/introspect")
        cert, key = self.ca.server("localhost", ips=["127.0.0.1"])
        dovecot = PrivateDovecot({"ann": "unused"}, ssl="pop3s", cert=cert, key=key,
                                 oauth_introspect=introspect).start()
        self.addCleanup(dovecot.stop)
        dovecot.deliver("ann", MESSAGE)
        smtp = SmtpProvider(tls="starttls", cert=cert, key=key, oauth_introspect=introspect).start()
        self.addCleanup(smtp.close)
        self.web.route("autoconfig.example.test", "/mail/config-v1.1.xml",
                       oauth_settings_file(dovecot.port, smtp.port, auth))
        # The desktop's browser: it says it was asked and follows the sign-in's redirects.
        test_first_start.script(os.path.join(self.tools, "xdg-open"),
                                'echo "$@" >> "%s"\ncase "$1" in http*) exec curl -s -L --max-time 20 '
                                '-o /dev/null "$1";; esac\n' % self.opened)

        self.start_with_the_address()
        self.assertTrue(wait_until(lambda: self.web.requests, 5), "the settings file was not asked for")
        time.sleep(1.5)
        wid = self.focus("Add Account Wizard")
        self.keys("alt+c")
        self.type("client-1")
        self.keys("alt+p")
        self.type("Local-pw-1")
        self.shot("wizard-oauth-1-found.png", wid)
        self.keys("Return")

        def logged(what, count=1):
            return wait_until(lambda: sum(what in line for line in self.world.log_texts()) >= count, 30)
        self.assertTrue(logged(": all is well", 2), "\n".join(self.world.log_texts()))
        with open(self.opened) as f:
            self.assertIn(auth.url("/authorize") + "?", f.read())
        issued = [g for g in auth.grants() if g["grant"] == "authorization_code" and g["ok"]]
        self.assertEqual(len(issued), 1)
        self.assertRegex(dovecot.read_log(), r"Login: user=<ann>.*method=(OAUTHBEARER|XOAUTH2)")
        self.shot("wizard-oauth-2-check-passed.png", wid)
        self.keys("Return")
        time.sleep(0.3)
        self.keys("Return")   # Finish
        wid = self.focus("New Account Settings for E-Mail Client")
        self.keys("Return")
        self.assertTrue(wait_until(lambda: self.window("New Account Settings for E-Mail Client") is None, 5))
        # No second sign-in followed Finish.
        self.assertEqual(len([g for g in auth.grants() if g["grant"] == "authorization_code"]), 1)

        hive = self.hive()
        account = hive[hive.index("\\Accounts\\ann]"):]
        for line in ('"auth"=dword:00000001', '"smtpauth"=dword:00000001', '"oauthclientid"="client-1"',
                     '"oauthtokenurl"="%s"' % auth.url("/token"), '"oauthscope"="mail"',
                     '"oauthrefresh"="%s"' % issued[0]["refresh_token"], '"localpass"="Local-pw-1"',
                     '"pass"=""'):
            self.assertIn(line, account)

        mailbox = os.path.join(self.world.work, "accounts", "ann@127.0.0.1")
        r = self.world.ctl("cycle", "--timeout", "20", timeout=40)
        self.assertIn(r.returncode, (0, 2, 3), r.stderr)

        def items():
            return [n for n in os.listdir(mailbox) if n.endswith(".rfc822")]
        self.assertTrue(wait_until(lambda: items() and not dovecot.messages("ann"), 30),
                        "nothing retrieved:\n%s" % "\n".join(self.world.log_texts()))
        with open(os.path.join(mailbox, items()[0]), "rb") as f:
            self.assertEqual(f.read(), MESSAGE)
        logs = "\n".join(self.world.log_texts())
        for token in auth.tokens_issued():
            self.assertNotIn(token, logs)

    def test_a_certificate_for_another_name_is_said_so(self):
        """The provider's POP3 server shows a certificate for another name: the check says so
        in plain words, and the wizard is left without an account."""
        cert, key = self.ca.server("mail.other.test")
        other = PrivateDovecot({"ann": POP_PW}, ssl="starttls", cert=cert, key=key).start()
        self.addCleanup(other.stop)
        self.web.route("autoconfig.example.test", "/mail/config-v1.1.xml", settings_file(other.port, self.smtp.port))
        self.start_with_the_address()
        self.assertTrue(wait_until(lambda: self.web.requests, 5), "the settings file was not asked for")
        time.sleep(1.5)
        wid = self.focus("Add Account Wizard")
        self.keys("alt+p")
        self.type(POP_PW)
        self.keys("Return")
        self.assertTrue(wait_until(lambda: any("wizard's check of pop3 127.0.0.1:%d failed at tls "
                                               "(certificate-other-name)" % other.port in line
                                               for line in self.world.log_texts()), 30),
                        "\n".join(self.world.log_texts()))
        self.shot("wizard-address-check-other-name.png", wid)
        self.keys("Escape")
        self.assertTrue(wait_until(lambda: self.window("Add Account Wizard") is None, 5))
        self.assertNotIn("\\Accounts\\ann]", self.hive())


if __name__ == "__main__":
    unittest.main()
