"""Setting up by address from the command line: trawlexctl account add/list/show/set/remove
and outgoing set write user.reg as the front end does and refuse bad values with the file
unchanged; an account found by the look-up (the domain's settings file over HTTPS from a test
server with its own authority, SRV records from a test DNS server on loopback) retrieves mail
from a private Dovecot with check_once; trawlexctl probe reports Dovecot (POP3S, STLS),
aiosmtpd and a server whose certificate has expired."""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

from check_world import CHECK_ONCE
from harness import TRAWLEXCTL, private_env
from peers.dovecot import PrivateDovecot, available as dovecot_available

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "peers"))
import smtp_provider  # noqa: E402
from certificates import TestAuthority  # noqa: E402
from lookup_servers import ImapsStandIn, SettingsServer, TestDns  # noqa: E402
from private_keyring import available as keyring_available, keyring_for  # noqa: E402
from scripted_pop3 import ScriptedPop3  # noqa: E402
from smtp_provider import SmtpProvider  # noqa: E402

POP_PW = "pop-secret-41"
MESSAGE = b"Subject: set up\r\n\r\nfound by its address\r\n"
SETTINGS_KEY = r"HKEY_CURRENT_USER\SOFTWARE\Orrindale Systems\Tarnwick"


def settings_file(host, port, socket_type="STARTTLS", kind="pop3", user="%EMAILLOCALPART%"):
    return ("""<?xml version="1.0"?>
<clientConfig version="1.1"><emailProvider id="example.test">
  <domain>example.test</domain><displayName>Example Test Mail</displayName>
  <incomingServer type="%s"><hostname>%s</hostname><port>%d</port><socketType>%s</socketType>
    <username>%s</username><authentication>password-cleartext</authentication></incomingServer>
  <outgoingServer type="smtp"><hostname>smtp.example.test</hostname><port>465</port>
    <socketType>SSL</socketType><username>%%EMAILADDRESS%%</username></outgoingServer>
</emailProvider></clientConfig>
""" % (kind, host, port, socket_type, user)).encode()


class World:
    """A private home for trawlexctl and check_once: the data directory is check_once's
    working directory, so the mailbox folders account add makes are the ones it fills."""

    def __init__(self, **extra):
        self.root = tempfile.mkdtemp(prefix="trawlex-setup-")
        self.env = private_env(self.root, **extra)
        self.data = os.path.join(self.env["XDG_DATA_HOME"], "tarnwick")
        os.makedirs(os.path.join(self.data, "accounts", "holding"), mode=0o700)
        self.reg = os.path.join(self.env["XDG_CONFIG_HOME"], "tarnwick", "user.reg")

    def close(self):
        shutil.rmtree(self.root, ignore_errors=True)

    def ctl(self, *args, stdin=None, timeout=60):
        p = subprocess.run([TRAWLEXCTL, *args], env=self.env, input=stdin, capture_output=True, timeout=timeout)
        return p.returncode, p.stdout.decode(), p.stderr.decode()

    def hive(self):
        try:
            with open(self.reg, "rb") as f:
                return f.read()
        except FileNotFoundError:
            return b""

    def write_settings(self, **values):
        """Settings values written as a user would, before any account exists."""
        os.makedirs(os.path.dirname(self.reg), exist_ok=True)
        lines = ["REGEDIT4", "", "[%s]" % SETTINGS_KEY]
        lines += ['"%s"="%s"' % (k, v) for k, v in values.items()]
        with open(self.reg, "w") as f:
            f.write("\n".join(lines) + "\n")

    def check(self):
        p = subprocess.run([CHECK_ONCE, "--timeout-ms", "5000"], cwd=self.data, env=self.env, capture_output=True,
                           timeout=60)
        return p.returncode, p.stdout.decode().split(), p.stderr.decode()

    def mailbox(self, name):
        folder = os.path.join(self.data, "accounts", name)
        out = []
        for entry in sorted(os.listdir(folder)):
            with open(os.path.join(folder, entry), "rb") as f:
                out.append(f.read())
        return out


class Case(unittest.TestCase):
    def world(self, **extra):
        w = World(**extra)
        self.addCleanup(w.close)
        return w


