"""POP3 retrieval benchmark: Python's poplib logs in, lists and retrieves every item of a
mailbox of 1,000 items of 10 KB, then quits; the same client does the same against a private
Dovecot POP3 server holding the same messages, in the same run. Prints both figures.

    /usr/bin/python3 bench/pop3_retrieve.py [ITEMS] [ROUNDS]   (after scripts/build.sh)
"""

import os
import poplib
import statistics
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "integration"))
os.environ.setdefault("TRAWLEX_BIN_DIR", os.path.join(HERE, "..", "build", "bin"))

from harness import Engine                  # noqa: E402
from peers.dovecot import PrivateDovecot    # noqa: E402
from pop3_world import Mailbox, write_accounts   # noqa: E402


def message(i, size=10 * 1024):
    head = b"From: sender%d@example.net\r\nTo: you@example.net\r\nSubject: item %d\r\n\r\n" % (i, i)
    body, n = [], len(head)
    while n < size:
        line = (b".dotted " if len(body) % 20 == 0 else b"") + b"%06d " % len(body) + b"m" * 68
        body.append(line)
        n += len(line) + 2
    return head + b"\r\n".join(body) + b"\r\n"


def session(port, user, password):
    """One whole collection: log in, LIST, RETR every item, QUIT. Answers (seconds, bytes)."""
    start = time.perf_counter()
    client = poplib.POP3("127.0.0.1", port, timeout=60)
    client.user(user)
    client.pass_(password)
    _, listing, _ = client.list()
    total = 0
    for entry in listing:
        _, lines, octets = client.retr(int(entry.split()[0]))
        total += octets
    client.quit()
    return time.perf_counter() - start, total


def measure(label, port, user, password, rounds):
    times = []
    for _ in range(rounds):
        seconds, octets = session(port, user, password)
        times.append(seconds)
    best, median = min(times), statistics.median(times)
    print("%-8s best %.3f s  median %.3f s  %.0f items/s  %.1f MB/s" % (
        label, best, median, ITEMS / best, octets / best / 1e6))
    return best


if __name__ == "__main__":
    ITEMS = int(sys.argv[1]) if len(sys.argv) > 1 else 1000
    ROUNDS = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    messages = [message(i) for i in range(ITEMS)]
    engine = Engine()
    box = Mailbox(engine, "bench", "pw", "bench")
    write_accounts(engine, [box])
    for i, m in enumerate(messages):
        box.add(b"uid%05d" % i, m)
    engine.start()
    try:
        with PrivateDovecot({"bench": "pw"}) as dovecot:
            for m in messages:
                dovecot.deliver("bench", m)
            print("%d items of %d bytes, %d rounds each, poplib client" % (ITEMS, len(messages[0]), ROUNDS))
            session(engine.pop3_port, "bench", "pw")        # warm the page cache
            session(dovecot.port, "bench", "pw")
            ours = measure("trawlex", engine.pop3_port, "bench", "pw", ROUNDS)
            theirs = measure("dovecot", dovecot.port, "bench", "pw", ROUNDS)
            print("trawlex / dovecot time: %.2f" % (ours / theirs))
    finally:
        engine.stop()
