"""The engine as a service and trawlexctl for scripts and cron: SIGTERM and SIGINT end the
engine as LINK_SHUTDOWN does, the exit statuses of `trawlexctl cycle` (0, 1, 2, 3, 64), what
`trawlexctl status` reports, --help, --version and --data-dir, providers that cannot be
reached, and a user.reg with a typo that must not stop retrieval."""

import os
import re
import shutil
import signal
import socket
import subprocess
import tempfile
import unittest

from controller import Controller, LINK_START_CYCLE
from cycle_world import CycleWorld
from harness import BIN_DIR, TRAWLEX, TRAWLEXCTL, Engine, private_env, wait_until
from peers.dovecot import PrivateDovecot, available as dovecot_available
from test_cycle import SilentServer, unused_port

TARNWICK = os.path.join(BIN_DIR, "tarnwick")
STAMP = r"\d{6}  "


def high_lines(text):
    return [l for l in text.splitlines() if re.match(STAMP + r"[ A-Z]{4} HIGH ", l)]


class Signals(unittest.TestCase):
    def test_sigterm_during_a_cycle_destroys_it_hangs_up_and_ends_with_status_zero(self):
        silent = SilentServer()
        self.addCleanup(silent.close)
        w = CycleWorld(timeout_ms=20000).start()
        self.addCleanup(w.close)
        w.configure(unused_port(), rasentry="MyISP", accounts=[("home", silent.port, "ann", "pw")])
        w.nmcli(entries="MyISP\n")
        ctl = Controller(w.engine)
        self.addCleanup(ctl.close)
        ctl.post(LINK_START_CYCLE)
        self.assertTrue(ctl.wait_for("CYCLE_CHECKING"))
        w.engine.proc.send_signal(signal.SIGTERM)
        self.assertEqual(w.engine.proc.wait(timeout=20), 0)
        # Destroyed, not finished: no CYCLE_FINISHED, the dialled line hung up, nothing left.
        self.assertEqual(ctl.lines(), ["CYCLE_STARTED", "CYCLE_CONNECTED", "CYCLE_SENDING", "CYCLE_CHECKING"])
        self.assertTrue([c for c in w.nmcli_calls() if "connection down id MyISP" in c], w.nmcli_calls())
        self.assertIn(" APP  MED Shutting down on SIGTERM", w.engine.log_texts())
        self.assertFalse(os.path.exists(w.engine.link_socket()))
        self.assertFalse(os.path.exists(os.path.join(w.engine.run_dir, "tarnwick", "trawlex.state")))
        self.assertEqual(os.listdir(os.path.join(w.engine.work, "accounts", "holding")), [])

    def test_sigint_ends_an_idle_engine_with_status_zero(self):
        with Engine() as e:
            e.proc.send_signal(signal.SIGINT)
            self.assertEqual(e.proc.wait(timeout=10), 0)
            self.assertIn(" APP  MED Shutting down on SIGINT", e.log_texts())
            r = e.ctl("look")
            self.assertEqual(r.returncode, 1)


