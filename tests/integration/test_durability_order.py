"""What the gateway tells its peers comes only after what it promises is on disk, shown from
strace logs of real runs (no kill needed): a retrieval from a real Dovecot (by check_once, also
into a mailbox on another file system, and by the engine's cycle) sends each DELE only once its item, the mailbox entry (and a mailbox
re-made in the run, in its parent) and the identifier record are flushed; a delivery to an
aiosmtpd provider removes each item only after the provider's 2xx to its own "."; the local
SMTP server answers 250 to a message only once its item, its routing file and their entries
in outgoing/ are flushed. trace_order.py reads the logs (tested on its own in
test_trace_order.py)."""

import os
import poplib
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

from check_world import CHECK_ONCE, CheckWorld, item_name
from cycle_world import CycleWorld
from peers.dovecot import PrivateDovecot, available as dovecot_available
from trace_order import Trace, check_delivery, check_intake, check_retrieval

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "peers"))
import postfix_provider  # noqa: E402
import smtp_provider  # noqa: E402
from postfix_provider import PostfixProvider  # noqa: E402
from smtp_provider import SmtpProvider  # noqa: E402

# File names, descriptors, sockets and flushes; -yy names each descriptor's file or connection.
TRACED = "%file,%desc,%net,%process,fsync,fdatasync,sync_file_range,syncfs,sync"


def strace(log):
    # LeakSanitizer cannot work under ptrace: in a sanitizer build the traced program runs
    # without it (the other sanitizers stay on).
    asan = ":".join(o for o in (os.environ.get("ASAN_OPTIONS", ""), "detect_leaks=0") if o)
    return ["strace", "-f", "-qq", "-yy", "-s", "65535", "-o", log, "-e", "trace=" + TRACED,
            "-E", "ASAN_OPTIONS=" + asan]


def message(user, n):
    return (b"Message-ID: <%d.%s@order>\nSubject: order %d\n\n.leading dot\n" % (n, user.encode(), n) +
            b"z" * (700 * n + 10) + b"\n")


def listed(port, user, password):
    """Message number -> identifier, as the provider lists them now."""
    pop = poplib.POP3("127.0.0.1", port, timeout=10)
    try:
        pop.user(user)
        pop.pass_(password)
        return {int(n): uid for n, uid in (l.decode().split(" ", 1) for l in pop.uidl()[1])}
    finally:
        pop.quit()


def accounts_of(work, uids, host="127.0.0.1"):
    """What check_retrieval needs of each account made as the wizard makes it."""
    out = {}
    for user, numbers in uids.items():
        box = os.path.join(work, "accounts", user + "@" + host)
        out[user] = {"targets": {n: (os.path.join(box, item_name(user, host, uid)), uid.encode())
                                 for n, uid in numbers.items()},
                     "mailbox": box, "uidl": os.path.join(work, user + "@" + host + ".uidl")}
    return out


def read(path):
    with open(path, encoding="latin-1") as f:
        return f.read()


