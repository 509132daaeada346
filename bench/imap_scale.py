#!/usr/bin/python3
"""IMAP retrieval at scale and over a slow link, beside fetchmail measured in the same run.

scale: one INBOX of a private Dovecot holds MESSAGES (default 20,000) messages of about 10 KB,
another user's INBOX SMALL (default 1,000). One account check (check_once) of an IMAP account
fetches each, leaving the mail; fetchmail (over IMAP, keeping the mail, each message through its
--mda) fetches the large one. Prints times, messages per second, the time per message at both
sizes and the check's peak resident memory.

slow: SLOW (default 50) messages of about 10 KB through the slow-link relay (bench/slow_link.py,
600 ms round trip, 64 kB/s each way), deleting the mail: the check, then fetchmail (and getmail6
with --getmail), each on a freshly seeded INBOX. Prints each client's time, the round trips it
waited for and its bytes, and the link's limit: its bytes over the bandwidth plus the round
trips no IMAP client avoids (greeting, log-in, SELECT, UID SEARCH, one per window of fetched
messages, the removal, LOGOUT).

    bench/imap_scale.py [scale|slow|both] [--messages N] [--small N] [--slow N] [--getmail]
                                                                           (after scripts/build.sh)
"""

import argparse
import math
import os
import subprocess
import sys
import time
import types

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(TOP, "tests", "integration"))
sys.path.insert(0, os.path.join(TOP, "bench"))
os.environ.setdefault("TRAWLEX_BIN_DIR", os.path.join(TOP, "build", "bin"))

import check_world  # noqa: E402
from imap_retrieval import USER, PASSWORD, reseed, run_fetchmail, run_getmail  # noqa: E402
from peers.dovecot import PrivateDovecot  # noqa: E402
from pop3_retrieval import message  # noqa: E402
from slow_link import SlowLink  # noqa: E402

SMALL_USER = "small"
WINDOW = 32  # messages a UID FETCH asks for (IMAP_Fetch::kWindow)
# Greeting (with its capabilities), LOGIN, SELECT, UID SEARCH, the removal (STORE, EXPUNGE), LOGOUT.
FIXED_TURNS = 7


def seed(dc, user, count):
    """count messages as new mail of user's INBOX, written straight into the maildir: one
    deliver() a message would walk the whole tree to set its owner each time."""
    new = dc.maildir(user, "new")
    dc.make_folder(user, None)
    for n in range(count):
        with open(os.path.join(new, "%d.M%dP%d.bench" % (int(time.time()), n, os.getpid())), "wb") as f:
            f.write(message(n).replace(b"\r\n", b"\n"))
    dc.make_folder(user, None)  # owners set once, for every file


def warm(port, user):
    """Dovecot indexes a folder at its first SELECT: done before any client is timed."""
    import imaplib
    imap = imaplib.IMAP4("127.0.0.1", port)
    imap.login(user, PASSWORD)
    imap.select("INBOX", readonly=True)
    imap.uid("SEARCH", "ALL")
    imap.fetch("1:*", "(UID RFC822.SIZE)")
    imap.logout()


def run_ours(port, user, count, leave):
    """Seconds and peak resident kilobytes of one check_once."""
    world = check_world.CheckWorld()
    try:
        world.add_account("bench", port, user, PASSWORD,
                          values={"protocol": 1, "security": 0, "leavemail": 1 if leave else 0})
        out_path = os.path.join(world.root, "stdout")
        with open(out_path, "wb") as out, open(os.path.join(world.root, "stderr"), "wb") as err:
            start = time.monotonic()
            p = subprocess.Popen([check_world.CHECK_ONCE, "--timeout-ms", "20000"], cwd=world.work, env=world.env,
                                 stdout=out, stderr=err)
            _, status, usage = os.wait4(p.pid, 0)
            elapsed = time.monotonic() - start
            p.returncode = os.waitstatus_to_exitcode(status)
        with open(out_path) as f:
            stored = len(f.read().split())
        if p.returncode != 0 or stored != count:
            raise RuntimeError("check_once stored %d of %d (status %d)" % (stored, count, p.returncode))
        return elapsed, usage.ru_maxrss
    finally:
        world.close()


