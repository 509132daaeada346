"""Password guessing against the local POP3 server: 1 and then 100 connections send USER and a
wrong PASS as fast as the server answers, for a fixed time; prints the wrong passwords answered
per second. The same guessing against a private Dovecot POP3 server (its stock failure delay)
in the same run, for comparison.

    /usr/bin/python3 bench/pop3_guessing.py [SECONDS]   (after scripts/build.sh)
"""

import os
import socket
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "integration"))
os.environ.setdefault("TRAWLEX_BIN_DIR", os.path.join(HERE, "..", "build", "bin"))

from harness import Engine                              # noqa: E402
from peers.dovecot import PrivateDovecot, available     # noqa: E402
from pop3_world import Mailbox, write_accounts          # noqa: E402


class Guesser:
    """One connection that guesses until the deadline, reconnecting when the server hangs up."""

    def __init__(self, port, user, deadline):
        self.port, self.user, self.deadline = port, user, deadline
        self.failures = 0

    def run(self):
        n = 0
        while time.monotonic() < self.deadline:
            try:
                with socket.create_connection(("127.0.0.1", self.port), timeout=30) as s:
                    f = s.makefile("rwb")
                    f.readline()
                    while time.monotonic() < self.deadline:
                        n += 1
                        f.write(b"USER %s\r\nPASS wrong-%d\r\n" % (self.user.encode(), n))
                        f.flush()
                        if not f.readline().startswith(b"+OK"):
                            break
                        reply = f.readline()
                        if not reply:
                            break
                        if reply.startswith(b"-ERR") and time.monotonic() < self.deadline:
                            self.failures += 1
            except OSError:
                time.sleep(0.01)


def rate(port, user, connections, seconds):
    deadline = time.monotonic() + seconds
    guessers = [Guesser(port, user, deadline) for _ in range(connections)]
    threads = [threading.Thread(target=g.run) for g in guessers]
    began = time.monotonic()
    for t in threads:
        t.start()
    for t in threads:
        t.join(seconds + 60)
    return sum(g.failures for g in guessers) / (min(time.monotonic(), deadline) - began)


def main():
    seconds = float(sys.argv[1]) if len(sys.argv) > 1 else 20.0
    print("wrong passwords answered per second, %g s per figure" % seconds)
    with Engine() as engine:
        box = Mailbox(engine, "home", "right-pw", "ann")
        write_accounts(engine, [box])
        for connections in (1, 100):
            print("trawlex  %3d connection(s): %6.2f /s" % (connections, rate(engine.pop3_port, "home", connections,
                                                                                 seconds)))
    if not available():
        print("dovecot  not installed: no comparison")
        return
    with PrivateDovecot({"alice": "alice-pw"}) as dc:
        for connections in (1, 100):
            print("dovecot  %3d connection(s): %6.2f /s" % (connections, rate(dc.port, "alice", connections, seconds)))


if __name__ == "__main__":
    main()
