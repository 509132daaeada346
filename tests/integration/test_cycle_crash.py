"""Crash safety of whole cycles: the engine is killed (SIGKILL) at random moments while it
delivers 100 queued items and retrieves 200 messages from providers that take commands in
groups, and started again; once cycles run to their end, every item has reached the provider
at least once (at most one duplicate per kill) and every message is in its mailbox exactly
once, byte for byte, and gone from the server."""

import collections
import os
import random
import re
import signal
import sys
import time
import unittest

from cycle_world import CycleWorld
from peers.dovecot import PrivateDovecot, available as dovecot_available

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "peers"))
import smtp_provider  # noqa: E402
from smtp_provider import SmtpProvider  # noqa: E402

ITEMS = 100
MESSAGES = 200
KILLS = 20


def incoming(n, rng):
    return b"Message-ID: <%d@in>\r\nSubject: in %d\r\n\r\n%s\r\n" % (n, n, b"y" * rng.randrange(10, 4000))


@unittest.skipUnless(dovecot_available() and smtp_provider.available(), "needs dovecot-pop3d and aiosmtpd")
class CycleCrash(unittest.TestCase):
    def test_killed_cycles_lose_nothing_and_repeat_at_most_one_item_per_kill(self):
        rng = random.Random(os.environ.get("TRAWLEX_CRASH_SEED", "10"))
        with SmtpProvider(pipelining=True) as provider, PrivateDovecot({"carol": "pw"}) as dc, CycleWorld(timeout_ms=5000) as w:
            sent = [incoming(n, rng) for n in range(MESSAGES)]
            for m in sent:
                dc.deliver("carol", m)
            w.configure(provider.port, accounts=[("carol", dc.port, "carol", "pw")])
            w.queue([("<ann@example.org>", ["<bob@example.net>"],
                      b"Subject: out %d\r\n\r\n%s\r\n" % (n, b"x" * rng.randrange(10, 2000))) for n in range(ITEMS)])
            self.assertEqual(len(w.queued_items()), ITEMS)

            kills = 0
            deadline = time.monotonic() + 35
            while kills < KILLS and time.monotonic() < deadline:
                ctl = w.engine.ctl_background("--timeout", "20", "cycle")
                time.sleep(rng.uniform(0.05, 0.8))
                os.kill(w.engine.proc.pid, signal.SIGKILL)
                w.engine.proc.wait()
                ctl.kill()
                ctl.communicate()
                kills += 1
                w.engine.stderr_file.close()
                w.engine.start()
            self.assertGreaterEqual(kills, KILLS)

            for _ in range(5):
                status, lines = w.cycle(timeout=60)
                self.assertEqual(status, 0, lines)
                if not w.queued_items() and not dc.messages("carol"):
                    break
            self.assertEqual(w.queued_items(), [])
            self.assertEqual(dc.messages("carol"), {})

            counts = collections.Counter(re.search(rb"Subject: out (\d+)", m["data"]).group(1)
                                         for m in provider.messages())
            self.assertEqual(sorted(int(n) for n in counts), list(range(ITEMS)))
            self.assertLessEqual(sum(counts.values()) - ITEMS, kills)
            items = w.items("carol@127.0.0.1")
            copies = collections.Counter(items.values())
            doubled = [name for name, data in items.items() if copies[data] > 1]
            self.assertEqual(doubled, [], "stored more than once: %s" % doubled)
            self.assertEqual(sorted(items.values()), sorted(sent))
            self.assertEqual(os.listdir(os.path.join(w.engine.work, "accounts", "holding")), [])


if __name__ == "__main__":
    unittest.main()