class CycleExitStatus(unittest.TestCase):
    def world(self, **kw):
        w = CycleWorld(**kw).start()
        self.addCleanup(w.close)
        return w

    def test_0_without_a_failure_and_3_with_one_whose_high_lines_go_to_stderr(self):
        w = self.world()
        w.configure(unused_port())   # nothing queued, no accounts: nothing to fail
        r = w.engine.ctl("cycle", timeout=30)
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        self.assertEqual(r.stderr, "")

        refused = unused_port()
        w.configure(unused_port(), accounts=[("home", refused, "ann", "ann-secret")])
        r = w.engine.ctl("cycle", timeout=30)
        self.assertEqual(r.returncode, 3, r.stdout + r.stderr)
        self.assertIn("CYCLE_FAILURE", r.stdout.splitlines())
        errors = r.stderr.splitlines()
        self.assertEqual(errors, high_lines(r.stderr), "only log lines of level HIGH")
        self.assertTrue([l for l in errors if l.endswith(
            "NET HIGH Cannot connect to POP3 server 127.0.0.1:%d: connection refused" % refused)], errors)
        self.assertTrue([l for l in errors if l.endswith("MAIL HIGH Failed to check account : home")], errors)
        # A connection that never opened is not said goodbye to.
        self.assertFalse([l for l in w.engine.log_texts() if "send() fail" in l], w.engine.log_texts())
        self.assertNotIn("ann-secret", r.stderr)

    def test_2_on_its_time_out_1_without_an_engine_64_on_bad_usage(self):
        silent = SilentServer()
        self.addCleanup(silent.close)
        w = self.world(timeout_ms=20000)
        w.configure(unused_port(), accounts=[("home", silent.port, "ann", "pw")])
        r = w.engine.ctl("--timeout", "1", "cycle", timeout=30)
        self.assertEqual(r.returncode, 2, r.stdout + r.stderr)
        self.assertIn("timed out", r.stderr)

        for bad in (["frobnicate"], [], ["--timeout", "x", "cycle"], ["--timeout", "0", "cycle"],
                    ["cycle", "watch"], ["--timeout"]):
            r = w.engine.ctl(*bad)
            self.assertEqual(r.returncode, 64, bad)
            self.assertIn("usage: trawlexctl", r.stderr)

        w.engine.stop()
        r = subprocess.run([TRAWLEXCTL, "cycle"], env=w.engine.env, capture_output=True, text=True, timeout=30)
        self.assertEqual(r.returncode, 1, r.stderr)
        self.assertIn("no engine found", r.stderr)

    def test_a_provider_that_cannot_be_reached_is_named_with_host_port_and_reason(self):
        w = self.world()
        refused = unused_port()
        w.configure(refused, accounts=[("home", 110, "ann", "pw")])
        # The account's host does not exist: its name lies in the reserved domain "invalid".
        hive = os.path.join(w.engine.config_dir, "tarnwick", "user.reg")
        with open(hive) as f:
            text = f.read()
        with open(hive, "w") as f:
            f.write(text.replace('"server"="127.0.0.1"', '"server"="pop.nowhere.invalid"'))
        w.queue([("<ann@example.org>", ["<bob@example.net>"], b"Subject: x\r\n\r\nx\r\n")])
        r = w.engine.ctl("cycle", timeout=30)
        self.assertEqual(r.returncode, 3, r.stdout + r.stderr)
        self.assertTrue([l for l in r.stderr.splitlines() if l.endswith(
            "NET HIGH Cannot connect to SMTP server 127.0.0.1:%d: connection refused" % refused)], r.stderr)
        self.assertTrue([l for l in r.stderr.splitlines() if l.endswith(
            "NET HIGH Cannot connect to POP3 server pop.nowhere.invalid:110: no such host")], r.stderr)
        self.assertFalse([l for l in w.engine.log_texts() if "send() fail" in l])


class Status(unittest.TestCase):
    def test_a_running_engine_its_ports_queue_accounts_and_last_failure(self):
        taken = socket.socket()
        self.addCleanup(taken.close)
        w = CycleWorld()
        self.addCleanup(w.close)
        taken.bind(("127.0.0.1", w.engine.pop3_port))
        taken.listen(1)   # another program holds the POP3 port: it answers, but it is not ours
        w.start()
        refused = unused_port()
        w.configure(unused_port(), accounts=[("home", refused, "ann", "pw"), ("work", refused, "bob", "pw")])
        w.queue([("<ann@example.org>", ["<bob@example.net>"], b"Subject: x\r\n\r\nx\r\n")])
        w.engine.ctl("cycle", timeout=30)

        r = w.engine.ctl("status")
        self.assertEqual(r.returncode, 0, r.stderr)
        lines = r.stdout.splitlines()
        self.assertEqual(lines[0], "engine: running, pid %d" % w.engine.proc.pid)
        self.assertEqual(lines[1], "data directory: " + os.path.realpath(w.engine.work))
        self.assertEqual(lines[2], "SMTP server: port %d, listening" % w.engine.smtp_port)
        self.assertTrue(lines[3].startswith("POP3 server: port %d, not listening" % w.engine.pop3_port), lines)
        self.assertEqual(lines[4], "queue: 1 item")
        # The one outgoing host, which could not be reached, keeps the item.
        self.assertRegex(lines[5], r"^outgoing host 127\.0\.0\.1:\d+ \(the global outgoing host\): 1 queued, "
                                   r"last: could not be reached \(connection refused\), 1 kept at ")
        self.assertRegex(lines[6], r"^account home: last check \d{4}-\d\d-\d\d \d\d:\d\d:\d\d$")
        self.assertRegex(lines[7], r"^account work: last check ")
        self.assertRegex(lines[8], r"^last failure: \d{4}-\d\d-\d\d \d\d:\d\d:\d\d MAIL HIGH Failed to check account : work$")

    def test_without_an_engine(self):
        e = Engine()
        self.addCleanup(e.stop)
        r = e.ctl("status")
        self.assertEqual(r.returncode, 1)
        self.assertEqual(r.stdout, "engine: not running\naccounts: none\n")


