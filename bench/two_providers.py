#!/usr/bin/python3
"""Outgoing by sender, two providers: ITEMS queued items of 10 KB, half from the global
account's address and half from an address of an account with its own outgoing host, delivered
by the send driver choosing the host by envelope sender (send_queue --by-sender) to two private
aiosmtpd providers that store them. In the same run, taking turns for ROUNDS rounds:

  - the send driver with the whole queue (both hosts, side by side);
  - the send driver with each host's share alone (what the whole run is judged against: at
    most the slower share plus 10%);
  - msmtp sending the same items, one process a message, its account chosen by the envelope
    sender (as a queue-flushing script runs it), one item after the other;
  - msmtp the same, one lane a provider, the two lanes side by side.

Prints every run, the medians, the ratios and how many cores the send driver's runs kept busy;
asserts nothing about time.

On loopback the two Python providers each need a whole core to take mail at the driver's pace,
so on a two-core machine the side-by-side run is bounded by the processor, not by the
connections. With --link each provider sits behind a slow-link relay of its own (a home line:
the round trip in milliseconds and the bytes a second each way), as real providers do, and the
run shows whether the two connections' waits overlap.

    /usr/bin/python3 bench/two_providers.py [ITEMS [ROUNDS]] [--link RTT_MS:BYTES_PER_S]
    (after a build; 500, 3; for example --link 40:1000000)
"""

import os
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(TOP, "tests", "integration", "peers"))
sys.path.insert(0, os.path.join(TOP, "tests", "integration"))
sys.path.insert(0, os.path.join(TOP, "bench"))
from harness import SETTINGS_KEY, private_env  # noqa: E402
from smtp_delivery import message, route  # noqa: E402
from slow_link import SlowLink  # noqa: E402
from smtp_provider import SmtpProvider  # noqa: E402

SEND_QUEUE = os.path.join(TOP, "build", "bin", "send_queue")
MSMTP = "/usr/bin/msmtp"
ACCOUNTS_KEY = SETTINGS_KEY + r"\Accounts"
GLOBAL_SENDER, OWN_SENDER = "ann@a.example", "bob@b.example"
RECIPIENT = "sink@example.net"

BOTH, ONLY_GLOBAL, ONLY_OWN = "send driver, both hosts", "send driver, global host's share", \
    "send driver, own host's share"
MSMTP_SERIAL, MSMTP_LANES = "msmtp, one after the other", "msmtp, a lane a provider"


def write_hive(env, global_port, own_port):
    lines = ["REGEDIT4", "", "[" + SETTINGS_KEY + "]", '"outhostname"="127.0.0.1"',
             '"outhostport"=dword:%08x' % global_port, '"rasentry"=""',
             "", "[" + ACCOUNTS_KEY + r"\bee]", '"smtpserver"="127.0.0.1"', '"smtpport"=dword:%08x' % own_port,
             '"addresses"="%s"' % OWN_SENDER,
             "", "[" + ACCOUNTS_KEY + r"\home]", '"emailaddress"="%s"' % GLOBAL_SENDER]
    path = os.path.join(env["XDG_CONFIG_HOME"], "tarnwick")
    os.makedirs(path, exist_ok=True)
    with open(os.path.join(path, "user.reg"), "w") as f:
        f.write("\n".join(lines) + "\n")