@unittest.skipUnless(dovecot_available(), "needs dovecot-pop3d")
class AccountCommands(Case):
    def test_add_list_show_set_remove_then_retrieve(self):
        dc = PrivateDovecot({"alice": POP_PW}).start()
        self.addCleanup(dc.stop)
        dc.deliver("alice", MESSAGE)
        w = self.world()
        status, out, err = w.ctl("account", "add", "Alice+lists@Example.TEST", "--title", "home", "--server",
                                 "127.0.0.1", "--port", str(dc.port), "--security", "none", "--user", "alice",
                                 "--password-stdin", stdin=(POP_PW + "\n").encode())
        self.assertEqual(status, 0, out + err)
        # What the e-mail program must be given: the local ports and the title as user name.
        self.assertIn("server 127.0.0.1, port 110, user name home", out)
        self.assertIn("port 25, no authentication", out)
        hive = w.hive().decode()
        for line in ['"server"="127.0.0.1"', '"port"=dword:%08x' % dc.port, '"user"="alice"', '"uidlfile"="alice@127.0.0.1.uidl"',
                     '"destmailbox"="alice@127.0.0.1"', '"dropdir"="accounts/alice@127.0.0.1/"',
                     '"emailaddress"="Alice+lists@example.test"']:
            self.assertIn(line, hive)
        self.assertTrue(os.path.isdir(os.path.join(w.data, "accounts", "alice@127.0.0.1")))
        self.assertEqual(os.stat(w.reg).st_mode & 0o077, 0)

        status, out, _ = w.ctl("account", "list")
        self.assertEqual(out.split("\t"), ["home", "pop3", "127.0.0.1:%d" % dc.port, "none", "alice\n"])
        status, out, _ = w.ctl("account", "show", "home")
        self.assertEqual(status, 0)
        self.assertIn("pass\t(set, in user.reg)", out)
        self.assertNotIn(POP_PW, out)

        # The written account retrieves without user.reg being touched by hand.
        status, items, err = w.check()
        self.assertEqual(status, 0, err)
        self.assertEqual(len(items), 1)
        self.assertEqual(w.mailbox("alice@127.0.0.1"), [MESSAGE])
        self.assertEqual(dc.messages("alice"), {})

        self.assertEqual(w.ctl("account", "set", "home", "leavemail", "yes")[0], 0)
        self.assertIn('"leavemail"=dword:00000001', w.hive().decode())
        self.assertEqual(w.ctl("account", "set", "home", "pass", "-", stdin=b"new-secret\n")[0], 0)
        self.assertIn('"pass"="new-secret"', w.hive().decode())
        self.assertEqual(w.ctl("account", "set", "home", "protocol", "imap")[0], 0)
        self.assertIn('"protocol"=dword:00000001', w.hive().decode())

        status, out, _ = w.ctl("account", "remove", "home")
        self.assertEqual(status, 0)
        self.assertNotIn("home]", w.hive().decode())
        self.assertTrue(os.path.isdir(os.path.join(w.data, "accounts", "alice@127.0.0.1")))
        self.assertEqual(w.ctl("account", "list")[1], "")


class Writing(Case):
    def test_an_oauth_account_from_the_table_and_its_outgoing_host(self):
        w = self.world()
        status, out, err = w.ctl("account", "add", "Ann.B+news@GMail.com", "--oauth", "google", "--client-id", "cid-7",
                                 "--password-stdin", "--yes", stdin=b"local-pw\n")
        self.assertEqual(status, 0, out + err)
        self.assertIn("incoming  pop3 pop.gmail.com port 995, tls, user Ann.B@gmail.com", out)
        self.assertIn("trawlexctl authorize Ann.B", out)
        hive = w.hive().decode()
        account = hive[hive.index("Accounts\\Ann.B]"):]
        for line in ['"auth"=dword:00000001', '"oauthclientid"="cid-7"', '"localpass"="local-pw"', '"pass"=""',
                     '"oauthscope"="https://mail.google.com/"']:
            self.assertIn(line, account)
        settings = hive[:hive.index("Accounts\\Ann.B]")]
        for line in ['"outhostname"="smtp.gmail.com"', '"outhostport"=dword:000001d1', '"auth"=dword:00000001']:
            self.assertIn(line, settings)

    def test_outgoing_set_for_the_host_and_for_an_account(self):
        w = self.world()
        self.assertEqual(w.ctl("account", "add", "ann@example.test", "--title", "home", "--server", "pop.example.test",
                               "--password-stdin", stdin=b"pw\n")[0], 0)
        status, out, err = w.ctl("outgoing", "set", "--server", "SMTP.example.test", "--security", "starttls")
        self.assertEqual(status, 0, out + err)
        self.assertIn("Outgoing host: smtp.example.test port 587, starttls", out)
        status, out, err = w.ctl("outgoing", "set", "--account", "home", "--server", "out.example.test", "--security",
                                 "tls", "--user", "ann", "--addresses", "ann@example.test bob@Example.TEST",
                                 "--password-stdin", stdin=b"smtp-pw\n")
        self.assertEqual(status, 0, out + err)
        account = w.hive().decode().split("Accounts\\home]")[1]
        for line in ['"smtpserver"="out.example.test"', '"smtpport"=dword:000001d1', '"smtpsecurity"=dword:00000002',
                     '"smtpuser"="ann"', '"smtppass"="smtp-pw"', '"addresses"="ann@example.test, bob@example.test"']:
            self.assertIn(line, account)
        self.assertIn("smtppass\t(set, in user.reg)", w.ctl("account", "show", "home")[1])