def scale(args):
    with PrivateDovecot({USER: PASSWORD, SMALL_USER: PASSWORD}, protocol="imap") as dc:
        start = time.monotonic()
        seed(dc, USER, args.messages)
        seed(dc, SMALL_USER, args.small)
        warm(dc.port, USER)
        warm(dc.port, SMALL_USER)
        print("seeded %d + %d messages in %.0f s" % (args.messages, args.small, time.monotonic() - start), flush=True)
        small, small_rss = run_ours(dc.port, SMALL_USER, args.small, True)
        big, big_rss = run_ours(dc.port, USER, args.messages, True)
        print("IMAP retrieval from a local Dovecot, leaving the mail, one run each")
        print("  check_once, %6d messages: %7.2f s %8.1f messages/s  %.3f ms a message  peak RSS %.1f MB"
              % (args.small, small, args.small / small, 1000 * small / args.small, small_rss / 1024))
        print("  check_once, %6d messages: %7.2f s %8.1f messages/s  %.3f ms a message  peak RSS %.1f MB"
              % (args.messages, big, args.messages / big, 1000 * big / args.messages, big_rss / 1024), flush=True)
        peer = run_fetchmail(dc, args.messages, True)
        print("  fetchmail,  %6d messages: %7.2f s %8.1f messages/s  %.3f ms a message"
              % (args.messages, peer, args.messages / peer, 1000 * peer / args.messages))
        print("time a message at %d over that at %d: %.2f (goal: at most 1.5); peak RSS goal: under 40 MB;"
              " check_once / fetchmail at %d: %.3f"
              % (args.messages, args.small, (big / args.messages) / (small / args.small), args.messages,
                 big / peer), flush=True)


def slow(args):
    rows = []
    with PrivateDovecot({USER: PASSWORD}, protocol="imap") as dc:
        with SlowLink(dc.port, args.rtt_ms, args.bandwidth) as link:
            through = types.SimpleNamespace(port=link.port)
            clients = [("account check (check_once)", lambda: run_ours(link.port, USER, args.slow, False)),
                       ("fetchmail", lambda: run_fetchmail(through, args.slow, False))]
            if args.getmail:
                clients.append(("getmail6", lambda: run_getmail(through, args.slow, False)))
            for name, run in clients:
                reseed(dc, args.slow)
                link.reset()
                start = time.monotonic()
                run()
                took = time.monotonic() - start
                stats = link.stats()
                left = len(dc.messages(USER))
                if left:
                    raise RuntimeError("%s left %d messages on the server" % (name, left))
                rows.append((name, took, sum(s["turns"] for s in stats), sum(s["up"] for s in stats),
                             sum(s["down"] for s in stats)))
                print("%-28s %7.1f s %5d turns %9d up %9d down" % rows[-1], flush=True)
    ours = rows[0]
    rtt = args.rtt_ms / 1000.0
    least = FIXED_TURNS + math.ceil(args.slow / WINDOW)
    limit = max(ours[3], ours[4]) / args.bandwidth + rtt * least
    print("link: %.0f ms round trip, %.0f bytes/s each way, %d messages" % (args.rtt_ms, args.bandwidth, args.slow))
    print("check_once: %d round trips waited for (%.2f a message; %d windows of %d); the link's limit %.1f s;"
          " ratio %.2f (goal 1.2)" % (ours[2], ours[2] / args.slow, math.ceil(args.slow / WINDOW), WINDOW, limit,
                                      ours[1] / limit))
    for name, took, turns, _, _ in rows[1:]:
        print("%s: %.2f round trips a message; check_once / %s: %.2f" % (name, turns / args.slow, name,
                                                                        ours[1] / took))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("what", nargs="?", default="both", choices=("scale", "slow", "both"))
    ap.add_argument("--messages", type=int, default=20000)
    ap.add_argument("--small", type=int, default=1000)
    ap.add_argument("--slow", type=int, default=50)
    ap.add_argument("--rtt-ms", type=float, default=600)
    ap.add_argument("--bandwidth", type=float, default=65536)
    ap.add_argument("--getmail", action="store_true")
    args = ap.parse_args()
    if args.what in ("slow", "both"):
        slow(args)
    if args.what in ("scale", "both"):
        scale(args)


if __name__ == "__main__":
    main()
