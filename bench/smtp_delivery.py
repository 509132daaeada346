#!/usr/bin/python3
"""Delivery benchmark: N queued items of 10 KB delivered by the send driver (send_queue) over
one connection to a private aiosmtpd provider that stores them, beside the same N messages
sent to the same provider from a plain smtplib loop in one session, measured in the same run.

    /usr/bin/python3 bench/smtp_delivery.py [ITEMS [ROUNDS]]   (after scripts/build.sh; 1000, 5)
"""

import os
import shutil
import smtplib
import struct
import subprocess
import sys
import tempfile
import time

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(TOP, "tests", "integration", "peers"))
sys.path.insert(0, os.path.join(TOP, "tests", "integration"))
sys.path.insert(0, os.path.join(TOP, "bench"))
from harness import private_env  # noqa: E402
from interleaved import print_runs  # noqa: E402
from smtp_provider import SmtpProvider  # noqa: E402

SEND_QUEUE = os.path.join(TOP, "build", "bin", "send_queue")
SENDER, RECIPIENT = "<bench@example.org>", "<sink@example.net>"


def message(i, size=10 * 1024):
    text = b"Subject: delivery benchmark %d\r\n\r\n" % i
    line = b"b" * 76 + b"\r\n"
    while len(text) + len(line) <= size:
        text += line
    return text


def route(addresses):
    out = struct.pack("<i", len(addresses))
    for a in addresses:
        out += struct.pack("<i", len(a)) + a.encode()
    return out


def smtplib_run(port, texts):
    began = time.monotonic()
    with smtplib.SMTP("127.0.0.1", port) as client:
        client.helo("bench")
        for text in texts:
            client.sendmail(SENDER, [RECIPIENT], text)
    return time.monotonic() - began


def driver_run(port, texts, work):
    outgoing = os.path.join(work, "outgoing")
    os.makedirs(outgoing)
    for i, text in enumerate(texts):
        name = "%017d.rfc822" % (20260101000000000 + i)
        with open(os.path.join(outgoing, name), "wb") as f:
            f.write(text)
        with open(os.path.join(outgoing, name + ".route"), "wb") as f:
            f.write(route([SENDER, RECIPIENT]))
    env = private_env(work)
    began = time.monotonic()
    run = subprocess.run([SEND_QUEUE, "outgoing/", "127.0.0.1", str(port)], cwd=work, env=env,
                         capture_output=True, timeout=600)
    took = time.monotonic() - began
    sent = run.stdout.decode().split().count("itemSent")
    left = len(os.listdir(outgoing))
    if run.returncode != 0 or sent != len(texts) or left:
        sys.exit("send driver: %d of %d sent, %d files left, exit %d"
                 % (sent, len(texts), left, run.returncode))
    return took


PLAIN, OURS = "smtplib loop", "send driver (send_queue)"


def interleaved_times(texts, rounds, server, after_plain=None, after_ours=None):
    """The smtplib loop and the send driver take turns against a fresh server() in each round:
    other work on the machine then weighs on both alike. Returns each one's times, for
    print_runs. The after_ functions check what the server received, and may clear it."""
    times = {PLAIN: [], OURS: []}
    for _ in range(rounds):
        work = tempfile.mkdtemp(prefix="trawlex-delivery-")
        try:
            with server() as peer:
                times[PLAIN].append(smtplib_run(peer.port, texts))
                if after_plain:
                    after_plain(peer)
                times[OURS].append(driver_run(peer.port, texts, work))
                if after_ours:
                    after_ours(peer)
        finally:
            shutil.rmtree(work, ignore_errors=True)
    return times


def main():
    count = int(sys.argv[1]) if len(sys.argv) > 1 else 1000
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    texts = [message(i) for i in range(count)]

    def after_plain(provider):
        assert len(provider.messages()) == count
        provider.clear()

    def after_ours(provider):
        got = provider.messages()
        assert len(got) == count and all(m["data"] in texts for m in got[:20])

    times = interleaved_times(texts, rounds, SmtpProvider, after_plain, after_ours)
    print("%d messages of %d bytes to a local aiosmtpd that stores them, one session each,"
          " %d rounds taking turns" % (count, len(texts[0]), rounds))
    print_runs(times, count, "items", OURS, PLAIN, 1.2)

if __name__ == "__main__":
    main()