def cpu_seconds(pids):
    """Processor seconds the processes pids and this one's reaped children have used so far."""
    tick = os.sysconf("SC_CLK_TCK")
    total = 0.0
    for pid in pids:
        with open("/proc/%d/stat" % pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
        total += (int(fields[11]) + int(fields[12])) / tick   # utime, stime
    children = resource.getrusage(resource.RUSAGE_CHILDREN)
    return total + children.ru_utime + children.ru_stime


def driver_run(items, global_port, own_port):
    """items: [(sender, text)]. Seconds the send driver took over the whole queue."""
    work = tempfile.mkdtemp(prefix="trawlex-two-providers-")
    try:
        outgoing = os.path.join(work, "outgoing")
        os.makedirs(outgoing)
        for i, (sender, text) in enumerate(items):
            name = "%017d.rfc822" % (20260101000000000 + i)
            with open(os.path.join(outgoing, name), "wb") as f:
                f.write(text)
            with open(os.path.join(outgoing, name + ".route"), "wb") as f:
                f.write(route(["<%s>" % sender, "<%s>" % RECIPIENT]))
        env = private_env(work)
        write_hive(env, global_port, own_port)
        began = time.monotonic()
        run = subprocess.run([SEND_QUEUE, "outgoing/", "127.0.0.1", str(global_port), "600", "--by-sender"],
                             cwd=work, env=env, capture_output=True, timeout=900)
        took = time.monotonic() - began
        sent = run.stdout.decode().split().count("itemSent")
        left = len(os.listdir(outgoing))
        if run.returncode != 0 or sent != len(items) or left:
            sys.exit("send driver: %d of %d sent, %d files left, exit %d\n%s"
                     % (sent, len(items), left, run.returncode, run.stdout.decode()[-2000:]))
        return took
    finally:
        shutil.rmtree(work, ignore_errors=True)


def msmtp_config(work, global_port, own_port):
    path = os.path.join(work, "msmtprc")
    with open(path, "w") as f:
        f.write("defaults\nauth off\ntls off\ndomain localhost\n\n"
                "account home\nhost 127.0.0.1\nport %d\nfrom %s\n\n"
                "account bee\nhost 127.0.0.1\nport %d\nfrom %s\n\n"
                "account default : home\n" % (global_port, GLOBAL_SENDER, own_port, OWN_SENDER))
    os.chmod(path, 0o600)
    return path


def msmtp_lane(config, env, items, failures):
    for sender, text in items:
        # The envelope sender chooses the account, as with a queue of mixed senders.
        run = subprocess.run([MSMTP, "-C", config, "-f", sender, RECIPIENT], input=text, env=env,
                             capture_output=True, timeout=60)
        if run.returncode != 0:
            failures.append(run.stderr.decode()[-500:])


def msmtp_run(items, global_port, own_port, lanes):
    work = tempfile.mkdtemp(prefix="msmtp-two-providers-")
    try:
        env = private_env(work)
        config = msmtp_config(work, global_port, own_port)
        failures = []
        if lanes:
            groups = [[i for i in items if i[0] == GLOBAL_SENDER], [i for i in items if i[0] == OWN_SENDER]]
        else:
            groups = [items]
        threads = [threading.Thread(target=msmtp_lane, args=(config, env, g, failures)) for g in groups]
        began = time.monotonic()
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        took = time.monotonic() - began
        if failures:
            sys.exit("msmtp: %d failed: %s" % (len(failures), failures[0]))
        return took
    finally:
        shutil.rmtree(work, ignore_errors=True)


def main():
    args = sys.argv[1:]
    link = None
    if "--link" in args:
        at = args.index("--link")
        rtt_ms, bandwidth = (int(n) for n in args[at + 1].split(":"))
        link = (rtt_ms, bandwidth)
        del args[at:at + 2]
    count = int(args[0]) if len(args) > 0 else 500
    rounds = int(args[1]) if len(args) > 1 else 3
    if not os.path.exists(SEND_QUEUE):
        sys.exit("build send_queue first (cmake --build build --target send_queue)")
    # The two senders alternate in the queue, as mail from two accounts does.
    items = [(GLOBAL_SENDER if i % 2 == 0 else OWN_SENDER, message(i)) for i in range(count)]
    only_global = [i for i in items if i[0] == GLOBAL_SENDER]
    only_own = [i for i in items if i[0] == OWN_SENDER]
    times = {BOTH: [], ONLY_GLOBAL: [], ONLY_OWN: [], MSMTP_SERIAL: [], MSMTP_LANES: []}
    cores = {BOTH: [], ONLY_GLOBAL: [], ONLY_OWN: []}
    with SmtpProvider(pipelining=True) as global_host, SmtpProvider(pipelining=True) as own_host:
        global_port, own_port = global_host.port, own_host.port
        links = []
        if link:
            links = [SlowLink(global_port, rtt_ms=link[0], bandwidth=link[1]),
                     SlowLink(own_port, rtt_ms=link[0], bandwidth=link[1])]
            global_port, own_port = links[0].port, links[1].port
        busy = [global_host.proc.pid, own_host.proc.pid] + [ln._proc.pid for ln in links]

        def check(want_global, want_own):
            got = (len(global_host.messages()), len(own_host.messages()))
            if got != (want_global, want_own):
                sys.exit("providers got %r, not %r" % (got, (want_global, want_own)))
            global_host.clear()
            own_host.clear()

        runs = [
            (BOTH, lambda: driver_run(items, global_port, own_port), len(only_global), len(only_own)),
            (ONLY_GLOBAL, lambda: driver_run(only_global, global_port, own_port), len(only_global), 0),
            (ONLY_OWN, lambda: driver_run(only_own, global_port, own_port), 0, len(only_own)),
            (MSMTP_SERIAL, lambda: msmtp_run(items, global_port, own_port, False), len(only_global), len(only_own)),
            (MSMTP_LANES, lambda: msmtp_run(items, global_port, own_port, True), len(only_global), len(only_own)),
        ]
        try:
            for _ in range(rounds):
                for name, run, want_global, want_own in runs:
                    before = cpu_seconds(busy)
                    took = run()
                    times[name].append(took)
                    if name in cores:
                        cores[name].append((cpu_seconds(busy) - before) / took)
                    check(want_global, want_own)
        finally:
            for ln in links:
                ln.close()

    print("%d items of %d bytes, %d from %s (global host), %d from %s (account bee's own host), to two"
          " local aiosmtpd providers that store them; %d rounds taking turns"
          % (count, len(items[0][1]), len(only_global), GLOBAL_SENDER, len(only_own), OWN_SENDER, rounds))
    print("each provider behind a link of %d ms round trip and %d bytes/s each way" % link if link
          else "providers on loopback; this machine has %d cores" % os.cpu_count())
    width = max(len(name) for name in times)
    medians = {}
    sizes = {BOTH: count, ONLY_GLOBAL: len(only_global), ONLY_OWN: len(only_own), MSMTP_SERIAL: count,
             MSMTP_LANES: count}
    for name, runs in times.items():
        medians[name] = statistics.median(runs)
        busy_cores = "   cores busy: %.2f" % statistics.median(cores[name]) if name in cores else ""
        print("  %-*s median %7.2f s %8.1f items/s   runs: %s%s"
              % (width, name, medians[name], sizes[name] / medians[name], " ".join("%.2f" % t for t in runs),
                 busy_cores))
    slower = max(medians[ONLY_GLOBAL], medians[ONLY_OWN])
    print("both hosts / slower host's share alone: %.2f (goal: at most 1.10)" % (medians[BOTH] / slower))
    print("both hosts / sum of the shares: %.2f (1.00: no overlap; 0.50: full overlap)"
          % (medians[BOTH] / (medians[ONLY_GLOBAL] + medians[ONLY_OWN])))
    print("send driver / msmtp one after the other: %.2f" % (medians[BOTH] / medians[MSMTP_SERIAL]))
    print("send driver / msmtp a lane a provider: %.2f" % (medians[BOTH] / medians[MSMTP_LANES]))


if __name__ == "__main__":
    main()
