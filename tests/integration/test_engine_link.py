"""The engine's start-up, its link with a controller, and the cycle start's registry read,
driven through trawlexctl and raw link records."""

import os
import re
import socket
import subprocess
import time
import unittest

from harness import Engine, link_record, wait_until, TRAWLEXCTL

WM_ENGINE_LINK = 2024
STAMP = r"^\d{6}  "

# What a cycle request answers when the settings do not allow a cycle.
NO_CYCLE = "CYCLE_STARTED\nCYCLE_FAILURE\nCYCLE_FINISHED\n"


class EngineStartAndLink(unittest.TestCase):
    def test_runs_in_an_empty_directory_and_a_cycle_without_settings_fails_at_the_host(self):
        with Engine(make_dirs=False) as e:
            time.sleep(0.3)
            self.assertIsNone(e.proc.poll(), "engine must keep running")
            self.assertTrue(os.path.exists(e.link_socket()))
            self.assertEqual(os.stat(e.link_socket()).st_mode & 0o777, 0o600)
            r = e.ctl("cycle", "--timeout", "3")
            # No cycle runs; the controller hears that it failed and ended, and so does a script.
            self.assertEqual(r.returncode, 3, r.stderr)
            self.assertEqual(r.stdout, NO_CYCLE)
            self.assertRegex(r.stderr, "(?m)" + STAMP + " APP HIGH Failed to retrieve outgoing mail host name from registry\n")
            lines = e.log_lines()
            start = [i for i, l in enumerate(lines) if re.match(STAMP + "MAIL  MED Start cycle$", l)]
            fail = [i for i, l in enumerate(lines) if re.match(
                STAMP + " APP HIGH Failed to retrieve outgoing mail host name from registry$", l)]
            self.assertEqual(len(start), 1, lines)
            self.assertEqual(len(fail), 1, lines)
            self.assertLess(start[0], fail[0])

    def test_each_missing_value_names_itself_and_a_full_set_reads_cleanly(self):
        cases = [
            ({"outhostname": "mail.example.net"}, "Failed to retrieve outgoing mail host port from registry"),
            ({"outhostname": "mail.example.net", "outhostport": 25},
             "Failed to retrieve RAS entry from registry"),
            ({"outhostname": "x" * 260, "outhostport": 25, "rasentry": ""},
             "Failed to retrieve outgoing mail host name from registry"),   # does not fit 260 bytes
            ({"outhostname": "mail.example.net", "outhostport": 25, "rasentry": ""}, None),
        ]
        with Engine() as e:
            for values, expected in cases:
                e.write_registry(values)
                before = len(e.log_lines())
                r = e.ctl("cycle", "--timeout", "1.5")
                # A full set runs a cycle: nothing queued and no accounts, so it ends at once.
                self.assertEqual(r.stdout.splitlines(), NO_CYCLE.splitlines() if expected else
                                 ["CYCLE_STARTED", "CYCLE_CONNECTED", "CYCLE_SENDING", "CYCLE_CHECKING",
                                  "CYCLE_FINISHED"])
                new = [re.sub(STAMP, "", l) for l in e.log_lines()[before:]]
                self.assertIn("MAIL  MED Start cycle", new)
                failures = [l for l in new if "Failed to retrieve" in l]
                self.assertEqual(failures, [" APP HIGH " + expected] if expected else [], values)

    def test_start_up_removes_what_a_killed_run_left_half_done(self):
        e = Engine()
        try:
            half = [os.path.join(e.work, "20261207101500200.rfc822"),
                    os.path.join(e.work, "20261207101500200.rfc822.route"),
                    os.path.join(e.work, "outgoing", "20261207101500300.rfc822")]
            pair = [os.path.join(e.work, "outgoing", "20261207101500400.rfc822"),
                    os.path.join(e.work, "outgoing", "20261207101500400.rfc822.route")]
            for p in half + pair:
                with open(p, "w") as f:
                    f.write("x")
            e.start()
            self.assertEqual([p for p in half if os.path.exists(p)], [])
            self.assertEqual([p for p in pair if not os.path.exists(p)], [])
            self.assertIn("MAIL  MED Removed leftover of an unfinished run : outgoing/20261207101500300.rfc822",
                          e.log_texts())
        finally:
            e.stop()

    def test_shutdown_ends_the_engine_with_status_zero(self):
        e = Engine().start()
        try:
            r = e.ctl("shutdown", "--timeout", "10")
            self.assertEqual(r.returncode, 0, r.stderr)
            self.assertEqual(e.proc.wait(timeout=10), 0)
            self.assertFalse(os.path.exists(e.link_socket()))
            r = e.ctl("cycle")
            self.assertEqual(r.returncode, 1)
            self.assertIn("no engine found", r.stderr)
        finally:
            e.stop()

    def test_null_controller_is_reported_and_the_engine_goes_on(self):
        with Engine() as e:
            self.assertTrue(e.post_raw(WM_ENGINE_LINK, 1, 0))   # LINK_REGISTER, lParam 0
            self.assertTrue(wait_until(lambda: "TRAWLEX: NULL controller" in e.stderr()))
            e.post_raw(WM_ENGINE_LINK, 2, 0)                     # LINK_START_CYCLE, lParam 0
            self.assertTrue(wait_until(lambda: e.stderr().count("TRAWLEX: NULL controller") == 2))
            self.assertTrue(wait_until(lambda: "MAIL  MED Start cycle" in e.log_texts()))
            self.assertIsNone(e.proc.poll())
            # A controller registered afterwards hears the engine again.
            r = e.ctl("cycle", "--timeout", "1")
            self.assertEqual(r.stdout, NO_CYCLE)

    def test_malformed_records_and_unknown_codes_do_not_hurt_the_engine(self):
        with Engine() as e:
            self.assertFalse(e.post_raw(0, 0, 0, raw=b"\x00" * 64))            # bad magic: dropped
            self.assertFalse(e.post_raw(0, 0, 0, raw=link_record(1, 0x4A, 0, 0, flags=4, payload=b"x")))
            self.assertFalse(e.post_raw(0, 0, 0, raw=link_record(1, 1, 0, 0, flags=1, payload=b"\x05\x00../..")))
            e.post_raw(WM_ENGINE_LINK, 99, 0)                                 # ignored code
            e.post_raw(1034, 7, 0)                                            # WM_NEW_OUTGOING, wrong wParam
            time.sleep(0.2)
            self.assertIsNone(e.proc.poll())
            r = e.ctl("cycle", "--timeout", "1")
            self.assertEqual(r.stdout, NO_CYCLE)

    def test_a_peer_can_only_post_link_messages_and_never_names_an_engine_window(self):
        with Engine() as e:
            # Cycle notices carrying a path, and the window's end: each refused, connection kept.
            for msg, wparam, lparam in ((1024, 22, 0x4141414141), (1024, 13, 8), (2, 0, 0)):
                self.assertTrue(e.post_raw(msg, wparam, lparam))
            self.assertTrue(wait_until(lambda: len([l for l in e.log_texts()
                                                    if "Link record refused" in l]) == 3))
            self.assertIn(" APP HIGH Link record refused : post of message 1024 from a peer dropped",
                          e.log_texts())
            self.assertIsNone(e.proc.poll())
            self.assertTrue(os.path.exists(e.link_socket()))
            # The number of the engine's first window (its control window) given as the
            # controller arrives as 0.
            e.post_raw(WM_ENGINE_LINK, 1, 0x10000)
            self.assertTrue(wait_until(lambda: e.stderr().count("TRAWLEX: NULL controller") == 1))
            # So does a reference to the engine's own window.
            ref = b"APPCLASS.Trawlex"
            e.post_raw(0, 0, 0, raw=link_record(1, WM_ENGINE_LINK, 1, 0, flags=2,
                                                payload=len(ref).to_bytes(2, "little") + ref))
            self.assertTrue(wait_until(lambda: e.stderr().count("TRAWLEX: NULL controller") == 2))
            r = e.ctl("cycle", "--timeout", "1")
            self.assertEqual(r.stdout, NO_CYCLE)

    def test_a_second_engine_of_the_same_user_refuses_to_start(self):
        with Engine() as e:
            second = subprocess.run([os.path.join(os.path.dirname(TRAWLEXCTL), "trawlex")], cwd=e.work,
                                    env=e.env, capture_output=True, text=True, timeout=10)
            self.assertEqual(second.returncode, 1)
            self.assertIn("already running", second.stderr)
            self.assertIsNone(e.proc.poll())



if __name__ == "__main__":
    unittest.main()