@unittest.skipUnless(shutil.which("strace"), "strace is not installed")
class DurabilityOrder(unittest.TestCase):
    def assertClean(self, found, expected, what):
        """found checked exactly expected events and found nothing wrong."""
        self.assertEqual(found.checked, expected, "%s: %r" % (what, found))
        self.assertEqual(found.problems, [], "%s:\n%s" % (what, "\n".join(found.problems)))

    @unittest.skipUnless(dovecot_available(), "dovecot-pop3d is not installed")
    def test_a_retrieval_sends_each_dele_after_the_item_its_mailbox_and_its_record_are_flushed(self):
        users = {"alice": "alice-pw", "bob": "bob-pw"}
        world = CheckWorld()
        self.addCleanup(world.close)
        with PrivateDovecot(users) as dc:
            for u in users:
                for n in range(4):
                    dc.deliver(u, message(u, n))
                world.add_account(u + "-account", dc.port, u, users[u])
            # bob's mailbox was deleted by hand: the retrieval makes it again.
            shutil.rmtree(world.mailbox("bob@127.0.0.1"))
            uids = {u: listed(dc.port, u, users[u]) for u in users}
            log = os.path.join(world.root, "check.trace")
            p = subprocess.run(strace(log) + [CHECK_ONCE, "--timeout-ms", "10000"], cwd=world.work, env=world.env,
                               capture_output=True, timeout=120)
            self.assertEqual(p.returncode, 0, p.stderr.decode(errors="replace"))
            self.assertEqual(dc.messages("alice"), {})
            self.assertEqual(dc.messages("bob"), {})
        trace = Trace.parse(read(log), world.work)
        self.assertClean(check_retrieval(trace, dc.port, accounts_of(world.work, uids)), 8, "retrieval")

    @unittest.skipUnless(dovecot_available() and os.path.isdir("/dev/shm"), "needs dovecot-pop3d and /dev/shm")
    def test_a_mailbox_on_another_file_system_gets_each_copy_flushed_before_its_dele(self):
        world = CheckWorld()
        self.addCleanup(world.close)
        elsewhere = tempfile.mkdtemp(prefix="durability-box-", dir="/dev/shm")
        self.addCleanup(shutil.rmtree, elsewhere, True)
        if os.stat(elsewhere).st_dev == os.stat(world.work).st_dev:
            self.skipTest("/dev/shm is on the working directory's file system")
        with PrivateDovecot({"cy": "cy-pw"}) as dc:
            for n in range(3):
                dc.deliver("cy", message("cy", n))
            world.add_account("cy-account", dc.port, "cy", "cy-pw")
            os.rmdir(world.mailbox("cy@127.0.0.1"))
            os.symlink(elsewhere, world.mailbox("cy@127.0.0.1"))
            uids = {"cy": listed(dc.port, "cy", "cy-pw")}
            log = os.path.join(world.root, "check.trace")
            p = subprocess.run(strace(log) + [CHECK_ONCE, "--timeout-ms", "10000"], cwd=world.work, env=world.env,
                               capture_output=True, timeout=120)
            self.assertEqual(p.returncode, 0, p.stderr.decode(errors="replace"))
            self.assertEqual(dc.messages("cy"), {})
        self.assertEqual(len(os.listdir(elsewhere)), 3)
        trace = Trace.parse(read(log), world.work)
        self.assertClean(check_retrieval(trace, dc.port, accounts_of(world.work, uids)), 3, "retrieval")

    @unittest.skipUnless(dovecot_available() and smtp_provider.available(), "needs dovecot-pop3d and aiosmtpd")
    def test_the_engine_answers_delivers_and_retrieves_in_durable_order(self):
        provider = SmtpProvider().start()
        self.addCleanup(provider.close)
        dc = PrivateDovecot({"carol": "carol-pw"}).start()
        self.addCleanup(dc.stop)
        w = CycleWorld(timeout_ms=10000)
        self.addCleanup(w.close)
        logs = tempfile.mkdtemp(prefix="durability-trace-")   # the engine's world goes with its stop
        self.addCleanup(shutil.rmtree, logs, True)
        log = os.path.join(logs, "engine.trace")
        w.engine.prefix = strace(log)
        w.start()
        w.configure(provider.port, accounts=[("carol-account", dc.port, "carol", "carol-pw")])
        shutil.rmtree(w.mailbox("carol@127.0.0.1"))
        for n in range(3):
            dc.deliver("carol", message("carol", n))
        uids = {"carol": listed(dc.port, "carol", "carol-pw")}

        # Intake: three messages in one session of the local SMTP server.
        w.queue([("<ann@example.org>", ["<bob@example.net>"], message("ann", n)) for n in range(3)])
        self.assertEqual(len(w.queued_items()), 3)
        # A cycle: delivery, then retrieval.
        status, lines = w.cycle(timeout=60)
        self.assertEqual(status, 0, "\n".join(lines + w.engine.log_texts()))
        self.assertEqual(w.queued_items(), [])
        self.assertEqual(len(provider.messages()), 3)
        self.assertEqual(len(w.items("carol@127.0.0.1")), 3)
        work = w.engine.work
        w.engine.stop()   # the log is whole once the engine has ended
        trace = Trace.parse(read(log), work)
        queue = os.path.join(work, "outgoing")
        self.assertClean(check_intake(trace, w.engine.smtp_port, queue), 3, "intake")
        self.assertClean(check_delivery(trace, provider.port, queue), 3, "delivery")
        self.assertClean(check_retrieval(trace, dc.port, accounts_of(work, uids)), 3, "retrieval")

    @unittest.skipUnless(postfix_provider.available(), "needs root and the Debian package postfix")
    def test_a_delivery_by_bdat_with_quit_behind_the_last_chunk_removes_each_item_after_its_reply(self):
        """A provider that takes texts in chunks: each item goes as one BDAT, QUIT in the same
        write as the last; each removal still waits for its own chunk's 2xx."""
        provider = PostfixProvider().start()
        self.addCleanup(provider.close)
        w = CycleWorld(timeout_ms=10000)
        self.addCleanup(w.close)
        logs = tempfile.mkdtemp(prefix="durability-trace-")
        self.addCleanup(shutil.rmtree, logs, True)
        log = os.path.join(logs, "engine.trace")
        w.engine.prefix = strace(log)
        w.start()
        w.configure(provider.port)
        w.queue([("<ann@example.org>", ["<bob@example.net>"], message("ann", n)) for n in range(3)])
        self.assertEqual(len(w.queued_items()), 3)
        w.cycle(timeout=60)
        self.assertEqual(w.queued_items(), [])
        self.assertEqual(len(provider.messages(recipients=3)), 3)
        work = w.engine.work
        w.engine.stop()
        text = read(log)
        trace = Trace.parse(text, work)
        queue = os.path.join(work, "outgoing")
        self.assertClean(check_intake(trace, w.engine.smtp_port, queue), 3, "intake")
        self.assertClean(check_delivery(trace, provider.port, queue), 3, "delivery")
        chunks = [line for line in text.splitlines() if re.search(r"BDAT \d+ LAST\\r\\n", line)]
        self.assertEqual(len(chunks), 3, chunks)
        self.assertEqual([bool(re.search(r'QUIT\\r\\n"', line)) for line in chunks], [False, False, True])


if __name__ == "__main__":
    unittest.main()
