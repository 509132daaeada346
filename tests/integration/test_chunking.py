"""CHUNKING against a real provider: a private Postfix smtpd, which offers CHUNKING and
PIPELINING, must receive every queued item byte for byte by BDAT (never DATA), a 20 MB one
included without the engine's memory growing with it; a 5xx to the BDAT refuses its item with
the provider's reply, a 4xx keeps it for the next cycle."""

import os
import re
import sys
import unittest

from cycle_world import CycleWorld

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "peers"))
import postfix_provider  # noqa: E402
from postfix_provider import PostfixProvider  # noqa: E402


def unstuffed(item):
    """The message an item stands for: a leading dot the sender doubled taken off again."""
    return re.sub(rb"(?m)^\.", b"", item)


def without_provider_header(delivered):
    """The delivered message less the provider's own Received line, with CRLF line ends again."""
    lines = delivered.split(b"\n")
    assert lines[0].startswith(b"Received: "), lines[0]
    i = 1
    while lines[i].startswith(b"\t") or lines[i].startswith(b" "):
        i += 1
    return b"\r\n".join(lines[i:])


def peak_memory_kb(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    return 0


@unittest.skipUnless(postfix_provider.available(), "postfix is not installed (or not root)")
class Chunking(unittest.TestCase):
    def setUp(self):
        self.provider = PostfixProvider().start()
        self.addCleanup(self.provider.close)
        self.world = CycleWorld().start()
        self.addCleanup(self.world.close)
        self.world.configure(self.provider.port)

    def queued_texts(self):
        out = {}
        box = os.path.join(self.world.engine.work, "outgoing")
        for name in self.world.queued_items():
            with open(os.path.join(box, name), "rb") as f:
                out[name] = f.read()
        return out

    def test_every_item_arrives_byte_for_byte_by_bdat_with_flat_memory(self):
        big_line = b"x" * 10000
        twenty_mb = b"".join(b"%07d ...dots and \xe9\xe8 8-bit text ........................\r\n" % i
                             for i in range(20 * 1024 * 1024 // 64))
        self.world.queue([
            ("<ann@example.org>", ["<bob@example.net>"],
             b"Subject: dots\r\n\r\n.\r\n..two dots\r\n.leading\r\nend\r\n"),
            ("<ann@example.org>", ["<cy@example.net>", "<dee@example.net>"],
             b"Subject: 8-bit and long\r\n\r\n" + bytes(range(0x80, 0x100)) + b"\r\n" + big_line + b"\r\n"),
            ("<ann@example.org>", ["<eve@example.net>"], b"Subject: big\r\n\r\n" + twenty_mb),
        ])
        queued = self.queued_texts()
        self.assertEqual(len(queued), 3)
        before = peak_memory_kb(self.world.engine.proc.pid)
        self.world.cycle(timeout=120)
        after = peak_memory_kb(self.world.engine.proc.pid)
        self.assertEqual(self.world.queued_items(), [])
        delivered = sorted(without_provider_header(m) for m in self.provider.messages(recipients=4))
        self.assertEqual(len(delivered), 3)
        self.assertEqual(delivered, sorted(unstuffed(t) for t in queued.values()))
        log = self.provider.log()
        sessions = re.findall(r"disconnect from .* ehlo=\S+ (.*) commands=", log)
        self.assertTrue(sessions, log[-2000:])
        self.assertIn("bdat=3", sessions[-1])
        self.assertNotIn("data=", sessions[-1])
        # The 20 MB item went through in blocks: the engine's peak grew far less than its size.
        self.assertLess(after - before, 8 * 1024, (before, after))

    def test_a_refusal_at_the_bdat_removes_the_item_and_a_deferral_keeps_it(self):
        mail = [("<ann@example.org>", ["<bob@example.net>"], b"Subject: reject-me\r\n\r\nx\r\n"),
                ("<ann@example.org>", ["<bob@example.net>"], b"Subject: fine\r\n\r\nz\r\n")]
        # The same refusal as a 4xx: the item stays.
        with PostfixProvider(soft_bounce=True) as deferring:
            self.world.configure(deferring.port)
            self.world.queue(mail)
            self.world.cycle()
            remaining = self.queued_texts()
            self.assertEqual(len(remaining), 1)
            self.assertIn(b"Subject: reject-me", list(remaining.values())[0])
            self.assertEqual(len(deferring.messages(1)), 1)
        log = "\n".join(self.world.engine.log_texts())
        self.assertIn("MAIL HIGH DATA TRANS failed : 4", log)
        self.assertNotIn("Mail item refused", log)
        # A 5xx: refused with the provider's reply, and removed.
        self.world.configure(self.provider.port)
        self.world.cycle()
        self.assertEqual(self.queued_texts(), {})
        self.assertEqual(self.provider.messages(), [])
        log = "\n".join(self.world.engine.log_texts())
        self.assertRegex(log, r"MAIL HIGH Mail item refused : outgoing/+\d{17}\.rfc822 : 550 5\.7\.1 .*content check")

if __name__ == "__main__":
    unittest.main()
