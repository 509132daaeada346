"""Retrieval from a real Dovecot POP3 server by the account check (check_once): messages land
byte for byte in their accounts' mailboxes, the server is emptied, the identifier files follow,
and a retrieval killed at random moments never loses or doubles a message."""

import os
import poplib
import random
import signal
import struct
import time
import unittest

from check_world import CheckWorld, item_name, transfer_form
from harness import read_route
from peers.dovecot import PrivateDovecot, available


KILLS = 20
MESSAGES = 1000   # far more than 20 runs take (each stores a few windows of 16 before its kill), so no run runs out of work


def listed_uids(port, user, password):
    pop = poplib.POP3("127.0.0.1", port, timeout=10)
    try:
        pop.user(user)
        pop.pass_(password)
        return [l.split(b" ", 1)[1].decode() for l in pop.uidl()[1]]
    finally:
        pop.quit()


def write_route(path, entries):
    with open(path, "wb") as f:
        f.write(struct.pack("<i", len(entries)))
        for e in entries:
            b = e.encode("latin-1")
            f.write(struct.pack("<i", len(b)) + b)


def awkward_message(user, n):
    return (b"Message-ID: <%d.%s@test>\nSubject: awkward %d\n\n" % (n, user.encode(), n) +
            b".leading dot\n..two dots\n.\n . blank dot\n" +
            b"8-bit: \xe4\xf6\xfc \xff\x80\n" +
            b"H" * 5000 + b"\n" + b"tail\n")


