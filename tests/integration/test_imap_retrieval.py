"""Retrieval from a real Dovecot IMAP server by the account check (check_once): messages land
byte for byte in their accounts' mailboxes in the form POP3 items take, nothing is fetched
twice, mail is deleted, left, left for some days or moved as the account says, further
folders and "ALL" are fetched (without the special-use copies), a new UIDVALIDITY stores
nothing twice, TLS from the first byte and STARTTLS both carry it, and a check killed at
random moments never loses or doubles a message."""

import base64
import hashlib
import http.client
import imaplib
import os
import random
import shutil
import signal
import struct
import sys
import time
import unittest
import urllib.parse

from check_world import CheckWorld, transfer_form
from harness import read_route
from peers.dovecot import PrivateDovecot, available

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "peers"))
from certificates import TestAuthority  # noqa: E402
from oauth_server import OAuthServer  # noqa: E402

USER, PASSWORD = "alice", "alice-pw"
BOX = USER + "@127.0.0.1"


def awkward_message(n, size=5000):
    return (b"Message-ID: <%d.imap@test>\nSubject: awkward %d\n\n" % (n, n) +
            b".leading dot\n..two dots\n.\n . blank dot\n" +
            b"8-bit: \xe4\xf6\xfc \xff\x80 {5}\n) \"quoted\n" +
            b"H" * size + b"\n" + b"tail\n")


def refresh_token(auth, client):
    """A refresh token from the authorization server, by its code grant with PKCE."""
    verifier = "v" * 50
    challenge = base64.urlsafe_b64encode(hashlib.sha256(verifier.encode()).digest()).rstrip(b"=").decode()
    redirect = "http://127.0.0.1:9/back"
    query = urllib.parse.urlencode({"client_id": client, "response_type": "code", "code_challenge_method": "S256",
                                    "code_challenge": challenge, "redirect_uri": redirect, "state": "s"})
    conn = http.client.HTTPConnection(urllib.parse.urlsplit(auth.url("/")).netloc, timeout=10)
    conn.request("GET", "/authorize?" + query)
    location = conn.getresponse().getheader("Location")
    code = urllib.parse.parse_qs(urllib.parse.urlsplit(location).query)["code"][0]
    return auth.post("/token", grant_type="authorization_code", code=code, client_id=client, redirect_uri=redirect,
                     code_verifier=verifier)["refresh_token"]


def modified_utf7(name):
    """A folder name as IMAP sends it: "&" as "&-", runs beyond printable ASCII in base64 of
    their UTF-16, "," for "/"; quoted for imaplib."""
    out, run = "", ""

    def flush():
        nonlocal out, run
        if run:
            out += "&" + base64.b64encode(run.encode("utf-16-be")).decode().rstrip("=").replace("/", ",") + "-"
            run = ""
    for c in name:
        if 0x20 <= ord(c) <= 0x7e:
            flush()
            out += "&-" if c == "&" else c
        else:
            run += c
    flush()
    return '"' + out + '"'


class imap_session:
    def __init__(self, dc):
        self.imap = imaplib.IMAP4("127.0.0.1", dc.port, timeout=10)
        self.imap.login(USER, PASSWORD)

    def __enter__(self):
        return self.imap

    def __exit__(self, *exc):
        self.imap.logout()


def imap_separator(imap):
    typ, data = imap.list('""', '""')
    return data[0].split(b'"')[1].decode()


def write_record(path, identifiers):
    with open(path, "wb") as f:
        f.write(struct.pack("<i", len(identifiers)))
        for i in identifiers:
            b = i.encode("latin-1") if isinstance(i, str) else i
            f.write(struct.pack("<i", len(b)) + b)


