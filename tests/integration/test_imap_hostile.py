"""The account check against scripted hostile IMAP servers: a literal of 64 MiB passes with
flat memory, an endless line, a literal that lies about its size and a server that stalls
inside a literal each end the check with a HIGH line and nothing removed at the provider, a
BYE in mid-fetch keeps what came whole and loses nothing, floods of untagged responses and a
message expunged while it is fetched change nothing else."""

import glob
import os
import resource
import sys
import unittest

from check_world import CheckWorld, transfer_form

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "peers"))
from scripted_imap import ScriptedImap  # noqa: E402

BOX = "ann@127.0.0.1"


def message(n, size=2000):
    return b"Message-ID: <%d@hostile>\r\nSubject: %d\r\n\r\n.dot\r\n%s\r\n" % (n, n, b"z" * size)


# Resident memory says nothing under the sanitizer's allocator, which keeps what is freed.
SANITIZED = os.environ.get("TRAWLEX_SANITIZED") == "1"

class HostileImap(unittest.TestCase):
    def setUp(self):
        self.world = CheckWorld()
        self.addCleanup(self.world.close)

    def server(self, messages, hostile):
        s = ScriptedImap(messages, hostile)
        self.addCleanup(s.close)
        self.world.add_account("imap", s.port, "ann", "pw", values={"protocol": 1, "security": 0})
        return s

    def check(self, timeout_ms=2000):
        p = self.world.start_check(timeout_ms=timeout_ms)
        out, err = p.communicate(timeout=120)
        return p.returncode, out.decode().split(), err.decode()

    def log(self):
        return self.world.log_text()

    def stored(self):
        return sorted(self.world.items(BOX).values())

    def removals(self, s):
        return [c for c in s.commands if "STORE" in c or "EXPUNGE" in c or "MOVE" in c]

    def test_a_literal_of_64_mib_is_stored_with_flat_memory(self):
        s = self.server([message(1), message(2)], "huge")
        status, stored, err = self.check(timeout_ms=10000)
        self.assertEqual(status, 0, err + self.log())
        self.assertEqual(len(stored), 2)
        sizes = sorted(os.path.getsize(p) for p in glob.glob(os.path.join(self.world.mailbox(BOX), "*")))
        self.assertEqual(sizes[-1], s.huge_size)
        if not SANITIZED:
            peak_mb = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss / 1024
            self.assertLess(peak_mb, 40, "check_once held the literal")
        self.assertEqual(s.messages, {})

    def test_unbounded_or_broken_answers_end_the_check_and_remove_nothing(self):
        for hostile, words in (("endless", "IMAP"), ("lying", "IMAP"), ("stall", "IMAP")):
            with self.subTest(hostile=hostile):
                self.world = CheckWorld()
                self.addCleanup(self.world.close)
                s = self.server([message(1), message(2)], hostile)
                status, stored, err = self.check()
                self.assertEqual(status, 1, err)
                self.assertEqual(stored, [])
                self.assertEqual(self.removals(s), [])
                self.assertEqual(len(s.messages), 2)
                self.assertIn(" MAIL HIGH IMAP ann at 127.0.0.1: retrieval failed", self.log())
                self.assertEqual(os.listdir(os.path.join(self.world.work, "accounts", "holding")), [])
        if not SANITIZED:
            self.assertLess(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss / 1024, 40)

    def test_a_bye_in_mid_fetch_keeps_what_came_and_loses_nothing(self):
        sent = [message(n) for n in range(3)]
        s = self.server(sent, "bye")
        status, stored, _ = self.check()
        self.assertEqual(status, 1)
        self.assertEqual(len(stored), 1)
        self.assertEqual(self.removals(s), [])
        self.assertIn("ends the session: going away", self.log())
        s.hostile = None
        status, stored, err = self.check()
        self.assertEqual(status, 0, err)
        self.assertEqual(len(stored), 2)
        self.assertEqual(self.stored(), sorted(transfer_form(m) for m in sent))
        self.assertEqual(s.messages, {})

    def test_servers_without_uidplus_or_move_still_lose_nothing(self):
        sent = [message(n) for n in range(5)]
        s = ScriptedImap(sent, capabilities="IMAP4rev1")
        self.addCleanup(s.close)
        self.world.add_account("imap", s.port, "ann", "pw", values={"protocol": 1, "security": 0})
        status, stored, err = self.check()
        self.assertEqual(status, 0, err + self.log())
        self.assertEqual(len(stored), 5)
        self.assertEqual(s.messages, {})
        self.assertNotIn("UID EXPUNGE", " ".join(s.commands))
        self.assertIn("offers no UIDPLUS: EXPUNGE removes every message flagged", self.log())
        # Moving without MOVE: a copy, then the removal, and only after the copy succeeded.
        self.world = CheckWorld()
        self.addCleanup(self.world.close)
        s2 = ScriptedImap(sent)
        self.addCleanup(s2.close)
        self.world.add_account("imap", s2.port, "ann", "pw",
                               values={"protocol": 1, "security": 0, "movefolder": "Archive"})
        status, stored, err = self.check()
        self.assertEqual(status, 0, err + self.log())
        self.assertEqual(sorted(s2.copied.values()), sorted(sent))
        self.assertEqual(s2.messages, {})
        kinds = [c.split(" ")[1] + " " + c.split(" ")[2] for c in s2.commands if c.split(" ")[1] == "UID"]
        self.assertLess(kinds.index("UID COPY"), kinds.index("UID STORE"))

    def test_floods_and_an_expunge_in_mid_fetch_change_nothing_else(self):
        for hostile in ("flood", "expunge"):
            with self.subTest(hostile=hostile):
                self.world = CheckWorld()
                self.addCleanup(self.world.close)
                sent = [message(n) for n in range(40)]
                s = self.server(sent, hostile)
                status, stored, err = self.check()
                self.assertEqual(status, 0, err + self.log())
                # The expunged message never came: it is neither stored nor removed here.
                fetched = sent if hostile == "flood" else sent[1:]
                self.assertEqual(self.stored(), sorted(transfer_form(m) for m in fetched))
                self.assertEqual(sorted(s.messages), [] if hostile == "flood" else [1])


if __name__ == "__main__":
    unittest.main()
