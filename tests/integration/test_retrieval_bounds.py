"""Whole cycles through the engine against scripted hostile providers and local clients: one
bad message never blocks an account, a listing cannot take the machine's memory, a stalled
provider is given up after one time-out, and a peer that trickles is given up at the
connection's time limit, with nothing lost on the way."""

import os
import smtplib
import socket
import sys
import time
import unittest

from cycle_world import CycleWorld
from pop3_world import Mailbox, Pop3, write_accounts

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "peers"))
from scripted_pop3 import ScriptedPop3  # noqa: E402

BOX = "ann@127.0.0.1"
HIGH_LINE_LIMIT = "Connection time limit reached"
CYCLE_FAILED = 3   # trawlexctl's exit status for a cycle that reported a failure


def unused_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def message(n, body=b"small body"):
    return b"Subject: message %d\r\n\r\n%s\r\n" % (n, body)


def status_kb(pid, field):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    raise KeyError(field)


class Retrieval(unittest.TestCase):
    def world(self, timeout_ms=3000, limit_s=None):
        w = CycleWorld(timeout_ms=timeout_ms)
        if limit_s:
            w.engine.env["TRAWLEX_CONNECTION_LIMIT_S"] = str(limit_s)
        w.start()
        self.addCleanup(w.close)
        return w

    def provider(self, messages=()):
        p = ScriptedPop3(messages)
        self.addCleanup(p.close)
        return p

    def configure(self, w, provider):
        w.configure(unused_port(), accounts=[("home", provider.port, "ann", "ann-pw")])

    def stored(self, w):
        return sorted(v for n, v in w.items(BOX).items())

    def high_lines(self, w, text):
        return [l for l in w.engine.log_texts() if " HIGH " in l and text in l]


class OneBadMessage(Retrieval):
    def test_a_long_line_passes_and_a_refused_message_waits_for_the_next_check(self):
        long_line = message(2, b"A" * (2 * 1024 * 1024))
        sent = [("m1", message(1)), ("m2", long_line), ("m3", message(3)), ("m4", message(4)), ("m5", message(5))]
        provider = self.provider(sent)
        provider.refused = {"m4"}
        w = self.world()
        self.configure(w, provider)

        status, lines = w.cycle(timeout=60)
        self.assertEqual(status, CYCLE_FAILED, lines)
        self.assertEqual(len([l for l in lines if l.startswith("COPYDATA_NEW_ITEM ")]), 4, lines)
        self.assertIn("CYCLE_FAILURE", lines)
        self.assertEqual(self.stored(w), sorted([message(1), long_line, message(3), message(5)]))
        self.assertEqual(provider.identifiers(), ["m4"])
        self.assertTrue(self.high_lines(w, "home : m4 : RETR refused: -ERR cannot read this one"),
                        w.engine.log_texts())
        self.assertIn("MAIL HIGH Failed to check account : home", w.engine.log_texts())

        provider.refused = set()
        status, lines = w.cycle(timeout=60)
        self.assertEqual(status, 0, lines)
        self.assertNotIn("CYCLE_FAILURE", lines)
        self.assertEqual(len(self.stored(w)), 5)
        self.assertIn(message(4), self.stored(w))
        self.assertEqual(provider.identifiers(), [])


@unittest.skipIf(os.environ.get("TRAWLEX_SANITIZED") == "1",
                 "resident memory says nothing under the sanitizer's allocator, which keeps what is freed")
class LongListings(Retrieval):
    """The engine stays small whatever a provider lists, and gives back what it took."""

    def measured_cycle(self, listing):
        provider = self.provider()
        provider.listing = listing
        w = self.world(timeout_ms=10000)
        self.configure(w, provider)
        pid = w.engine.proc.pid
        before = status_kb(pid, "VmRSS")
        status, lines = w.cycle(timeout=120)
        self.assertEqual(status, CYCLE_FAILED, lines)
        self.assertIn("CYCLE_FAILURE", lines)
        self.assertTrue(self.high_lines(w, "UIDL listing too long"), w.engine.log_texts())
        peak, after = status_kb(pid, "VmHWM"), status_kb(pid, "VmRSS")
        print("listing: resident %d kB before, %d kB at the peak, %d kB after" % (before, peak, after))
        self.assertLess(peak, 300 * 1024)
        self.assertLess(after - before, 20 * 1024)
        self.assertEqual(w.items(BOX), {})

    def test_five_million_short_entries(self):
        def listing():
            for start in range(1, 5_000_001, 100_000):
                yield b"".join(b"%d a\r\n" % n for n in range(start, start + 100_000))
        self.measured_cycle(listing)

    def test_two_hundred_megabytes_of_lines_without_a_blank(self):
        line = b"x" * 998 + b"\r\n"
        chunk = line * 1000

        def listing():
            for _ in range(200):
                yield chunk
        self.measured_cycle(listing)