@unittest.skipUnless(available() and os.path.exists("/usr/lib/dovecot/imap"), "dovecot-imapd is not installed")
class ImapRetrieval(unittest.TestCase):
    def setUp(self):
        self.world = CheckWorld()
        self.addCleanup(self.world.close)

    def serve(self, **kw):
        dc = PrivateDovecot({USER: PASSWORD}, protocol="imap", **kw)
        dc.start()
        self.addCleanup(dc.stop)
        return dc

    def account(self, dc, **values):
        values.setdefault("protocol", 1)
        values.setdefault("security", 0)
        self.world.add_account("imap-account", dc.port, USER, PASSWORD, values=values)

    def check(self, expected_status=0):
        status, stored, err = self.world.check()
        self.assertEqual(status, expected_status, err + self.log())
        return stored

    def log(self):
        return self.world.log_text()

    def stored(self):
        return sorted(self.world.items(BOX).values())

    def recorded(self):
        return read_route(os.path.join(self.world.work, BOX + ".uidl"))

    def test_new_mail_arrives_whole_once_and_leaves_the_server(self):
        dc = self.serve()
        sent = [awkward_message(n) for n in range(3)] + [awkward_message(9, size=3_000_000)]
        for m in sent:
            dc.deliver(USER, m)
        self.account(dc)
        self.assertEqual(len(self.check()), 4)
        self.assertEqual(self.stored(), sorted(transfer_form(m) for m in sent))
        self.assertEqual(dc.messages(USER), {}, "the server still holds the mail")
        self.assertEqual(len(self.recorded()), 4)
        self.assertTrue(all(r.startswith("imap:INBOX:") for r in self.recorded()))
        self.assertEqual(os.listdir(os.path.join(self.world.work, "accounts", "holding")), [])
        self.assertNotIn(PASSWORD, self.log())
        # The second check finds nothing and forgets what left the server.
        self.assertEqual(self.check(), [])
        self.assertEqual(self.recorded(), [])
        self.assertEqual(len(self.stored()), 4)

    def test_left_mail_stays_and_is_never_fetched_twice(self):
        dc = self.serve()
        for n in range(3):
            dc.deliver(USER, awkward_message(n))
        self.account(dc, leavemail=1)
        self.assertEqual(len(self.check()), 3)
        self.assertEqual(len(dc.messages(USER)), 3)
        self.assertEqual(self.check(), [])
        dc.deliver(USER, awkward_message(7))
        self.assertEqual(len(self.check()), 1)
        self.assertEqual(len(self.stored()), 4)
        self.assertEqual(len(dc.messages(USER)), 4)
        # Nothing was marked seen at the provider.
        self.assertTrue(all(":2,S" not in name for name in dc.messages(USER)))

    def test_mail_left_for_days_is_deleted_once_they_have_passed(self):
        dc = self.serve()
        for n in range(2):
            dc.deliver(USER, awkward_message(n))
        self.account(dc, leavemail=2, leavedays=3)
        self.assertEqual(len(self.check()), 2)
        self.assertEqual(self.check(), [])
        self.assertEqual(len(dc.messages(USER)), 2)
        # Four days pass for the first message only.
        record = self.recorded()
        key, fetched, rest = record[0].split("\t", 2)
        record[0] = "\t".join([key, str(int(fetched) - 4 * 86400), rest])
        write_record(os.path.join(self.world.work, BOX + ".uidl"), record)
        self.assertEqual(self.check(), [])
        self.assertEqual(len(dc.messages(USER)), 1)
        # The record forgets the removed message once the server no longer lists it.
        self.assertEqual(self.check(), [])
        self.assertEqual(len(self.recorded()), 1)
        self.assertEqual(len(self.stored()), 2)

    def test_moved_mail_lands_in_its_folder_and_is_not_fetched_from_there(self):
        dc = self.serve()
        sent = [awkward_message(n) for n in range(3)]
        for m in sent:
            dc.deliver(USER, m)
        dc.make_folder(USER, "Archive")
        self.account(dc, movefolder="Archive", imapfolders="ALL")
        self.assertEqual(len(self.check()), 3)
        self.assertEqual(dc.messages(USER), {}, self.log())
        self.assertEqual(len(dc.messages(USER, "Archive")), 3)
        self.assertEqual(self.check(), [])
        self.assertEqual(self.stored(), sorted(transfer_form(m) for m in sent))

    def test_a_second_folder_and_all_folders_without_the_copies(self):
        dc = self.serve()
        dc.deliver(USER, awkward_message(1))
        dc.deliver(USER, awkward_message(2), folder="Lists")
        dc.deliver(USER, awkward_message(3), folder="Trash")
        dc.deliver(USER, awkward_message(4), folder="Junk")
        dc.deliver(USER, awkward_message(5), folder="Other")
        self.account(dc, imapfolders="INBOX, Lists", leavemail=1)
        self.assertEqual(self.stored(), [])
        self.assertEqual(len(self.check()), 2)
        self.assertEqual(self.stored(), sorted(transfer_form(awkward_message(n)) for n in (1, 2)))
        # ALL adds Other, never Trash nor Junk, and nothing already stored.
        self.world.accounts[0]["values"]["imapfolders"] = "ALL"
        self.world.write_hive()
        self.assertEqual(len(self.check()), 1)
        self.assertEqual(self.stored(), sorted(transfer_form(awkward_message(n)) for n in (1, 2, 5)))
        self.assertEqual(self.check(), [])

    def test_a_new_uidvalidity_stores_nothing_twice(self):
        dc = self.serve()
        for n in range(3):
            dc.deliver(USER, awkward_message(n))
        self.account(dc, leavemail=1)
        self.assertEqual(len(self.check()), 3)
        before = {r.split("\t")[0].rsplit(":", 2)[1] for r in self.recorded()}
        # The folder is made anew with the same messages: Dovecot gives it a new UIDVALIDITY.
        time.sleep(1.1)
        home = dc.maildir(USER)
        for name in os.listdir(home):
            if name.startswith("dovecot"):
                path = os.path.join(home, name)
                shutil.rmtree(path) if os.path.isdir(path) else os.remove(path)
        dc.deliver(USER, awkward_message(8))
        self.assertEqual(len(self.check()), 1)
        after = {r.split("\t")[0].rsplit(":", 2)[1] for r in self.recorded()}
        self.assertNotEqual(before, after)
        self.assertEqual(len(self.recorded()), 4)
        self.assertEqual(len(self.stored()), 4)
        self.assertIn("3 messages matched to those stored", self.log())

    def test_folders_named_beyond_ascii_by_name_with_all_and_as_the_move_folder(self):
        dc = self.serve()
        with imap_session(dc) as imap:
            sep = imap_separator(imap)
            drafts = "Entwürfe" + sep + "Größe"
            for folder in ("Entwürfe", drafts, "Ablage & Älteres"):
                self.assertEqual(imap.create(modified_utf7(folder))[0], "OK")
            imap.append(modified_utf7(drafts), None, None, awkward_message(1).replace(b"\n", b"\r\n"))
        dc.deliver(USER, awkward_message(2))
        # By its name, in UTF-8 as the settings hold it; left there.
        self.account(dc, imapfolders=drafts, leavemail=1)
        self.assertEqual(len(self.check()), 1, self.log())
        self.assertEqual(self.stored(), [transfer_form(awkward_message(1))])
        self.assertTrue(self.recorded()[0].startswith("imap:" + drafts.encode().decode("latin-1") + ":"))
        # Named as the server writes it (copied from another program's settings): the same folder.
        self.world.accounts[0]["values"].update(imapfolders=modified_utf7(drafts).strip('"'))
        self.world.write_hive()
        self.assertEqual(self.check(), [], self.log())
        # "ALL" lists it in modified UTF-7: the same folder, nothing stored twice; then every
        # message is moved to a folder whose name holds "&" and umlauts, which "ALL" skips.
        self.world.accounts[0]["values"].update(imapfolders="ALL", leavemail=0, movefolder="Ablage & Älteres")
        self.world.write_hive()
        self.assertEqual(len(self.check()), 1, self.log())
        self.assertEqual(self.stored(), sorted(transfer_form(awkward_message(n)) for n in (1, 2)))
        with imap_session(dc) as imap:
            for folder, count in ((drafts, 0), ("INBOX", 0), ("Ablage & Älteres", 2)):
                self.assertEqual(imap.select(modified_utf7(folder), readonly=True), ("OK", [b"%d" % count]), folder)
        self.assertEqual(self.check(), [])
        self.assertNotIn("HIGH", self.log())

    def test_records_naming_a_folder_as_the_server_writes_it_still_count(self):
        dc = self.serve()
        with imap_session(dc) as imap:
            self.assertEqual(imap.create(modified_utf7("Tom & Jerry"))[0], "OK")
            imap.append(modified_utf7("Tom & Jerry"), None, None, awkward_message(1).replace(b"\n", b"\r\n"))
        self.account(dc, imapfolders="Tom & Jerry", leavemail=1)
        self.assertEqual(len(self.check()), 1)
        # As an earlier version recorded it: the folder's name in modified UTF-7.
        path = os.path.join(self.world.work, BOX + ".uidl")
        write_record(path, [r.replace("imap:Tom & Jerry:", "imap:Tom &- Jerry:") for r in self.recorded()])
        self.assertEqual(self.check(), [])
        self.assertTrue(self.recorded()[0].startswith("imap:Tom & Jerry:"), self.recorded())
        self.assertEqual(len(self.stored()), 1)

    def test_tls_from_the_first_byte_and_starttls(self):
        with TestAuthority() as ca:
            cert, key = ca.server("localhost", ips=["127.0.0.1"])
            for ssl, security in (("imaps", 2), ("starttls", 1)):
                with self.subTest(ssl=ssl):
                    world = CheckWorld()
                    self.addCleanup(world.close)
                    self.world = world
                    world.settings = {"cafile": ca.ca_file}
                    dc = self.serve(ssl=ssl, cert=cert, key=key)
                    dc.deliver(USER, awkward_message(1))
                    self.account(dc, security=security)
                    self.assertEqual(len(self.check()), 1)
                    self.assertEqual(dc.messages(USER), {})
                    self.assertIn("TLS", dc.read_log())

    def test_oauth_sign_in_by_oauthbearer_and_xoauth2(self):
        with TestAuthority() as ca:
            cert, key = ca.server("localhost", ips=["127.0.0.1"])
            for mechanisms, used in (("xoauth2 oauthbearer", "OAUTHBEARER"), ("xoauth2", "XOAUTH2")):
                with self.subTest(mechanisms=mechanisms):
                    auth = OAuthServer({"client-1": USER}).start()
                    self.addCleanup(auth.close)
                    self.world = CheckWorld()
                    self.addCleanup(self.world.close)
                    self.world.settings = {"cafile": ca.ca_file}
                    dc = self.serve(ssl="imaps", cert=cert, key=key, oauth_introspect=auth.url("/introspect"),
                                    oauth_mechanisms=mechanisms)
                    dc.deliver(USER, awkward_message(1))
                    self.account(dc, security=2, auth=1, oauthtokenurl=auth.url("/token"),
                                 oauthclientid="client-1", oauthrefresh=refresh_token(auth, "client-1"))
                    self.assertEqual(len(self.check()), 1)
                    self.assertEqual(dc.messages(USER), {})
                    self.assertRegex(dc.read_log(), r"Login: user=<alice>.*method=" + used)
                    log = self.log()
                    self.assertFalse([t for t in auth.tokens_issued() if t in log])

    def test_a_check_killed_at_random_moments_loses_and_doubles_nothing(self):
        rng = random.Random(os.environ.get("TRAWLEX_CRASH_SEED", "7"))
        dc = self.serve()
        count = 400
        sent = [b"Message-ID: <%d@kill>\nSubject: %d\n\n%s\n.dot\n" % (n, n, b"x" * rng.randrange(10, 20000))
                for n in range(count)]
        for m in sent:
            dc.deliver(USER, m)
        self.account(dc)
        for _ in range(12):
            p = self.world.start_check()
            time.sleep(rng.uniform(0.05, 0.6))
            p.send_signal(signal.SIGKILL)
            p.communicate()
            # Nothing gone from the server is missing here.
            on_server = len(dc.messages(USER))
            self.assertGreaterEqual(len(self.stored()) + on_server, count)
        self.check()
        self.assertEqual(dc.messages(USER), {})
        self.assertEqual(self.stored(), sorted(transfer_form(m) for m in sent))


if __name__ == "__main__":
    unittest.main()
