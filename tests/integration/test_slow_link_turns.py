"""The slow-link relay's count of round trips waited for, fed the events it sees at the relay
on a clock of its own: a dialogue of one command a turn counts every turn, a pipelined one
only the replies that reach the client after a quiet spell, and a client that speaks before a
reply reaches it did not wait for it."""

import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "bench"))
from slow_link import Turns  # noqa: E402


def replay(events):
    """events: ("c", n) client bytes read, ("s", n) server bytes read, ("d", n) delivered,
    ("t", seconds) time passing. Quiet spells of 0.15 s or more count."""
    now = [0.0]
    t = Turns(quiet_s=0.15, clock=lambda: now[0])
    for kind, n in events:
        if kind == "t":
            now[0] += n
        else:
            {"c": t.client_sent, "s": t.server_sent, "d": t.delivered}[kind](n)
    return t.record()["turns"]


class SlowLinkTurns(unittest.TestCase):
    def test_one_command_a_turn_counts_the_greeting_and_every_reply(self):
        # Greeting, then three commands each answered a round trip later: four waits.
        events = [("s", 10), ("t", 0.3), ("d", 10)]
        for _ in range(3):
            events += [("c", 6), ("s", 5), ("t", 0.6), ("d", 5)]
        self.assertEqual(replay(events), 4)

    def test_replies_that_follow_each_other_on_a_busy_line_count_once(self):
        # Sixteen RETRs at once; the texts stream down, and the client keeps asking while the
        # line still carries earlier texts: only the first reply was waited for.
        events = [("s", 10), ("t", 0.3), ("d", 10), ("c", 100), ("s", 4096), ("t", 0.6), ("d", 4096)]
        for _ in range(20):
            events += [("c", 20), ("s", 4096), ("t", 0.06), ("d", 4096)]
        self.assertEqual(replay(events), 2)

    def test_the_last_replies_after_a_stream_count_when_the_line_fell_quiet(self):
        # The last DELEs go out while earlier replies are still on their way; those arrive,
        # then nothing for most of a round trip, then the last replies: waited for, like the
        # greeting, while the earlier replies were not.
        events = [("s", 10), ("t", 0.3), ("d", 10), ("c", 50), ("s", 40), ("t", 0.1), ("c", 30),
                  ("t", 0.5), ("d", 40), ("s", 30), ("t", 0.6), ("d", 30)]
        self.assertEqual(replay(events), 2)

    def test_a_client_that_speaks_before_the_reply_arrives_did_not_wait(self):
        events = [("s", 10), ("t", 0.3), ("d", 10), ("c", 5), ("s", 5), ("t", 0.1), ("c", 5),
                  ("t", 0.5), ("d", 5)]
        # The greeting was waited for; the reply that met the client's next command on its
        # way was not.
        self.assertEqual(replay(events), 1)

if __name__ == "__main__":
    unittest.main()
