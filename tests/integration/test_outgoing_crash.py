"""Crash safety with two outgoing hosts: the engine is killed (SIGKILL) at random moments while
its cycles deliver a queue whose senders go to two providers over connections side by side, and
started again; once cycles run to their end, every item has reached its own provider at least
once, none the other one, and each kill has repeated at most one item per connection."""

import collections
import os
import random
import re
import signal
import sys
import time
import unittest

from cycle_world import ACCOUNTS_KEY, CycleWorld
from harness import SETTINGS_KEY

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "peers"))
import smtp_provider  # noqa: E402
from smtp_provider import SmtpProvider  # noqa: E402

ITEMS = 200
KILLS = 10


@unittest.skipUnless(smtp_provider.available(), "aiosmtpd is not installed")
class OutgoingCrash(unittest.TestCase):
    def test_killed_cycles_deliver_every_item_to_its_own_provider(self):
        rng = random.Random(os.environ.get("TRAWLEX_CRASH_SEED", "7"))
        # Small receive windows: deliveries take long enough to be killed half-way.
        with SmtpProvider(pipelining=True, receive_buffer=4096) as global_host, \
                SmtpProvider(pipelining=True, receive_buffer=4096) as own_host, \
                CycleWorld(timeout_ms=5000) as w:
            w.engine.write_hive({
                SETTINGS_KEY: {"outhostname": "127.0.0.1", "outhostport": global_host.port, "rasentry": ""},
                ACCOUNTS_KEY + r"\bee": {"smtpserver": "127.0.0.1", "smtpport": own_host.port,
                                         "addresses": "*@b.example"},
            })
            senders = {n: "<n%d@b.example>" % n if n % 2 else "<n%d@a.example>" % n for n in range(ITEMS)}
            w.queue([(senders[n], ["<r@example.net>"],
                      b"Subject: out %d\r\n\r\n%s\r\n" % (n, b"x" * rng.randrange(10, 20000))) for n in range(ITEMS)])
            self.assertEqual(len(w.queued_items()), ITEMS)

            kills = 0
            left = []   # items queued at each kill
            deadline = time.monotonic() + 30
            while kills < KILLS and time.monotonic() < deadline:
                ctl = w.engine.ctl_background("--timeout", "20", "cycle")
                time.sleep(rng.uniform(0.05, 0.6))
                left.append(len(w.queued_items()))
                os.kill(w.engine.proc.pid, signal.SIGKILL)
                w.engine.proc.wait()
                ctl.kill()
                ctl.communicate()
                kills += 1
                w.engine.stderr_file.close()
                w.engine.start()
            self.assertGreaterEqual(kills, KILLS)
            # Kills that met deliveries under way, not only a drained queue.
            self.assertGreater(sum(1 for n in left if 0 < n < ITEMS), KILLS // 2, left)

            for _ in range(5):
                w.cycle(timeout=60)
                if not w.queued_items():
                    break
            self.assertEqual(w.queued_items(), [])

            def counts(provider):
                return collections.Counter(int(re.search(rb"Subject: out (\d+)", m["data"]).group(1))
                                           for m in provider.messages())
            at_global, at_own = counts(global_host), counts(own_host)
            self.assertEqual(sorted(at_global), [n for n in range(ITEMS) if n % 2 == 0])
            self.assertEqual(sorted(at_own), [n for n in range(ITEMS) if n % 2])
            for provider in (global_host, own_host):
                for m in provider.messages():
                    n = int(re.search(rb"Subject: out (\d+)", m["data"]).group(1))
                    self.assertEqual("<%s>" % m["mail_from"], senders[n])
            repeats = sum(at_global.values()) + sum(at_own.values()) - ITEMS
            self.assertLessEqual(repeats, 2 * kills)


if __name__ == "__main__":
    unittest.main()
