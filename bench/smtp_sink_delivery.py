#!/usr/bin/python3
"""Delivery benchmark against a sink that takes everything and stores nothing: ITEMS queued
items of 10 KB delivered by the send driver (send_queue) over one connection to Postfix's
smtp-sink, which offers PIPELINING, beside the same items sent by a plain Python smtplib loop
in one session to the same sink, in the same run, taking turns for ROUNDS rounds. Prints every
run, the median of each and the ratio of the medians.

smtp-sink comes with the Debian package postfix; it is not among the project's dependencies,
and the bench says so and ends when it is missing.

    /usr/bin/python3 bench/smtp_sink_delivery.py [ITEMS [ROUNDS]]   (after a build; 1000, 5)
"""

import os
import shutil
import socket
import subprocess
import sys
import time

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(TOP, "bench"))
from slow_link import free_port  # noqa: E402
from interleaved import print_runs  # noqa: E402
from smtp_delivery import OURS, PLAIN, interleaved_times, message  # noqa: E402

SINK = shutil.which("smtp-sink") or ("/usr/sbin/smtp-sink" if os.path.exists("/usr/sbin/smtp-sink") else None)


class Sink:
    """smtp-sink on a free loopback port, for the length of a with block."""

    def __enter__(self):
        self.port = free_port()
        command = [SINK]
        if os.getuid() == 0:
            command += ["-u", "nobody"]   # it refuses to run as root otherwise
        self._proc = subprocess.Popen(command + ["127.0.0.1:%d" % self.port, "100"],
                                      stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline and self._proc.poll() is None:
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=1).close()
                return self
            except OSError:
                time.sleep(0.05)
        self.__exit__()
        sys.exit("smtp-sink did not start")

    def __exit__(self, *exc):
        if self._proc.poll() is None:
            self._proc.terminate()
            try:
                self._proc.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self._proc.kill()
                self._proc.wait()


def main():
    if not SINK:
        print("smtp-sink is not installed (Debian package postfix): nothing measured")
        return
    count = int(sys.argv[1]) if len(sys.argv) > 1 else 1000
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    texts = [message(i) for i in range(count)]
    times = interleaved_times(texts, rounds, Sink)
    print("%d messages of %d bytes to smtp-sink on loopback, one session each, %d rounds taking turns"
          % (count, len(texts[0]), rounds))
    print_runs(times, count, "items", OURS, PLAIN, 0.8)

if __name__ == "__main__":
    main()