class Typo(unittest.TestCase):
    @unittest.skipUnless(dovecot_available(), "needs dovecot-pop3d")
    def test_one_bad_account_value_still_checks_every_account_and_is_named_at_every_cycle(self):
        with PrivateDovecot({"alice": "alice-pw", "bob": "bob-pw"}) as dc, CycleWorld() as w:
            w.configure(unused_port(), accounts=[("a", dc.port, "alice", "alice-pw"), ("b", dc.port, "bob", "bob-pw")])
            self.assertEqual(w.cycle()[0], 0)   # the engine has read the good file
            hive = os.path.join(w.engine.config_dir, "tarnwick", "user.reg")
            with open(hive) as f:
                good = f.read()
            bad = good.replace('"port"=dword:%08x' % dc.port, '"port"=dword:%07xg' % (dc.port >> 4), 1)
            self.assertNotEqual(bad, good)
            line = bad[:bad.index("dword:%07xg" % (dc.port >> 4))].count("\n") + 1
            with open(hive, "w") as f:
                f.write(bad)

            for round in range(2):
                for user in ("alice", "bob"):
                    dc.deliver(user, b"Subject: round %d\r\n\r\nfor %s\r\n" % (round, user.encode()))
                r = w.engine.ctl("cycle", timeout=30)
                self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
                self.assertEqual(r.stdout.count("CYCLE_NEW_ITEM"), 2, r.stdout)
                named = [l for l in r.stderr.splitlines() if "Registry file unusable:" in l]
                self.assertEqual(len(named), 1, r.stderr)
                self.assertIn(hive, named[0])
                self.assertIn("line %d:" % line, named[0])
            self.assertEqual(len(w.items("alice@127.0.0.1")), 2)
            self.assertEqual(len(w.items("bob@127.0.0.1")), 2)
            with open(hive) as f:
                self.assertEqual(f.read(), bad, "a file that cannot be parsed is never overwritten")

            with open(hive, "w") as f:
                f.write(good)
            r = w.engine.ctl("cycle", timeout=30)
            self.assertEqual(r.returncode, 0, r.stderr)
            self.assertNotIn("Registry file", r.stderr)


    def test_an_engine_started_on_a_broken_file_fails_its_cycles_aloud(self):
        w = CycleWorld()
        self.addCleanup(w.close)
        w.configure(unused_port())
        hive = os.path.join(w.engine.config_dir, "tarnwick", "user.reg")
        with open(hive, "a") as f:
            f.write('"rasentry"="unterminated\n')   # no good contents to fall back on
        w.start()
        r = w.engine.ctl("cycle", timeout=30)
        self.assertEqual(r.returncode, 3, r.stdout + r.stderr)
        self.assertRegex(r.stderr, r"APP HIGH Registry file unusable: .*%s.*line \d+:" % re.escape(hive))
        self.assertIn("APP HIGH Failed to retrieve outgoing mail host name from registry", r.stderr)


class CommandLine(unittest.TestCase):
    def run_tool(self, *args, env=None, cwd=None):
        return subprocess.run(list(args), capture_output=True, text=True, timeout=30, cwd=cwd,
                              env=env or private_env(self.root))

    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="trawlex-cli-")   # a private world without an engine
        self.addCleanup(shutil.rmtree, self.root, True)

    def test_help_and_version_of_the_three_programs(self):
        programs = [TRAWLEX, TRAWLEXCTL] + ([TARNWICK] if os.path.exists(TARNWICK) else [])
        for program in programs:
            name = os.path.basename(program)
            r = self.run_tool(program, "--help")   # tarnwick too: there is no display here
            self.assertEqual(r.returncode, 0, name + r.stderr)
            self.assertTrue(r.stdout.startswith("usage: " + name), r.stdout)
            r = self.run_tool(program, "--version")
            self.assertEqual(r.returncode, 0, name)
            self.assertRegex(r.stdout, r"^%s \d+\.\d+" % name)
        r = self.run_tool(TRAWLEX, "--frobnicate")
        self.assertEqual(r.returncode, 64)
        self.assertIn("usage: trawlex", r.stderr)

    def test_data_dir_is_the_engines_working_directory_and_is_made_when_missing(self):
        e = Engine(make_dirs=False)
        self.addCleanup(e.stop)
        data = os.path.join(os.path.realpath(e.root), "data", "tarnwick")
        e.start(args=["--data-dir", data])
        self.assertTrue(os.path.isdir(data))
        self.assertEqual(os.stat(data).st_mode & 0o777, 0o700)
        r = e.ctl("cycle", timeout=30)
        self.assertEqual(r.returncode, 3)   # no settings yet
        self.assertTrue([n for n in os.listdir(data) if n.endswith(".log")], os.listdir(data))
        self.assertFalse([n for n in os.listdir(e.work) if n.endswith(".log")])
        self.assertIn("data directory: " + data, e.ctl("status").stdout)


if __name__ == "__main__":
    unittest.main()
