#!/usr/bin/python3
"""One cycle over a slow link: the send driver (send_queue) delivers ITEMS items of 10 KB to a
private aiosmtpd provider that offers PIPELINING, then the account check (check_once)
retrieves MESSAGES messages of 10 KB from a private Dovecot, both through the slow-link relay
(bench/slow_link.py: half the round trip each way, bandwidth each way). Beside them, through
the same relay in the same run: fetchmail (and mpop, where installed) retrieving the same
messages, and a Python smtplib loop (and msmtp, where installed) sending the same items.

Prints each client's time and the round trips it waited for, and the link's limit for the cycle:
its bytes over the bandwidth plus the round trips neither protocol can avoid (connect,
greeting, log-in, listing or EHLO, DATA's go-ahead for each item, the last replies).

    /usr/bin/python3 bench/slow_link_cycle.py [--rtt-ms 600] [--bandwidth 65536]
                                              [--items 20] [--messages 50]   (after a build)
"""

import argparse
import os
import shutil
import smtplib
import subprocess
import sys
import tempfile
import time
import types

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(TOP, "tests", "integration", "peers"))
sys.path.insert(0, os.path.join(TOP, "tests", "integration"))
sys.path.insert(0, os.path.join(TOP, "bench"))
os.environ.setdefault("TRAWLEX_BIN_DIR", os.path.join(TOP, "build", "bin"))

from check_world import CheckWorld  # noqa: E402
from peers.dovecot import PrivateDovecot  # noqa: E402
from slow_link import SlowLink  # noqa: E402
from pop3_retrieval import run_fetchmail, run_mpop  # noqa: E402
from smtp_delivery import RECIPIENT, SENDER, driver_run, message  # noqa: E402
from smtp_provider import SmtpProvider  # noqa: E402

# Round trips no client can avoid. POP3: greeting, two for the log-in (USER and PASS apart, or
# CAPA and then both in one write), the listing, the first RETR (the listing must be read before
# it), the last DELEs with QUIT. SMTP: greeting, EHLO, then one an
# item, since DATA's go-ahead must come before the text (RFC 2920 lets nothing else wait for
# it), and the last text's reply with QUIT's. Each connection also costs its TCP handshake,
# which the relay, accepting on loopback, does not count as waited for.
POP3_TURNS, HANDSHAKES = 6, 2


def smtp_turns(items):
    return 3 + items


def pop_message(n):
    line = b"%05d Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod.\n" % n
    return b"From: bench@example.net\nMessage-ID: <%d@slow>\nSubject: %d\n\n" % (n, n) + line * 128


def timed(link, run):
    link.reset()
    began = time.monotonic()
    run()
    took = time.monotonic() - began
    stats = link.stats()
    return took, sum(s["turns"] for s in stats), sum(s["up"] for s in stats), sum(s["down"] for s in stats)


def send_driver(port, texts):
    work = tempfile.mkdtemp(prefix="slow-send-")
    try:
        driver_run(port, texts, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)


def smtplib_loop(port, texts):
    with smtplib.SMTP("127.0.0.1", port, timeout=120) as client:
        client.ehlo("bench")
        for text in texts:
            client.sendmail(SENDER, [RECIPIENT], text)


def msmtp_loop(port, texts):
    for text in texts:   # msmtp sends one message a run
        subprocess.run(["msmtp", "--host=127.0.0.1", "--port=%d" % port, "--auth=off", "--tls=off",
                        "--from=" + SENDER[1:-1], RECIPIENT[1:-1]], input=text, check=True, timeout=300,
                       capture_output=True)


def msmtp_available():
    return shutil.which("msmtp") is not None


def check(dc_port, count):
    world = CheckWorld()
    try:
        world.add_account("bench", dc_port, "bench", "pw")
        p = world.start_check(timeout_ms=60000)
        out, err = p.communicate(timeout=900)
        if p.returncode != 0 or len(out.split()) != count:
            sys.exit("check_once stored %d of %d: %s" % (len(out.split()), count, err.decode()[-500:]))
    finally:
        world.close()


def fetchmail(port, count):
    run_fetchmail(types.SimpleNamespace(port=port), count)


def mpop(port, count):
    run_mpop(types.SimpleNamespace(port=port), count)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--rtt-ms", type=float, default=600)
    ap.add_argument("--bandwidth", type=float, default=65536)
    ap.add_argument("--items", type=int, default=20)
    ap.add_argument("--messages", type=int, default=50)
    args = ap.parse_args()
    texts = [message(i) for i in range(args.items)]
    rtt = args.rtt_ms / 1000.0
    rows = []

    def row(name, figures):
        rows.append((name,) + figures)
        print("%-34s %8.1f s %6d turns %9d up %9d down" % rows[-1], flush=True)

    with SmtpProvider(pipelining=True) as provider, SlowLink(provider.port, args.rtt_ms, args.bandwidth) as link:
        ours_send = timed(link, lambda: send_driver(link.port, texts))
        row("send driver (send_queue)", ours_send)
        row("smtplib loop", timed(link, lambda: smtplib_loop(link.port, texts)))
        if msmtp_available():
            row("msmtp, one run an item", timed(link, lambda: msmtp_loop(link.port, texts)))

    def seeded(run):
        with PrivateDovecot({"bench": "pw"}) as dc:
            for n in range(args.messages):
                dc.deliver("bench", pop_message(n))
            with SlowLink(dc.port, args.rtt_ms, args.bandwidth) as link:
                return timed(link, lambda: run(link.port))

    ours_check = seeded(lambda port: check(port, args.messages))
    row("account check (check_once)", ours_check)
    row("fetchmail", seeded(lambda port: fetchmail(port, args.messages)))
    if shutil.which("mpop"):
        row("mpop", seeded(lambda port: mpop(port, args.messages)))

    cycle = ours_send[0] + ours_check[0]
    turns = ours_send[1] + ours_check[1]
    limit = (max(ours_send[2], ours_send[3]) + max(ours_check[2], ours_check[3])) / args.bandwidth + \
        rtt * (POP3_TURNS + smtp_turns(args.items) + HANDSHAKES)
    print("link: %.0f ms round trip, %.0f bytes/s each way" % (args.rtt_ms, args.bandwidth))
    print("cycle (delivery + retrieval): %.1f s, %d round trips waited for (no client can wait for fewer than %d);"
          " the link's limit %.1f s; ratio %.2f (goal 1.3)"
          % (cycle, turns, POP3_TURNS + smtp_turns(args.items), limit, cycle / limit))


if __name__ == "__main__":
    main()