@unittest.skipUnless(keyring_available(), "needs gnome-keyring, libsecret-tools and dbus-daemon")
class SecretStore(Case):
    def test_the_password_goes_to_a_ready_store_and_leaves_with_the_account(self):
        w = self.world()
        keyring = keyring_for(self, w)
        status, out, err = w.ctl("account", "add", "ann@example.test", "--title", "home", "--server", "pop.example.test",
                                 "--password-stdin", stdin=b"stored-pw\n")
        self.assertEqual(status, 0, out + err)
        hive = w.hive().decode()
        self.assertIn('"secretstore"=dword:00000001', hive)
        self.assertIn('"pass"=""', hive)
        self.assertNotIn("stored-pw", hive)
        self.assertEqual(keyring.lookup("home", "password"), "stored-pw")
        self.assertIn("pass\t(in the secret store)", w.ctl("account", "show", "home")[1])
        # The account's own outgoing password follows its other secrets into the store.
        status, out, err = w.ctl("outgoing", "set", "--account", "home", "--server", "out.example.test",
                                 "--password-stdin", stdin=b"smtp-stored-pw\n")
        self.assertEqual(status, 0, out + err)
        self.assertNotIn("smtp-stored-pw", w.hive().decode())
        self.assertEqual(keyring.lookup("home", "smtppass"), "smtp-stored-pw")
        self.assertIn("smtppass\t(in the secret store)", w.ctl("account", "show", "home")[1])
        status, out, err = w.ctl("account", "set", "home", "smtppass", "-", stdin=b"smtp-new-pw\n")
        self.assertEqual(status, 0, out + err)
        self.assertEqual(keyring.lookup("home", "smtppass"), "smtp-new-pw")
        self.assertEqual(w.ctl("account", "remove", "home")[0], 0)
        self.assertIsNone(keyring.lookup("home", "password"))
        self.assertIsNone(keyring.lookup("home", "smtppass"))


