"""Password guessing at the local POP3 server: every wrong password is answered only after 2 s,
all connections together get at most ten wrong passwords a second through, the right password
still works at once afterwards, and the log names each failure without any password."""

import re
import threading
import time
import unittest

from harness import Engine
from pop3_world import DOTS, Mailbox, Pop3, write_accounts

AUTH_FAILED = "-ERR Authentication failed"
FAILURE_LINE = re.compile(r"^MAIL  MED POP3 log-in failed : title 'home', peer port \d+$")


class Guessing(unittest.TestCase):
    def setUp(self):
        self.engine = Engine().start()
        self.addCleanup(self.engine.stop)
        self.box = Mailbox(self.engine, "home", "right-pw", "ann")
        write_accounts(self.engine, [self.box])
        self.box.add(b"u1", DOTS)

    def guess(self, p, password):
        self.assertEqual(p.cmd("USER home"), "+OK USER accepted")
        return p.cmd("PASS " + password)

    def assert_right_password_works_at_once(self):
        p = Pop3(self.engine.pop3_port)
        p.line()
        began = time.monotonic()
        self.assertEqual(self.guess(p, "right-pw"), "+OK Maildrop accessed")
        # Well under the 2 s that a wrong one waits.
        self.assertLess(time.monotonic() - began, 1.5)
        self.assertEqual(p.cmd("QUIT"), "+OK connection closing")
        p.close()

    def failures_logged(self):
        return [l for l in self.engine.log_texts() if FAILURE_LINE.match(l)]

    def assert_no_password_logged(self):
        log = "\n".join(self.engine.log_lines())
        self.assertNotIn("wrong-", log)
        self.assertNotIn("right-pw", log)

    def test_twenty_wrong_passwords_on_one_connection_take_forty_seconds(self):
        p = Pop3(self.engine.pop3_port)
        p.line()
        began = time.monotonic()
        for i in range(20):
            self.assertEqual(self.guess(p, "wrong-%d" % i), AUTH_FAILED)
        self.assertGreaterEqual(time.monotonic() - began, 40.0)
        p.close()
        self.assert_right_password_works_at_once()
        self.assertEqual(len(self.failures_logged()), 20)
        self.assert_no_password_logged()

    def test_a_hundred_connections_guessing_at_once_get_ten_failures_a_second(self):
        connections = [Pop3(self.engine.pop3_port) for _ in range(100)]
        for p in connections:
            p.sock.settimeout(60)
            p.line()
        answered = []
        lock = threading.Lock()

        def guess(p, i):
            reply = self.guess(p, "wrong-%d" % i)
            with lock:
                answered.append((time.monotonic(), reply))

        began = time.monotonic()
        threads = [threading.Thread(target=guess, args=(p, i)) for i, p in enumerate(connections)]
        for t in threads:
            t.start()
        for t in threads:
            t.join(90)
        self.assertEqual(len(answered), 100)
        self.assertTrue(all(reply == AUTH_FAILED for _, reply in answered))
        # One check every 0.1 s at most, each answered 2 s after it: the hundredth failure
        # cannot come before 9.9 s + 2 s.
        last = max(at for at, _ in answered)
        self.assertGreaterEqual(last - began, 11.9)
        for p in connections:
            p.close()
        self.assert_right_password_works_at_once()
        self.assertEqual(len(self.failures_logged()), 100)
        self.assert_no_password_logged()


if __name__ == "__main__":
    unittest.main()
