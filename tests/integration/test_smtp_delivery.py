"""Outgoing mail end to end: a real client (smtplib) queues messages through a running
engine's local SMTP server; the send driver delivers the queue to a real SMTP server standing
for the provider (aiosmtpd); the provider must hold each message byte for byte with its
envelope, and the queue must keep exactly what could not be delivered yet."""

import os
import re
import smtplib
import subprocess
import sys
import unittest

from harness import BIN_DIR, Engine, read_route

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "peers"))
import smtp_provider  # noqa: E402
from smtp_provider import SmtpProvider  # noqa: E402

SEND_QUEUE = os.path.join(BIN_DIR, "send_queue")

MESSAGES = [
    ("<ann@example.org>", ["<bob@example.net>", "<cy@example.net>"],
     b"Subject: dots\r\n\r\n.\r\n..two dots\r\n.leading\r\nend\r\n"),
    ("<ann@example.org>", ["<dee@example.net>"],
     b"Subject: 8-bit\r\nContent-Type: text/plain; charset=latin-1\r\n\r\n" +
     bytes(range(0x80, 0x100)) + b"\r\nNUL-free but \x01\x7f odd\r\n"),
    ("<eve@example.org>", ["<fay@example.net>"],
     b"Subject: long line\r\n\r\n" + b"x" * 5000 + b"\r\nafter\r\n"),
]


def unstuffed(item):
    """The message as a server keeps it: a leading dot the sender doubled taken off again."""
    return re.sub(rb"(?m)^\.", b"", item)


def bare(address):
    return address[1:-1] if address.startswith("<") and address.endswith(">") else address


@unittest.skipUnless(smtp_provider.available(), "aiosmtpd is not installed")
class Delivery(unittest.TestCase):
    PIPELINING = False   # whether the provider offers PIPELINING

    def setUp(self):
        self.engine = Engine().start()
        self.addCleanup(self.engine.stop)
        self.outgoing = os.path.join(self.engine.work, "outgoing")

    def queue_messages(self, messages):
        with smtplib.SMTP("127.0.0.1", self.engine.smtp_port, timeout=10) as client:
            client.helo("client.example")
            for sender, recipients, text in messages:
                self.assertEqual(client.sendmail(sender, recipients, text), {})

    def queued(self):
        """{item name: (bytes, addresses)} of the queue."""
        out = {}
        for name in os.listdir(self.outgoing):
            if name.endswith(".rfc822"):
                path = os.path.join(self.outgoing, name)
                with open(path, "rb") as f:
                    out[name] = (f.read(), read_route(path + ".route"))
        return out

    def send(self, port):
        run = subprocess.run([SEND_QUEUE, "outgoing/", "127.0.0.1", str(port), "40"],
                             cwd=self.engine.work, env=self.engine.env, capture_output=True,
                             timeout=60)
        self.assertEqual(run.returncode, 0, run.stderr.decode(errors="replace")[-2000:])
        return [l for l in run.stdout.decode().splitlines() if not l.startswith("seconds")]

    def test_every_queued_byte_and_address_reaches_the_provider(self):
        self.queue_messages(MESSAGES)
        before = self.queued()
        self.assertEqual(len(before), 3)
        with SmtpProvider(pipelining=self.PIPELINING) as provider:
            notices = self.send(provider.port)
            got = provider.messages()
        self.assertEqual(notices, ["itemSent"] * 3 + ["finished"])
        self.assertEqual(self.queued(), {})
        self.assertEqual(len(got), 3)
        for item, addresses in before.values():
            match = [m for m in got if m["data"] == unstuffed(item)]
            self.assertEqual(len(match), 1, item[:80])
            self.assertEqual(match[0]["mail_from"], bare(addresses[0]))
            self.assertEqual(match[0]["rcpt_tos"], [bare(a) for a in addresses[1:]])
        # The provider holds what the client wrote, after the engine's own trace line.
        for sender, recipients, text in MESSAGES:
            self.assertEqual(sum(m["data"].split(b"\r\n", 1)[1] == text for m in got), 1)
        self.assertIn("OUTGOING SENT :", "\n".join(self.engine.log_texts()))

    def test_refused_items_leave_the_queue_and_deferred_ones_stay(self):
        self.queue_messages([
            ("<ann@example.org>", ["<bob@example.net>"], b"Subject: delivered\r\n\r\nok\r\n"),
            ("<ann@example.org>", ["<bob@example.net>", "<nobody@example.net>"],
             b"Subject: refused\r\n\r\nno such user\r\n"),
            ("<grey@example.org>", ["<bob@example.net>"], b"Subject: greylisted\r\n\r\nlater\r\n"),
        ])
        with SmtpProvider(refuse_rcpt={"nobody@example.net": "550 5.1.1 no such user"},
                          refuse_mail_from={"grey@example.org": "451 4.7.1 try again later"},
                          pipelining=self.PIPELINING) as provider:
            notices = self.send(provider.port)
            got = provider.messages()
        self.assertEqual(len(got), 1)
        self.assertTrue(got[0]["data"].endswith(b"Subject: delivered\r\n\r\nok\r\n"))
        refused = [n for n in notices if n.startswith("itemRefused ")]
        self.assertEqual(len(refused), 1)
        # The refused item is shown to the owner, then counted as failed.
        self.assertEqual(notices[notices.index(refused[0]) + 1], "itemFailed")
        self.assertEqual(sorted(notices), sorted(["itemSent", "itemFailed", "itemFailed", "finished"] + refused))
        self.assertEqual(notices[-1], "finished")
        left = self.queued()
        self.assertEqual(len(left), 1)
        self.assertEqual(list(left.values())[0][1], ["<grey@example.org>", "<bob@example.net>"])
        logs = "\n".join(self.engine.log_texts())
        self.assertIn("Mail item envelope recipient NOT accepted : <nobody@example.net>", logs)
        self.assertIn("MAILFROM failed: 451 4.7.1 try again later", logs)

    def test_a_provider_that_cannot_be_reached_leaves_the_queue_alone(self):
        self.queue_messages(MESSAGES[:1])
        before = self.queued()
        provider = SmtpProvider()   # never started: nothing listens on its port
        self.assertEqual(self.send(provider.port), ["sendFailed", "finished"])
        provider.close()
        self.assertEqual(self.queued(), before)


class PipelinedDelivery(Delivery):
    """The same deliveries to a provider that takes the envelope and DATA in one write."""
    PIPELINING = True


if __name__ == "__main__":
    unittest.main()