class BadValues(Case):
    def test_every_bad_value_is_refused_by_name_and_the_file_stays(self):
        w = self.world()
        self.assertEqual(w.ctl("account", "add", "ann@example.test", "--title", "home", "--server", "pop.example.test",
                               "--password-stdin", stdin=b"pw\n")[0], 0)
        before = w.hive()
        cases = [
            (["account", "add", "ann@example.test", "--server", "h.example.test", "--port", "70000"], "'70000'", "1 to 65535"),
            (["account", "add", "ann@example.test", "--server", "h.example.test", "--port", "x"], "'x'", "1 to 65535"),
            (["account", "add", "ann@example.test", "--server", "h.example.test", "--security", "ssl"], "'ssl'",
             "none, starttls or tls"),
            (["account", "add", "ann@example.test", "--server", "h.example.test", "--protocol", "nntp"], "'nntp'",
             "pop3 or imap"),
            (["account", "add", "ann@example.test", "--server", "h.example.test", "--leave", "always"], "'always'",
             "number of days"),
            (["account", "add", "ann@example.test", "--server", "bad host"], "'bad host'", "not a host name"),
            (["account", "add", "ann@example.test", "--server", "h.example.test", "--title", "my home"], "'my home'",
             "no blank"),
            (["account", "add", "ann@example.test", "--server", "h.example.test", "--title", "Outgoing"], "'outgoing'",
             "outgoing host"),
            (["account", "add", "ann@example.test", "--server", "h.example.test", "--title", "HOME"], "'HOME'",
             "exists already"),
            (["account", "add", "ann@example.test", "--server", "h.example.test", "--user", "a/b"], "'a/b'", "'/'"),
            (["account", "add", "not-an-address", "--server", "h.example.test"], "'not-an-address'", "name@domain"),
            (["account", "add", "ann@example.test", "--server", "h.example.test", "--oauth", "yahoo", "--client-id", "c"],
             "'yahoo'", "google"),
            (["account", "set", "home", "port", "0"], "'0'", "1 to 65535"),
            (["account", "set", "home", "security", "maybe"], "'maybe'", "none, starttls or tls"),
            (["account", "set", "home", "server", "a@b"], "'a@b'", "not a host name"),
            (["account", "set", "home", "leavemail", "7"], "'7'", "no (0), yes (1) or 2"),
            (["account", "set", "home", "uidlfile", "x"], "'uidlfile'", "one of server port"),
            (["account", "set", "home", "pass", "plain-text"], "pass", "give - as its value"),
            (["account", "set", "nobody", "port", "110"], "'nobody'", "account list"),
            (["account", "show", "nobody"], "'nobody'", "account list"),
            (["account", "remove", "nobody"], "'nobody'", "account list"),
            (["outgoing", "set", "--port", "99999"], "'99999'", "1 to 65535"),
            (["outgoing", "set", "--account", "home", "--addresses", "x@y.test, nope"], "'nope'", "name@domain"),
        ]
        for args, named, allowed in cases:
            with self.subTest(args=args):
                status, out, err = w.ctl(*args, stdin=b"pw\n")
                self.assertEqual(status, 64, out + err)
                self.assertIn(named, err)
                self.assertIn(allowed, err)
                self.assertEqual(w.hive(), before)