class SlowProviders(Retrieval):
    def timed_failing_cycle(self, w, provider):
        """One cycle against the provider that must fail: (its lines, the seconds it took)."""
        self.configure(w, provider)
        start = time.monotonic()
        status, lines = w.cycle(timeout=60)
        elapsed = time.monotonic() - start
        self.assertEqual(status, CYCLE_FAILED, lines)
        self.assertIn("CYCLE_FAILURE", lines)
        return lines, elapsed

    def test_a_stall_is_given_up_after_one_time_out(self):
        for phase in ("listing", "message"):
            with self.subTest(phase):
                provider = self.provider([("m1", message(1, b"line\r\nline")), ("m2", message(2))])
                provider.stall = phase   # after the first line of the listing, or of m1
                w = self.world(timeout_ms=3000)
                lines, elapsed = self.timed_failing_cycle(w, provider)
                self.assertGreaterEqual(elapsed, 3.0)
                self.assertLess(elapsed, 5.5, "waited for the stalled provider more than once")
                self.assertEqual(provider.identifiers(), ["m1", "m2"])
                self.assertEqual(w.items(BOX), {})

    def test_a_trickle_is_given_up_at_the_connection_limit_and_nothing_is_lost(self):
        body = b"\r\n".join(b"line %d" % i for i in range(100))
        provider = self.provider([("m1", message(1)), ("m2", message(2, body))])
        provider.trickle = ("message", 0.5)   # never silent for a whole time-out
        w = self.world(timeout_ms=2000, limit_s=4)
        lines, elapsed = self.timed_failing_cycle(w, provider)
        self.assertLess(elapsed, 15)
        self.assertTrue(self.high_lines(w, HIGH_LINE_LIMIT + " (4 s), closing connection to 127.0.0.1:%d"
                                        % provider.port), w.engine.log_texts())
        self.assertEqual(self.stored(w), [message(1)])

        # The next check, at full speed, brings the rest and no second copy.
        provider.trickle = None
        status, lines = w.cycle(timeout=60)
        self.assertEqual(status, 0, lines)
        self.assertNotIn("CYCLE_FAILURE", lines)
        self.assertEqual(self.stored(w), sorted([message(1), message(2, body)]))
        self.assertEqual(provider.identifiers(), [])


class TricklingLocalClients(Retrieval):
    """The local servers end a session at the connection's time limit too."""

    def trickle(self, sock, data, seconds=15):
        """Sends one byte every 0.5 s until the engine closes the connection; answers whether it did."""
        deadline = time.monotonic() + seconds
        sock.settimeout(0.5)
        for b in data:
            if time.monotonic() > deadline:
                return False
            try:
                sock.sendall(bytes([b]))
                if sock.recv(4096) == b"":
                    return True
            except socket.timeout:
                continue
            except OSError:
                return True
        return False

    def test_an_smtp_client_sending_a_byte_at_a_time_is_cut_off_and_nothing_is_queued(self):
        w = self.world(timeout_ms=2000, limit_s=3)
        w.configure(unused_port())
        client = smtplib.SMTP("127.0.0.1", w.engine.smtp_port, timeout=10)
        self.addCleanup(client.close)
        client.helo("client.example")
        client.mail("<ann@example.org>")
        client.rcpt("<bob@example.net>")
        self.assertEqual(client.docmd("DATA")[0], 354)
        self.assertTrue(self.trickle(client.sock, b"Subject: slow\r\n\r\n" + b"x" * 100))
        self.assertTrue(self.high_lines(w, HIGH_LINE_LIMIT + " (3 s), closing local session from port %d"
                                        % client.sock.getsockname()[1]))
        self.assertEqual(w.queued_items(), [])

    def test_a_pop3_client_sending_a_byte_at_a_time_is_cut_off(self):
        w = self.world(timeout_ms=2000, limit_s=3)
        box = Mailbox(w.engine, "home", "pw", "ann")
        write_accounts(w.engine, [box])
        name = box.add(b"u1", message(1))
        pop = Pop3(w.engine.pop3_port)
        self.addCleanup(pop.close)
        pop.login("home", "pw")
        port = pop.sock.getsockname()[1]
        self.assertTrue(self.trickle(pop.sock, b"NOOP NOOP NOOP NOOP NOOP NOOP NOOP NOOP"))
        self.assertTrue(self.high_lines(w, HIGH_LINE_LIMIT + " (3 s), closing local session from port %d" % port))
        self.assertEqual(box.names(), [name])


if __name__ == "__main__":
    unittest.main()
