"""Pipelined retrieval from a real Dovecot (which offers PIPELINING) through a slow link: the
account check waits for far fewer turns than it has messages, stores every message byte for
byte, and a check killed while a window of RETRs is in flight loses and doubles nothing."""

import os
import poplib
import signal
import sys
import time
import unittest

from check_world import CheckWorld, transfer_form
from peers.dovecot import PrivateDovecot, available

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "bench"))
from slow_link import SlowLink  # noqa: E402

# Enough that each of the killed checks below still finds whole windows (of 16) to fetch.
MESSAGES = 80


def message(n):
    return b"Message-ID: <%d@window>\nSubject: %d\n\n.dot\n%s\n" % (n, n, b"w" * (2000 + 97 * n))


@unittest.skipUnless(available(), "dovecot-pop3d is not installed")
class PipelinedRetrieval(unittest.TestCase):
    def setUp(self):
        self.world = CheckWorld()
        self.addCleanup(self.world.close)

    def _seeded(self, dc):
        sent = [message(n) for n in range(MESSAGES)]
        for m in sent:
            dc.deliver("dora", m)
        pop = poplib.POP3("127.0.0.1", dc.port, timeout=10)
        try:
            self.assertIn("PIPELINING", pop.capa(), "the test needs a server that pipelines")
        finally:
            pop.quit()
        return sent

    def _stored(self):
        return {n: d for n, d in self.world.items("dora@127.0.0.1").items() if n.endswith(".rfc822")}

    def test_a_check_through_a_slow_link_waits_for_far_fewer_turns_than_messages(self):
        with PrivateDovecot({"dora": "pw"}) as dc:
            sent = self._seeded(dc)
            with SlowLink(dc.port, rtt_ms=100, bandwidth=4 * 1024 * 1024) as link:
                self.world.add_account("dora", link.port, "dora", "pw")
                status, stored, err = self.world.check()
                self.assertEqual(status, 0, err)
                turns = sum(c["turns"] for c in link.stats())
            self.assertEqual(len(stored), MESSAGES)
            self.assertEqual(sorted(self._stored().values()), sorted(transfer_form(m) for m in sent))
            self.assertEqual(dc.messages("dora"), {})
            # One command a turn would take a RETR and a DELE turn for each message.
            self.assertLess(turns, MESSAGES, "turns waited for: %d" % turns)

    def test_the_log_in_sends_the_password_with_the_user_name(self):
        with PrivateDovecot({"dora": "pw"}) as dc:
            dc.deliver("dora", message(1))
            with SlowLink(dc.port, rtt_ms=100, bandwidth=4 * 1024 * 1024) as link:
                self.world.add_account("dora", link.port, "dora", "pw")
                status, stored, err = self.world.check()
                self.assertEqual(status, 0, err)
                turns = sum(c["turns"] for c in link.stats())
            self.assertEqual(len(stored), 1)
            # The greeting, CAPA, USER with PASS, the listing, the RETR, its DELE with QUIT; one
            # command a turn would wait for USER and PASS apart.
            self.assertEqual(turns, 6)

    def test_checks_killed_with_a_window_in_flight_lose_and_double_nothing(self):
        with PrivateDovecot({"dora": "pw"}) as dc:
            sent = self._seeded(dc)
            box = self.world.mailbox("dora@127.0.0.1")
            with SlowLink(dc.port, rtt_ms=200, bandwidth=256 * 1024) as link:
                self.world.add_account("dora", link.port, "dora", "pw")
                # Each run is killed once it has stored a few more items: RETRs and DELEs are
                # then in flight on the slow link.
                for extra in (1, 3, 2):
                    target = len(os.listdir(box)) + extra
                    p = self.world.start_check(timeout_ms=10000)
                    deadline = time.monotonic() + 60
                    while p.poll() is None and len(os.listdir(box)) < target and time.monotonic() < deadline:
                        time.sleep(0.005)
                    self.assertIsNone(p.poll(), "the check ended before it was killed")
                    os.kill(p.pid, signal.SIGKILL)
                    p.communicate(timeout=30)
            # The rest without the slow link, to its end.
            self.world.accounts.clear()
            self.world.add_account("dora", dc.port, "dora", "pw")
            status, _, err = self.world.check()
            self.assertEqual(status, 0, err)
            self.assertEqual(sorted(self._stored().values()), sorted(transfer_form(m) for m in sent))
            self.assertEqual(sorted(os.listdir(box)), sorted(self._stored()))
            self.assertEqual(dc.messages("dora"), {})


if __name__ == "__main__":
    unittest.main()