@unittest.skipUnless(dovecot_available(), "needs dovecot-pop3d")
class LookUp(Case):
    @classmethod
    def setUpClass(cls):
        cls.ca = TestAuthority()
        cls.pop_cert = cls.ca.server("localhost", ips=["127.0.0.1"])

    @classmethod
    def tearDownClass(cls):
        cls.ca.close()

    def servers(self):
        web = SettingsServer(self.ca, ["autoconfig.example.test", "example.test"]).__enter__()
        self.addCleanup(web.__exit__)
        dns = TestDns().__enter__()
        self.addCleanup(dns.__exit__)
        w = self.world(TRAWLEX_AUTOCONFIG_CONNECT="127.0.0.1:%d" % web.port, TRAWLEX_DNS_SERVER="127.0.0.1:%d" % dns.port,
                       TRAWLEX_LOOKUP_TIMEOUT_MS="2000")
        w.write_settings(cafile=self.ca.ca_file)
        return web, dns, w

    def dovecot(self, ssl):
        dc = PrivateDovecot({"ann": POP_PW}, ssl=ssl, cert=self.pop_cert[0], key=self.pop_cert[1]).start()
        self.addCleanup(dc.stop)
        dc.deliver("ann", MESSAGE)
        return dc

    def test_settings_file_over_https_then_retrieval(self):
        dc = self.dovecot("starttls")
        web, dns, w = self.servers()
        web.route("autoconfig.example.test", "/mail/config-v1.1.xml", settings_file("127.0.0.1", dc.port))
        status, out, err = w.ctl("account", "add", "ann@example.test", "--password-stdin", "--yes",
                                 stdin=(POP_PW + "\n").encode())
        self.assertEqual(status, 0, out + err)
        self.assertIn("Example Test Mail, from https://autoconfig.example.test/mail/config-v1.1.xml", out)
        self.assertIn("incoming  pop3 127.0.0.1 port %d, starttls, user ann" % dc.port, out)
        # No outgoing host was set: the one found becomes it.
        hive = w.hive().decode()
        self.assertIn('"outhostname"="smtp.example.test"', hive)
        self.assertIn('"outhostsecurity"=dword:00000002', hive)
        self.assertIn('"security"=dword:00000001', hive)
        status, items, err = w.check()
        self.assertEqual(status, 0, err)
        self.assertEqual(w.mailbox("ann@127.0.0.1"), [MESSAGE])
        self.assertIn("TLS", dc.read_log())

    def test_the_sign_in_the_settings_file_names_is_taken_by_its_name(self):
        """A provider no preset knows names its OAuth 2.0 endpoints in its settings file: --oauth
        takes the name the look-up shows; another name is refused, and nothing is written."""
        web, dns, w = self.servers()
        oauth2 = ("<oAuth2><issuer>login.example.test</issuer><scope>mail offline</scope>"
                  "<authURL>https://login.example.test/authorize</authURL>"
                  "<tokenURL>https://login.example.test/token</tokenURL></oAuth2></clientConfig>")
        body = settings_file("127.0.0.1", 995, "SSL").replace(b"</clientConfig>", oauth2.encode())
        web.route("autoconfig.example.test", "/mail/config-v1.1.xml", body)
        status, out, err = w.ctl("account", "add", "ann@example.test", "--oauth", "other.example", "--client-id",
                                 "c-1", "--password-stdin", "--yes", stdin=b"local-1\n")
        self.assertEqual(status, 64, out + err)
        self.assertIn("OAuth preset 'other.example' is not known: give one of google microsoft or login.example.test",
                      err)
        self.assertNotIn("Accounts", w.hive().decode())
        status, out, err = w.ctl("account", "add", "ann@example.test", "--password-stdin", "--yes", "--title", "pw",
                                 stdin=b"pw-1\n")
        self.assertEqual(status, 0, out + err)
        self.assertIn("OAuth 2.0 is offered: --oauth login.example.test --client-id ID", out)
        status, out, err = w.ctl("account", "add", "ann@example.test", "--oauth", "Login.Example.Test", "--client-id",
                                 "c-1", "--password-stdin", "--yes", stdin=b"local-1\n")
        self.assertEqual(status, 0, out + err)
        self.assertIn("sign-in   OAuth 2.0 (login.example.test), client id c-1", out)
        hive = w.hive().decode()
        account = hive[hive.index("\\Accounts\\ann]"):]
        for line in ('"auth"=dword:00000001', '"oauthauthurl"="https://login.example.test/authorize"',
                     '"oauthtokenurl"="https://login.example.test/token"', '"oauthscope"="mail offline"',
                     '"oauthclientid"="c-1"', '"localpass"="local-1"'):
            self.assertIn(line, account)

    def test_refused_answers_fall_through_to_srv_records(self):
        dc = self.dovecot("pop3s")
        for name, body, delay in (("malformed", b"<clientConfig><emailProvider>", 0),
                                  ("huge", b"<clientConfig>" + b" " * 200000 + b"</clientConfig>", 0),
                                  ("slow", settings_file("127.0.0.1", dc.port), 5)):
            with self.subTest(answer=name):
                web, dns, w = self.servers()
                web.route("autoconfig.example.test", "/mail/config-v1.1.xml", body, delay=delay)
                web.route("example.test", "/.well-known/autoconfig/mail/config-v1.1.xml", body, delay=delay)
                dns.srv("_pop3s._tcp.example.test", [(10, 0, dc.port, "localhost")])
                status, out, err = w.ctl("account", "add", "ann@example.test", "--user", "ann", "--password-stdin",
                                         "--yes", stdin=(POP_PW + "\n").encode())
                self.assertEqual(status, 0, out + err)
                self.assertIn("autoconfig.example.test/mail/config-v1.1.xml: ", out)
                refusal = {"malformed": "refused: ", "huge": "longer than", "slow": "within 2 s"}[name]
                self.assertEqual(out.count(refusal), 2, out)
                self.assertIn("from DNS SRV records", out)
                self.assertIn("incoming  pop3 localhost port %d, tls, user ann\n" % dc.port, out)
        status, items, err = w.check()
        self.assertEqual(status, 0, err)
        self.assertEqual(w.mailbox("ann@localhost"), [MESSAGE])

    def test_without_yes_and_a_terminal_nothing_is_written(self):
        web, dns, w = self.servers()
        status, out, err = w.ctl("account", "add", "ann@posteo.de", "--password-stdin", stdin=b"pw\n")
        self.assertEqual(status, 1, out + err)
        self.assertIn("incoming  pop3 posteo.de port 995, tls, user ann@posteo.de", out)
        self.assertIn("--yes", err)
        self.assertNotIn(b"Accounts", w.hive())
        # The table answered: nothing was asked on the network.
        self.assertEqual(web.requests, [])
        self.assertEqual(dns.questions, [])

    def test_nothing_found_asks_for_the_server(self):
        web, dns, w = self.servers()
        status, out, err = w.ctl("account", "add", "ann@example.test", "--password-stdin", stdin=b"pw\n")
        self.assertEqual(status, 4, out + err)
        self.assertIn("give --server", err)
        self.assertEqual(len(web.requests), 2)
        self.assertIn(("example.test", 15), dns.questions)


