#!/usr/bin/python3
"""BDAT against DATA on a slow link: ITEMS items of 10 KB delivered by the send driver
(send_queue) through the slow-link relay (600 ms round trip, 64 kB/s) to a private Postfix
smtpd that offers CHUNKING and PIPELINING, beside the same items to the same smtpd with
CHUNKING withheld (pipelined DATA), and beside a plain smtplib loop through the same relay, in
the same run, taking turns for ROUNDS rounds. Prints every run, the medians, and the link's
limit counted without DATA's 354 round trips: the bytes at the link's bandwidth plus one round
trip each for the greeting, EHLO, each item's final reply and QUIT.

Needs root and the Debian package postfix (as the tests do).

    /usr/bin/python3 bench/bdat_delivery.py [ITEMS [ROUNDS]]   (after a build; 20, 3)
"""

import os
import shutil
import statistics
import sys
import tempfile

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(TOP, "tests", "integration", "peers"))
sys.path.insert(0, os.path.join(TOP, "bench"))
import postfix_provider  # noqa: E402
from postfix_provider import PostfixProvider  # noqa: E402
from slow_link import SlowLink  # noqa: E402
from smtp_delivery import driver_run, message, smtplib_run  # noqa: E402

RTT_MS, BANDWIDTH = 600, 64 * 1024
BDAT, DATA, PLAIN = "send driver, BDAT", "send driver, DATA", "smtplib loop"


def main():
    if not postfix_provider.available():
        sys.exit("needs root and the Debian package postfix")
    count = int(sys.argv[1]) if len(sys.argv) > 1 else 20
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    texts = [message(i) for i in range(count)]
    times = {BDAT: [], DATA: [], PLAIN: []}
    for _ in range(rounds):
        with PostfixProvider() as chunked, PostfixProvider(chunking=False) as plain:
            for name, provider, run in ((BDAT, chunked, "driver"), (DATA, plain, "driver"), (PLAIN, chunked, "smtplib")):
                work = tempfile.mkdtemp(prefix="trawlex-bdat-")
                try:
                    with SlowLink(provider.port, rtt_ms=RTT_MS, bandwidth=BANDWIDTH) as link:
                        took = driver_run(link.port, texts, work) if run == "driver" else smtplib_run(link.port, texts)
                    times[name].append(took)
                finally:
                    shutil.rmtree(work, ignore_errors=True)
    payload = sum(len(t) for t in texts) + count * 80   # the texts and their commands
    limit = payload / BANDWIDTH + (RTT_MS / 1000.0) * (2 + count + 1)
    print("%d items of %d bytes through a %d ms, %d B/s link to Postfix smtpd, %d rounds taking turns"
          % (count, len(texts[0]), RTT_MS, BANDWIDTH, rounds))
    for name, runs in times.items():
        median = statistics.median(runs)
        print("  %-18s median %6.2f s  (%.2f x the limit)   runs: %s"
              % (name, median, median / limit, " ".join("%.2f" % t for t in runs)))
    print("link limit without DATA's 354 round trips: %.2f s; BDAT goal: at most 1.15 x, and faster than the others"
          % limit)


if __name__ == "__main__":
    main()
