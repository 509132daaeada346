"""A provider that refuses a message's text: a 5xx to DATA or to the final "." removes the item
and tells the front end why (the delivery-failure record carries the reply after the path, and
the outgoing host that refused it after the reply); a
4xx, or a reply there that accepts nothing, keeps it for the next cycle."""

import os
import sys
import time
import unittest

from controller import Controller, LINK_START_CYCLE
from cycle_world import CycleWorld

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "peers"))
import smtp_provider  # noqa: E402
from smtp_provider import SmtpProvider  # noqa: E402

MESSAGE = ("<ann@example.org>", ["<bob@example.net>"], b"Subject: out\r\n\r\nbody\r\n")


@unittest.skipUnless(smtp_provider.available(), "aiosmtpd is not installed")
class TextRefusals(unittest.TestCase):
    def cycle_against(self, **refusals):
        """Queues one message, runs one cycle against a provider scripted with refusals;
        answers (link lines, data records, queue afterwards, log texts)."""
        with SmtpProvider(**refusals) as provider, CycleWorld() as w:
            w.configure(provider.port)
            w.queue([MESSAGE])
            self.assertEqual(len(w.queued_items()), 1)
            ctl = Controller(w.engine)
            try:
                ctl.post(LINK_START_CYCLE)
                self.assertTrue(ctl.wait_for("CYCLE_FINISHED", 30))
                time.sleep(0.2)
                return ctl.lines(), list(ctl.payloads), w.queued_items(), w.engine.log_texts(), provider.port
            finally:
                ctl.close()

    def test_a_permanent_refusal_of_the_text_removes_the_item_and_says_why(self):
        for refusal in ({"refuse_data_command": "554 5.7.1 refused as spam"},
                        {"refuse_data": "552 5.3.4 message too big"}):
            with self.subTest(refusal):
                reply = list(refusal.values())[0]
                lines, records, queue, log, port = self.cycle_against(**refusal)
                failures = [p for name, p in records if name == "COPYDATA_DELIVERY_FAILURE"]
                self.assertEqual(len(failures), 1, lines)
                path, rest = failures[0].split(b"\0", 1)
                self.assertRegex(path.decode(), r"^outgoing/+\d{17}\.rfc822$")
                # After the reply, the outgoing host that refused it.
                self.assertEqual(rest, reply.encode() + b"\r\n\x00127.0.0.1:%d\x00" % port)
                self.assertEqual(queue, [])
                self.assertIn("MAIL HIGH Mail item refused : %s : %s" % (path.decode(), reply), log)

    def test_a_refusal_for_now_or_a_reply_that_accepts_nothing_keeps_the_item(self):
        for reply in ("451 4.3.0 try again later", "354 go on"):
            with self.subTest(reply):
                lines, records, queue, _, _ = self.cycle_against(refuse_data=reply)
                self.assertEqual(records, [])
                self.assertEqual(len(queue), 1)
                self.assertNotIn("MAILBOX_CHANGED", lines)


if __name__ == "__main__":
    unittest.main()