@unittest.skipUnless(dovecot_available() and smtp_provider.available(), "needs dovecot-pop3d and aiosmtpd")
class Probe(Case):
    @classmethod
    def setUpClass(cls):
        cls.ca = TestAuthority()
        cls.good = cls.ca.server("localhost", ips=["127.0.0.1"])
        cls.expired = cls.ca.server("localhost", ips=["127.0.0.1"], expired=True)

    @classmethod
    def tearDownClass(cls):
        cls.ca.close()

    def world(self):
        w = super().world()
        w.write_settings(cafile=self.ca.ca_file)
        return w

    def dovecot(self, ssl, cert, protocol="pop3"):
        dc = PrivateDovecot({"ann": POP_PW}, ssl=ssl, cert=cert[0], key=cert[1], protocol=protocol).start()
        self.addCleanup(dc.stop)
        return dc

    def assertStep(self, out, step, ok=True):
        self.assertRegex(out, r"(?m)^%s\s+%s\s+\d+ ms" % (step, "ok" if ok else "FAIL"))

    def test_pop3s_account_with_login(self):
        dc = self.dovecot("pop3s", self.good)
        w = self.world()
        self.assertEqual(w.ctl("account", "add", "ann@example.test", "--title", "home", "--server", "localhost", "--port",
                               str(dc.port), "--security", "tls", "--user", "ann", "--password-stdin",
                               stdin=(POP_PW + "\n").encode())[0], 0)
        status, out, err = w.ctl("probe", "home", "--login")
        self.assertEqual(status, 0, out + err)
        for step in ("connect", "tls", "greeting", "capabilities", "login"):
            self.assertStep(out, step)
        self.assertRegex(out, r"tls\s+ok\s+\d+ ms  TLSv1\.[23] \S+")
        self.assertIn("certificate subject     CN=localhost", out)
        self.assertIn("certificate issuer      CN=Trawlex Test Authority", out)
        self.assertRegex(out, r"certificate expires     \d{4}-\d\d-\d\d \d\d:\d\d:\d\d UTC")
        self.assertRegex(out, r"certificate sha256      ([0-9A-F]{2}:){31}[0-9A-F]{2}")
        self.assertIn("certificate trusted     yes", out)
        self.assertIn("UIDL", out)
        self.assertNotIn(POP_PW, out + err)
        # A wrong password fails the log-in step, and says so.
        self.assertEqual(w.ctl("account", "set", "home", "pass", "-", stdin=b"wrong\n")[0], 0)
        status, out, err = w.ctl("probe", "home", "--login")
        self.assertEqual(status, 3, out + err)
        self.assertStep(out, "login", ok=False)
        self.assertIn("probe failed at login: the server refused the password", err)

    def test_stls_by_host_and_port(self):
        dc = self.dovecot("starttls", self.good)
        w = self.world()
        status, out, err = w.ctl("probe", "localhost:%d" % dc.port, "--protocol", "pop3", "--security", "starttls",
                                 "--login", "--user", "ann", "--password-stdin", stdin=(POP_PW + "\n").encode())
        self.assertEqual(status, 0, out + err)
        self.assertLess(out.index("STLS"), out.index("starttls "))   # offered before TLS
        for step in ("starttls", "tls", "login"):
            self.assertStep(out, step)

    def test_a_pop3_server_without_capa_is_still_logged_in_to(self):
        with ScriptedPop3() as old:
            w = self.world()
            status, out, err = w.ctl("probe", "127.0.0.1:%d" % old.port, "--protocol", "pop3", "--security", "none",
                                     "--login", "--user", "ann", "--password-stdin", stdin=b"pw\n")
            self.assertEqual(status, 0, out + err)
            self.assertRegex(out, r"(?m)^capabilities\s+ok\s+\d+ ms  none listed: CAPA refused: -ERR unknown$")
            self.assertStep(out, "login")
            self.assertIn("PASS pw", old.commands)

    def test_expired_certificate(self):
        dc = self.dovecot("pop3s", self.expired)
        w = self.world()
        status, out, err = w.ctl("probe", "localhost:%d" % dc.port, "--security", "tls")
        self.assertEqual(status, 3, out + err)
        self.assertStep(out, "tls", ok=False)
        self.assertIn("certificate trusted     no", out)
        self.assertIn("certificate subject     CN=localhost", out)
        self.assertIn("probe failed at tls: certificate for localhost not trusted: expired", err)

    def test_imap_accounts_at_dovecot_over_tls_and_starttls(self):
        dc = self.dovecot("imaps", self.good, protocol="imap")
        w = self.world()
        self.assertEqual(w.ctl("account", "add", "ann@example.test", "--title", "home", "--protocol", "imap", "--server",
                               "localhost", "--port", str(dc.port), "--security", "tls", "--user", "ann",
                               "--password-stdin", stdin=(POP_PW + "\n").encode())[0], 0)
        status, out, err = w.ctl("probe", "home", "--login")
        self.assertEqual(status, 0, out + err)
        for step in ("connect", "tls", "greeting", "capabilities", "login"):
            self.assertStep(out, step)
        self.assertIn("certificate trusted     yes", out)
        self.assertRegex(out, r"capabilities\s+ok\s+\d+ ms  .*IMAP4rev1")
        self.assertNotIn(POP_PW, out + err)
        self.assertEqual(w.ctl("account", "set", "home", "pass", "-", stdin=b"wrong\n")[0], 0)
        status, out, err = w.ctl("probe", "home", "--login")
        self.assertEqual(status, 3, out + err)
        self.assertIn("probe failed at login: the server refused the password", err)

        plain = self.dovecot("starttls", self.good, protocol="imap")
        status, out, err = w.ctl("probe", "localhost:%d" % plain.port, "--protocol", "imap", "--security", "starttls",
                                 "--login", "--user", "ann", "--password-stdin", stdin=(POP_PW + "\n").encode())
        self.assertEqual(status, 0, out + err)
        self.assertLess(out.index("STARTTLS"), out.index("starttls "))   # offered before TLS
        for step in ("starttls", "tls", "login"):
            self.assertStep(out, step)

    def test_imaps_by_host_and_port(self):
        # A greeting with an escape sequence, which must not reach the terminal as it is.
        imap = ImapsStandIn(self.good, "ann", POP_PW, greeting=b"* OK \x1b[2Jready").__enter__()
        self.addCleanup(imap.__exit__)
        w = self.world()
        status, out, err = w.ctl("probe", "127.0.0.1:%d" % imap.port, "--protocol", "imap", "--security", "tls",
                                 "--login", "--user", "ann", "--password-stdin", stdin=(POP_PW + "\n").encode())
        self.assertEqual(status, 0, out + err)
        self.assertIn("* OK ?[2Jready", out)
        self.assertNotIn("\x1b", out)
        self.assertRegex(out, r"capabilities\s+ok\s+\d+ ms  IMAP4rev1, AUTH=PLAIN, IDLE")
        self.assertStep(out, "login")
        self.assertEqual(imap.commands[-1], "a4 LOGOUT")
        status, out, err = w.ctl("probe", "127.0.0.1:%d" % imap.port, "--protocol", "imap", "--security", "tls",
                                 "--login", "--user", "ann", "--password-stdin", stdin=b"wrong\n")
        self.assertEqual(status, 3, out + err)
        self.assertIn("probe failed at login: the server refused the password: NO [AUTHENTICATIONFAILED]", err)

    def test_smtp_starttls_and_auth(self):
        provider = SmtpProvider(tls="starttls", cert=self.good[0], key=self.good[1], users={"ann": "smtp-pw"}).start()
        self.addCleanup(provider.close)
        w = self.world()
        self.assertEqual(w.ctl("outgoing", "set", "--server", "localhost", "--port", str(provider.port), "--security",
                               "starttls", "--user", "ann", "--password-stdin", stdin=b"smtp-pw\n")[0], 0)
        status, out, err = w.ctl("probe", "outgoing", "--login")
        self.assertEqual(status, 0, out + err)
        self.assertStep(out, "greeting")
        self.assertIn("STARTTLS", out)
        self.assertRegex(out, r"(?m)^capabilities .*AUTH")
        self.assertStep(out, "login")


if __name__ == "__main__":
    unittest.main()