@unittest.skipUnless(available(), "dovecot-pop3d is not installed")
class Pop3Retrieval(unittest.TestCase):
    def setUp(self):
        self.world = CheckWorld()
        self.addCleanup(self.world.close)

    def test_every_message_of_two_accounts_arrives_whole_and_leaves_the_server(self):
        users = {"alice": "alice-pw", "bob": "bob-pw"}
        with PrivateDovecot(users) as dc:
            sent = {u: [awkward_message(u, n) for n in range(3)] for u in users}
            for u, messages in sent.items():
                for m in messages:
                    dc.deliver(u, m)
                self.world.add_account(u + "-account", dc.port, u, users[u])
            uids = {u: listed_uids(dc.port, u, users[u]) for u in users}

            status, stored, err = self.world.check()
            self.assertEqual(status, 0, err)
            self.assertEqual(len(stored), 6)
            for u in users:
                box = u + "@127.0.0.1"
                items = self.world.items(box)
                self.assertEqual(sorted(items), sorted(item_name(u, "127.0.0.1", uid) for uid in uids[u]))
                self.assertEqual(sorted(items.values()), sorted(transfer_form(m) for m in sent[u]))
                self.assertEqual(dc.messages(u), {}, "the server still holds mail of " + u)
                self.assertEqual(sorted(self.world.recorded(box)), sorted(uids[u]))
            self.assertEqual(os.listdir(os.path.join(self.world.work, "accounts", "holding")), [])

            # The second check finds nothing new and forgets what left the server.
            status, stored, err = self.world.check()
            self.assertEqual((status, stored), (0, []), err)
            for u in users:
                self.assertEqual(self.world.recorded(u + "@127.0.0.1"), [])
                self.assertEqual(len(self.world.items(u + "@127.0.0.1")), 3)
            for path in self._logs():
                with open(path, errors="replace") as f:
                    self.assertNotIn("alice-pw", f.read())

    def test_a_retrieval_killed_at_random_moments_loses_and_doubles_nothing(self):
        rng = random.Random(os.environ.get("TRAWLEX_CRASH_SEED", "9"))
        with PrivateDovecot({"carol": "pw"}) as dc:
            sent = [b"Message-ID: <%d@crash>\nSubject: %d\n\n%s\n.dot\n" % (n, n, b"x" * rng.randrange(10, 3000))
                    for n in range(MESSAGES)]
            for m in sent:
                dc.deliver("carol", m)
            self.world.add_account("carol", dc.port, "carol", "pw")
            box = self.world.mailbox("carol@127.0.0.1")
            # Every run is killed while it works: at a random moment of its first 30 ms
            # (starting, connecting, logging in, listing), or once it has stored a random number
            # of further items and a random moment later (inside a message, between storing and
            # recording, during a DELE). The kill waits on the items, never on a time a fast
            # machine could use to retrieve everything, so every run still has work when it is
            # killed. A run that ends by itself anyway is counted apart and another one started.
            # Killed sessions never reach QUIT, so the server keeps every message until a check
            # runs to its end.
            kills, ended = 0, []
            while kills < KILLS and len(ended) < KILLS:
                target = len(os.listdir(box)) + rng.randrange(0, 8)
                p = self.world.start_check()
                if target == len(os.listdir(box)):
                    time.sleep(rng.uniform(0, 0.03))
                else:
                    deadline = time.monotonic() + 60
                    while p.poll() is None and len(os.listdir(box)) < target and time.monotonic() < deadline:
                        time.sleep(0.001)
                    time.sleep(rng.uniform(0, 0.004))
                if p.poll() is None:
                    os.kill(p.pid, signal.SIGKILL)
                    kills += 1
                    p.communicate(timeout=30)
                else:
                    ended.append((p.returncode, p.communicate(timeout=30)[1].decode(errors="replace")[-500:]))
            self.assertEqual(kills, KILLS, "checks that ended by themselves: %r" % ended)
            before = len(self.world.items("carol@127.0.0.1"))
            status, _, err = self.world.check()
            self.assertEqual(status, 0, err)
            print("crash test: %d kills, %d runs ended by themselves, %d items stored before the last check"
                  % (kills, len(ended), before))
            listed = {n: data for n, data in self.world.items("carol@127.0.0.1").items() if n.endswith(".rfc822")}
            self.assertEqual(sorted(listed.values()), sorted(transfer_form(m) for m in sent))
            self.assertEqual(dc.messages("carol"), {})
            # A kill between storing an item and recording it leaves no second copy either.
            self.assertEqual(sorted(self.world.items("carol@127.0.0.1")), sorted(listed))

    def test_mail_left_for_days_is_deleted_once_stored_and_its_days_are_over(self):
        with PrivateDovecot({"dave": "pw"}) as dc:
            for n in range(2):
                dc.deliver("dave", awkward_message("dave", n))
            self.world.add_account("dave", dc.port, "dave", "pw", values={"leavemail": 2, "leavedays": 3})
            box = "dave@127.0.0.1"
            days_file = os.path.join(self.world.work, box + ".uidl.days")

            def check():
                status, stored, err = self.world.check()
                self.assertEqual(status, 0, err)
                return stored

            def times():
                return dict(reversed(e.split(" ", 1)) for e in read_route(days_file))

            self.assertEqual(len(check()), 2)
            self.assertEqual(len(dc.messages("dave")), 2)
            self.assertEqual(sorted(times()), sorted(listed_uids(dc.port, "dave", "pw")))
            self.assertEqual(check(), [])
            self.assertEqual(len(dc.messages("dave")), 2)

            # Four days pass for the first message only.
            first = listed_uids(dc.port, "dave", "pw")[0]
            aged = {uid: int(t) - (4 * 86400 if uid == first else 0) for uid, t in times().items()}
            write_route(days_file, ["%d %s" % (t, uid) for uid, t in aged.items()])
            dc.deliver("dave", awkward_message("dave", 2))
            self.assertEqual(len(check()), 1)
            self.assertNotIn(first, listed_uids(dc.port, "dave", "pw"))
            self.assertEqual(len(dc.messages("dave")), 2)
            # Its identifier and time are forgotten once the server no longer lists it.
            self.assertEqual(check(), [])
            self.assertEqual(len(self.world.recorded(box)), 2)
            self.assertEqual(sorted(times()), sorted(self.world.recorded(box)))

            # With no days at all, a message is still deleted only at a check after the one
            # that stored it.
            self.world.accounts[0]["values"]["leavedays"] = 0
            self.world.write_hive()
            dc.deliver("dave", awkward_message("dave", 3))
            self.assertEqual(len(check()), 1)
            self.assertEqual(len(dc.messages("dave")), 1)
            self.assertEqual(check(), [])
            self.assertEqual(dc.messages("dave"), {})
            self.assertEqual(sorted(self.world.items(box).values()),
                             sorted(transfer_form(awkward_message("dave", n)) for n in range(4)))

    def _logs(self):
        return [os.path.join(self.world.work, n) for n in os.listdir(self.world.work) if n.endswith(".log")]


if __name__ == "__main__":
    unittest.main()
