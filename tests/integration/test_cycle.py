"""Whole cycles through the engine: trawlexctl (or a stand-in front end) asks for a cycle, the
engine dials through the stand-in nmcli when an entry is configured, delivers its queue to a
real SMTP server (aiosmtpd), checks a real Dovecot, hangs up, and reports each of these steps in the order they happen."""

import os
import re
import socket
import sys
import threading
import time
import unittest

from controller import Controller, LINK_SHUTDOWN, LINK_START_CYCLE
from cycle_world import CycleWorld
from harness import wait_until
from peers.dovecot import PrivateDovecot, available as dovecot_available

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "peers"))
import smtp_provider  # noqa: E402
from smtp_provider import SmtpProvider  # noqa: E402

EMPTY_CYCLE = ["CYCLE_STARTED", "CYCLE_CONNECTED", "CYCLE_SENDING", "CYCLE_CHECKING", "CYCLE_FINISHED"]
DIAL_FAILED = ["CYCLE_STARTED", "CYCLE_DIAL_FAILED", "CYCLE_FAILURE", "CYCLE_FINISHED"]
MESSAGE = ("<ann@example.org>", ["<bob@example.net>"], b"Subject: out\r\n\r\n.leading dot\r\nbody\r\n")


class SilentServer:
    """Accepts connections and never says a word."""

    def __init__(self):
        self.listener = socket.socket()
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(8)
        self.port = self.listener.getsockname()[1]
        self.held = []
        threading.Thread(target=self._run, daemon=True).start()

    def _run(self):
        while True:
            try:
                self.held.append(self.listener.accept()[0])
            except OSError:
                return

    def close(self):
        self.listener.close()
        for c in self.held:
            c.close()


def unused_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class DialUp(unittest.TestCase):
    """An empty queue and no accounts: only the dial-up steps differ."""

    def world(self, nmcli=True):
        w = CycleWorld(nmcli=nmcli).start()
        self.addCleanup(w.close)
        w.configure(unused_port(), rasentry="MyISP")
        return w

    def test_a_dialled_line_adds_nothing_to_the_messages_and_is_hung_up_at_the_end(self):
        w = self.world()
        w.nmcli(entries="MyISP\nWired\n")
        status, lines = w.cycle()
        self.assertEqual((status, lines), (0, EMPTY_CYCLE))
        calls = w.nmcli_calls()
        up = [i for i, c in enumerate(calls) if "connection up id MyISP" in c]
        down = [i for i, c in enumerate(calls) if "connection down id MyISP" in c]
        self.assertEqual(len(up), 1, calls)
        self.assertEqual(len(down), 1, calls)
        self.assertLess(up[0], down[0])
        with open(os.path.join(w.scenario, "active")) as f:
            self.assertNotIn("MyISP", f.read())

    def test_a_line_already_up_is_neither_dialled_nor_hung_up(self):
        w = self.world()
        w.nmcli(entries="myisp\n", active="myisp:activated\n")
        self.assertEqual(w.cycle(), (0, EMPTY_CYCLE))
        self.assertEqual([c for c in w.nmcli_calls() if " up " in c or " down " in c], [])

    def test_a_failed_dial_ends_the_cycle_at_once(self):
        w = self.world()
        w.nmcli(entries="MyISP\n", up_exit="4")
        self.assertEqual(w.cycle(), (3, DIAL_FAILED))
        self.assertIn(" NET HIGH Dial-Up Networking failed to establish connection", w.engine.log_texts())

    def test_without_nmcli_the_dial_fails_with_a_reason(self):
        w = self.world(nmcli=False)
        self.assertEqual(w.cycle(), (3, DIAL_FAILED))
        self.assertIn(" NET HIGH Dial-up networking is not available (no nmcli on PATH)", w.engine.log_texts())

    def test_two_requests_during_a_cycle_give_exactly_one_more_send_and_check(self):
        w = self.world()
        w.nmcli(entries="MyISP\n", up_sleep="1")
        ctl = Controller(w.engine)
        self.addCleanup(ctl.close)
        ctl.post(LINK_START_CYCLE)
        self.assertTrue(ctl.wait_for("CYCLE_STARTED"))
        ctl.post(LINK_START_CYCLE)
        ctl.post(LINK_START_CYCLE)
        self.assertTrue(ctl.wait_for("CYCLE_FINISHED"))
        time.sleep(0.3)
        self.assertEqual(ctl.lines(), ["CYCLE_STARTED", "CYCLE_CONNECTED", "CYCLE_SENDING", "CYCLE_CHECKING",
                                       "CYCLE_CONNECTED", "CYCLE_SENDING", "CYCLE_CHECKING", "CYCLE_FINISHED"])
        self.assertEqual(len([c for c in w.nmcli_calls() if "connection down" in c]), 1)


class SilentProviders(unittest.TestCase):
    """Providers that accept the connection and never answer: the cycle still finishes."""

    def setUp(self):
        self.silent = SilentServer()
        self.addCleanup(self.silent.close)
        self.w = CycleWorld(timeout_ms=2000).start()
        self.addCleanup(self.w.close)

    def test_a_silent_smtp_host_fails_the_send_and_keeps_the_item(self):
        self.w.configure(self.silent.port)
        self.w.queue([MESSAGE])
        status, lines = self.w.cycle()
        self.assertEqual((status, lines), (3, ["CYCLE_STARTED", "CYCLE_CONNECTED", "CYCLE_SENDING", "CYCLE_FAILURE",
                                               "CYCLE_CHECKING", "CYCLE_FINISHED"]))
        self.assertEqual(len(self.w.queued_items()), 1)

    def test_a_rerun_asked_for_during_the_last_check_and_mail_queued_meanwhile(self):
        self.w.configure(unused_port(), accounts=[("home", self.silent.port, "ann", "ann-secret")])
        ctl = Controller(self.w.engine)
        self.addCleanup(ctl.close)
        ctl.post(LINK_START_CYCLE)
        self.assertTrue(ctl.wait_for("CYCLE_CHECKING"))
        ctl.post(LINK_START_CYCLE)
        self.w.queue([MESSAGE])   # told at once, while the check waits for the silent server
        self.assertTrue(ctl.wait_for("NEW_OUTGOING_MAIL", 5))
        self.assertNotIn("CYCLE_FAILURE", ctl.lines())
        self.assertTrue(ctl.wait_for("CYCLE_FINISHED"))
        time.sleep(0.3)
        lines = [l for l in ctl.lines() if l != "NEW_OUTGOING_MAIL"]
        self.assertEqual(lines, ["CYCLE_STARTED", "CYCLE_CONNECTED", "CYCLE_SENDING", "CYCLE_CHECKING",
                                 "CYCLE_FAILURE", "CYCLE_CONNECTED", "CYCLE_SENDING", "CYCLE_FAILURE",
                                 "CYCLE_CHECKING", "CYCLE_FAILURE", "CYCLE_FINISHED"])
        self.assertIn("MAIL HIGH Failed to check account : home", self.w.engine.log_texts())
        self.assertFalse([l for l in self.w.engine.log_lines() if "ann-secret" in l])

    def test_shutdown_during_a_cycle_hangs_up_and_says_no_more(self):
        self.w.configure(unused_port(), rasentry="MyISP", accounts=[("home", self.silent.port, "ann", "pw")])
        self.w.nmcli(entries="MyISP\n")
        ctl = Controller(self.w.engine)
        self.addCleanup(ctl.close)
        ctl.post(LINK_START_CYCLE)
        self.assertTrue(ctl.wait_for("CYCLE_CHECKING"))
        asked = time.monotonic()
        ctl.post(LINK_SHUTDOWN)
        self.assertEqual(self.w.engine.proc.wait(timeout=15), 0)
        self.assertGreaterEqual(time.monotonic() - asked, 3.0)   # the line settles before the end
        self.assertEqual(ctl.lines(), ["CYCLE_STARTED", "CYCLE_CONNECTED", "CYCLE_SENDING", "CYCLE_CHECKING"])
        self.assertTrue([c for c in self.w.nmcli_calls() if "connection down id MyISP" in c])


@unittest.skipUnless(dovecot_available() and smtp_provider.available(), "needs dovecot-pop3d and aiosmtpd")
class WithProviders(unittest.TestCase):
    def test_one_item_out_and_one_message_in(self):
        with SmtpProvider() as provider, PrivateDovecot({"alice": "alice-pw"}) as dc, CycleWorld() as w:
            dc.deliver("alice", b"Subject: in\r\n\r\nhello\r\n")
            w.configure(provider.port, accounts=[("home", dc.port, "alice", "alice-pw")])
            w.queue([MESSAGE])
            status, lines = w.cycle()
            self.assertEqual(status, 0, lines)
            self.assertEqual(len(lines), 8, lines)
            self.assertEqual(lines[:5], ["CYCLE_STARTED", "CYCLE_CONNECTED", "CYCLE_SENDING", "MAILBOX_CHANGED",
                                         "CYCLE_CHECKING"])
            self.assertRegex(lines[5], r"^COPYDATA_NEW_ITEM accounts/alice@127\.0\.0\.1/.+\.rfc822$")
            self.assertEqual(lines[6:], ["CYCLE_NEW_ITEM", "CYCLE_FINISHED"])
            self.assertTrue(os.path.exists(os.path.join(w.engine.work, lines[5].split(" ", 1)[1])))
            self.assertEqual([m["rcpt_tos"] for m in provider.messages()], [["bob@example.net"]])
            self.assertEqual(w.queued_items(), [])
            self.assertEqual(list(w.items("alice@127.0.0.1").values()), [b"Subject: in\r\n\r\nhello\r\n"])
            self.assertEqual(dc.messages("alice"), {})
            # Nothing left on either side: the queue is empty and nothing is new.
            self.assertEqual(w.cycle(), (0, EMPTY_CYCLE))
            self.assertEqual(w.nmcli_calls(), [])
            self.assertFalse([l for l in w.engine.log_lines() if "alice-pw" in l])

    def test_a_refused_recipient_is_reported_while_its_item_still_exists(self):
        refusal = {"nobody@example.net": "550 5.1.1 no such user"}
        with SmtpProvider(refuse_rcpt=refusal) as provider, CycleWorld() as w:
            w.configure(provider.port)
            w.queue([("<ann@example.org>", ["<nobody@example.net>"], b"Subject: x\r\n\r\nx\r\n")])
            seen = {}
            ctl = Controller(w.engine, on_record=lambda line: seen.setdefault(
                line, os.path.exists(os.path.join(w.engine.work, line.split(" ", 1)[1]))))
            self.addCleanup(ctl.close)
            ctl.post(LINK_START_CYCLE)
            self.assertTrue(ctl.wait_for("CYCLE_FINISHED"))
            refused = [l for l in ctl.lines() if l.startswith("COPYDATA_DELIVERY_FAILURE ")]
            self.assertEqual(len(refused), 1, ctl.lines())
            self.assertRegex(refused[0], r"^COPYDATA_DELIVERY_FAILURE outgoing/+\d{17}\.rfc822$")
            self.assertTrue(seen[refused[0]], "the item was gone before the front end heard of it")
            self.assertIn("CYCLE_FAILURE", ctl.lines())
            self.assertEqual(w.queued_items(), [])


if __name__ == "__main__":
    unittest.main()
